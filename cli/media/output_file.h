// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// Output safety: everything is written under a hidden temporary name in the output's
// own folder (same file system, so the final rename is atomic) and only a finished run
// renames it onto the real name. A failed or interrupted run removes what it wrote, so
// no partial file ever sits under the output's name.
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
    bool create(const std::string& finalPath, bool sequence, std::string& error);

    // Where the writer should write: the temporary file, or the pattern inside the
    // temporary folder.
    const std::string& writePath() const { return writePath_; }

    bool commit(std::string& error);
    void discard();

private:
    std::string finalPath_;
    std::string tempPath_;  // file, or folder for a sequence
    std::string writePath_;
    bool sequence_ = false;
    int slot_ = -1;
};

// Ctrl-C and termination: the first signal asks the run to stop (it then removes its
// temporary files and exits 1); a second one removes the registered temporary files at
// once and exits.
void installInterruptHandlers();
bool interrupted();
