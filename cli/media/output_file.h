// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// Output safety: everything is written under a hidden temporary name in the output's
// own folder (same file system, so the final rename is atomic) and only a finished run
// renames it onto the real name. A failed or interrupted run removes what it wrote, so
// no partial file ever sits under the output's name.
//
// Two kinds of name are not replaced: a symbolic link leads to the file it points to,
// which is replaced in its own folder, so the link stays; a device, a FIFO, a socket or
// an open descriptor (/dev/stdout, /dev/fd/N) is written in place, as FFmpeg does, since
// renaming onto it would replace the special file itself and its reader would get
// nothing. Such an output cannot be made atomic, which create() says on stderr.
#pragma once

#include <string>

class OutputFile
{
public:
    OutputFile() = default;
    ~OutputFile();  // discards whatever was not committed
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Creates the temporary file (or, for a numbered image sequence whose name holds a
    // %d pattern, a temporary folder). False with a reason when the folder is not
    // writable.
    bool create(const std::string& path, bool sequence, std::string& error);

    // Where the writer should write: the temporary file, or the pattern inside the
    // temporary folder.
    const std::string& writePath() const { return writePath_; }

    bool commit(std::string& error);
    void discard();

private:
    void releaseLock();

    std::string finalPath_;  // the file replaced at the end: a link's target
    std::string tempPath_;   // file, or folder for a sequence
    std::string writePath_;
    bool sequence_ = false;
    int slot_ = -1;
    int lockFd_ = -1;  // the temporary file, locked while this run may still write it
};

// Ctrl-C and termination: the first signal asks the run to stop (it then removes its
// temporary files and exits 1); a second one removes the registered temporary files at
// once and exits. A closed pipe or FIFO fails the write instead of ending the process.
void installInterruptHandlers();

// The name a write through `path` lands on: symbolic links followed one by one, also to
// a target that does not exist yet; a descriptor's name (/dev/stdout) as it is.
std::string followOutputLinks(const std::string& path);

// A usage message when `path` is a symbolic link whose links never end (a loop): a rename
// onto it would replace the link with a plain file. Empty otherwise.
std::string outputLinkLoop(const std::string& option, const std::string& path);

// A usage message when a component of `path` is longer than its file system allows
// (NAME_MAX, 255 bytes on most), so such a run fails before anything is rendered; empty
// when every component fits. `option` names the output in the message.
std::string overlongOutputName(const std::string& option, const std::string& path);
bool interrupted();
