// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "cli/media/output_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
}

#include "cli/media/output_clash.h"

namespace
{

// Temporary files and folders the second signal removes; plain arrays so the handler
// only reads what was fully written before the slot's flag was set.
constexpr int kSlots = 8;
constexpr size_t kPathMax = 4096;
enum SlotKind { kFree = 0, kFile = 1, kFolder = 2 };
char g_slotPath[kSlots][kPathMax];
std::atomic<int> g_slotKind[kSlots];
// Signals may arrive on any thread, so counting them must be atomic.
std::atomic<int> g_signals{0};

int registerPath(const std::string& path, SlotKind kind)
{
    if (path.size() >= kPathMax) return -1;
    for (int i = 0; i < kSlots; ++i) {
        if (g_slotKind[i].load() == kFree) {
            std::memcpy(g_slotPath[i], path.c_str(), path.size() + 1);
            g_slotKind[i].store(kind);
            return i;
        }
    }
    return -1;
}

void unregisterPath(int slot)
{
    if (slot >= 0) g_slotKind[slot].store(kFree);
}

// Empties and removes a folder with async-signal-safe calls only (no opendir, which
// allocates). The writer may add a file meanwhile, so a folder that is not empty yet is
// tried again.
void removeFolderNow(const char* path)
{
    for (int attempt = 0; attempt < 4; ++attempt) {
        const int folder = open(path, O_RDONLY | O_DIRECTORY);
        if (folder < 0) return;
        alignas(dirent64) char entries[4096];
        ssize_t size;
        while ((size = getdents64(folder, entries, sizeof entries)) > 0) {
            for (ssize_t at = 0; at < size;) {
                const auto* entry = reinterpret_cast<const dirent64*>(entries + at);
                const char* name = entry->d_name;
                if (std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0)
                    unlinkat(folder, name, 0);
                at += entry->d_reclen;
            }
        }
        close(folder);
        if (rmdir(path) == 0 || errno != ENOTEMPTY) return;
    }
}

extern "C" void onSignal(int)
{
    if (g_signals.fetch_add(1) == 0) return;
    for (int i = 0; i < kSlots; ++i) {
        const int kind = g_slotKind[i].load();
        if (kind == kFile) unlink(g_slotPath[i]);
        if (kind == kFolder) removeFolderNow(g_slotPath[i]);
    }
    static const char message[] = "telvo: interrupted\n";
    ssize_t ignored = write(STDERR_FILENO, message, sizeof message - 1);
    (void)ignored;
    _exit(1);
}

void splitPath(const std::string& path, std::string& folder, std::string& name)
{
    const size_t slash = path.rfind('/');
    folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    name = slash == std::string::npos ? path : path.substr(slash + 1);
}

std::vector<std::string> listFolder(const std::string& folder)
{
    std::vector<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
        while (const dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        closedir(dir);
    }
    return names;
}

// ".NAME.part-XXXXXX" cut to the folder's longest name, so that any name that may exist
// has a temporary twin; a cut stops before a UTF-8 sequence rather than inside it.
std::string temporaryTemplate(const std::string& folder, const std::string& name)
{
    static const std::string kSuffix = ".part-XXXXXX";
    const long limit = pathconf(folder.c_str(), _PC_NAME_MAX);
    const size_t room = (limit > 0 ? static_cast<size_t>(limit) : 255) - 1 - kSuffix.size();
    size_t keep = std::min(name.size(), room);
    while (keep > 0 && keep < name.size() &&
           (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80)
        --keep;
    return folder + "/." + name.substr(0, keep) + kSuffix;
}

// Each entry of `folder` named `prefix` and six characters that we own and no running
// telvo holds locked (a run locks its temporary until it is renamed or removed), opened
// with `openFlags` and handed to `remove` while this call holds the lock.
template <typename Remove>
void forEachStaleTemporary(const std::string& folder, const std::string& prefix, int openFlags,
                           Remove remove)
{
    for (const std::string& entry : listFolder(folder)) {
        if (entry.size() != prefix.size() + 6 || entry.compare(0, prefix.size(), prefix) != 0)
            continue;
        const std::string path = folder + "/" + entry;
        const int fd = open(path.c_str(), openFlags | O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat info {
        };
        if (fstat(fd, &info) == 0 && info.st_uid == geteuid() && flock(fd, LOCK_EX | LOCK_NB) == 0)
            remove(path, info);
        close(fd);
    }
}

// Removes what a killed run to the same name left: files of exactly our temporary name
// for `name` (".NAME.part-" and six characters).
void removeStaleTemporaries(const std::string& folder, const std::string& templ)
{
    const std::string prefix = templ.substr(folder.size() + 1, templ.size() - folder.size() - 7);
    forEachStaleTemporary(folder, prefix, O_NONBLOCK,
                          [](const std::string& path, const struct stat& info) {
                              if (S_ISREG(info.st_mode)) unlink(path.c_str());
                          });
}

// The same for a numbered image sequence's temporary folder, which does not carry the
// pattern's name: removed only when every file in it is a frame `pattern` names, so a
// killed run's frames of another sequence stay.
void removeStaleSequenceFolders(const std::string& folder, const std::string& pattern)
{
    forEachStaleTemporary(
        folder, ".telvo.part-", O_DIRECTORY, [&](const std::string& path, const struct stat&) {
            const std::vector<std::string> frames = listFolder(path);
            if (!std::all_of(frames.begin(), frames.end(),
                             [&](const std::string& f) { return patternNames(pattern, f); }))
                return;
            for (const std::string& f : frames) unlink((path + "/" + f).c_str());
            rmdir(path.c_str());
        });
}

// A file that replaces another keeps the old one's owner (where allowed) and permissions,
// so a private output stays private; never its set-user-ID, set-group-ID or sticky bits,
// which would make a file telvo wrote run as another user.
void keepOwnerAndMode(const std::string& replaced, const std::string& replacement)
{
    struct stat old {
    };
    if (stat(replaced.c_str(), &old) != 0 || !S_ISREG(old.st_mode)) return;
    if (chown(replacement.c_str(), old.st_uid, old.st_gid) != 0) {
        const int ignored = chown(replacement.c_str(), static_cast<uid_t>(-1), old.st_gid);
        (void)ignored;  // not a member of that group: the new file keeps the user's
    }
    chmod(replacement.c_str(), old.st_mode & 0777);
}

// Moves a finished file onto its final name.
bool moveIntoPlace(const std::string& from, const std::string& to, std::string& error)
{
    keepOwnerAndMode(to, from);
    if (std::rename(from.c_str(), to.c_str()) == 0) return true;
    error = "cannot move the finished output onto '" + to + "': " + std::strerror(errno);
    return false;
}

// Names of open descriptors: opening one reaches whatever the descriptor holds (a pipe,
// a terminal, a file the shell opened), which a rename would cut off.
bool namesDescriptor(const std::string& path)
{
    return path.rfind("/dev/fd/", 0) == 0 || path.rfind("/proc/", 0) == 0 ||
           path == "/dev/stdout" || path == "/dev/stderr";
}

// What a name holds that must be written in place, or null for a file that may be
// replaced (or does not exist yet).
const char* specialKind(const std::string& path)
{
    if (namesDescriptor(path)) return "an open descriptor";
    struct stat info {
    };
    if (stat(path.c_str(), &info) != 0) return nullptr;
    if (S_ISCHR(info.st_mode)) return "a character device";
    if (S_ISBLK(info.st_mode)) return "a block device";
    if (S_ISFIFO(info.st_mode)) return "a FIFO";
    if (S_ISSOCK(info.st_mode)) return "a socket";
    return nullptr;
}

// The name a write through `path` finally lands on, following symbolic links one by one
// (a link whose target does not exist yet leads to that target, which is then created).
// Stops at a descriptor's name: its link text ("pipe:[1234]") names no file.
std::string followLinks(std::string path)
{
    for (int hop = 0; hop < 40 && !namesDescriptor(path); ++hop) {
        struct stat info {
        };
        if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) break;
        char target[PATH_MAX];
        const ssize_t size = readlink(path.c_str(), target, sizeof target);
        if (size <= 0 || static_cast<size_t>(size) >= sizeof target) break;
        std::string next(target, static_cast<size_t>(size));
        if (next[0] != '/') {
            std::string folder, name;
            splitPath(path, folder, name);
            next = folder + "/" + next;
        }
        path = next;
    }
    return path;
}

std::string frameName(const std::string& pattern, int number)
{
    char name[PATH_MAX];
    return av_get_frame_filename(name, sizeof name, pattern.c_str(), number) == 0 ? name : "";
}

// A sequence written over a longer one of the same pattern would leave the old run's
// frames after the new end, and whatever reads the pattern next would get a mix. Once
// the new frames are all in place, the old ones that follow them without a gap are
// removed (regular files only; a gap or anything else ends the run), and a note says so.
void removeStaleFrames(const std::string& folder, const std::string& pattern,
                       const std::vector<std::string>& written)
{
    int next = 1;  // the image muxer numbers from 1
    while (std::find(written.begin(), written.end(), frameName(pattern, next)) != written.end())
        ++next;
    std::string first, last;
    int removed = 0;
    for (std::string name = frameName(pattern, next); !name.empty();
         name = frameName(pattern, ++next)) {
        struct stat info {
        };
        const std::string path = folder + "/" + name;
        if (lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode) || unlink(path.c_str()) != 0)
            break;
        (removed == 0 ? first : last) = name;
        ++removed;
    }
    if (removed > 0)
        std::fprintf(stderr,
                     "telvo: note: removed %d frame%s of an earlier sequence after the new end "
                     "('%s'%s%s%s), so '%s' holds this run's frames only\n",
                     removed, removed == 1 ? "" : "s", first.c_str(), last.empty() ? "" : " to '",
                     last.c_str(), last.empty() ? "" : "'", pattern.c_str());
}

}  // namespace

std::string followOutputLinks(const std::string& path)
{
    return followLinks(path);
}

std::string outputLinkLoop(const std::string& option, const std::string& path)
{
    const std::string end = followLinks(path);
    struct stat info {
    };
    if (namesDescriptor(end) || lstat(end.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return {};
    return option + " '" + path +
           "' is a symbolic link that leads to itself (a loop of links); choose another name";
}

std::string overlongOutputName(const std::string& option, const std::string& path)
{
    std::string folder = path.rfind('/', 0) == 0 ? "/" : ".";
    for (size_t at = 0; at <= path.size();) {
        size_t end = path.find('/', at);
        if (end == std::string::npos) end = path.size();
        const size_t length = end - at;
        // Ask the folder the name would be made in; one that does not exist yet (a
        // missing folder fails later with its own message) is measured by the usual limit.
        const long limit = pathconf(folder.c_str(), _PC_NAME_MAX);
        const size_t most = limit > 0 ? static_cast<size_t>(limit) : NAME_MAX;
        if (length > most)
            return option + " '" + path + "': a name in it has " + std::to_string(length) +
                   " bytes, more than the " + std::to_string(most) +
                   " its file system allows; choose a shorter name";
        if (length > 0) {
            if (folder.back() != '/') folder.push_back('/');
            folder.append(path, at, length);
        }
        at = end + 1;
    }
    return {};
}

void installInterruptHandlers()
{
    constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
    struct sigaction action {
    };
    action.sa_handler = onSignal;
    // One handler at a time per thread: a second signal waits for the first to return.
    sigemptyset(&action.sa_mask);
    for (int signal : kSignals) sigaddset(&action.sa_mask, signal);
    for (int signal : kSignals) sigaction(signal, &action, nullptr);
    // A reader that goes away (a FIFO, `| head`) would otherwise end the run at once and
    // leave its temporary files; ignored, the write fails and the run cleans up.
    std::signal(SIGPIPE, SIG_IGN);
}

bool interrupted()
{
    return g_signals.load() != 0;
}

OutputFile::~OutputFile()
{
    discard();
}

bool OutputFile::create(const std::string& path, bool sequence, std::string& error)
{
    const std::string finalPath = sequence ? path : followLinks(path);
    const char* special = sequence ? nullptr : specialKind(finalPath);
    if (special != nullptr) {
        std::fprintf(stderr,
                     "telvo: note: '%s' is %s: it is written in place and cannot be made "
                     "atomic (a failed run leaves what was written)\n",
                     path.c_str(), special);
        writePath_ = path;
        return true;
    }
    std::string folder, name;
    splitPath(finalPath, folder, name);
    finalPath_ = finalPath;
    sequence_ = sequence;
    std::string templ = temporaryTemplate(folder, sequence ? std::string("telvo") : name);
    std::vector<char> buffer(templ.begin(), templ.end());
    buffer.push_back('\0');
    if (sequence) {
        removeStaleSequenceFolders(folder, name);
        if (mkdtemp(buffer.data()) == nullptr) {
            error = "cannot write to folder '" + folder + "': " + std::strerror(errno);
            return false;
        }
        tempPath_ = buffer.data();
        lockFd_ = open(tempPath_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (lockFd_ >= 0) flock(lockFd_, LOCK_EX);  // in use, as a temporary file is
        writePath_ = tempPath_ + "/" + name;
        slot_ = registerPath(tempPath_, kFolder);
    } else {
        removeStaleTemporaries(folder, templ);
        const int fd = mkostemp(buffer.data(), O_CLOEXEC);
        if (fd < 0) {
            error = "cannot write '" + finalPath + "': " + std::strerror(errno);
            return false;
        }
        // mkstemp makes the file private; give it the mode a plain create would.
        const mode_t mask = umask(0);
        umask(mask);
        fchmod(fd, 0666 & ~mask);
        flock(fd, LOCK_EX);  // in use: a later run to this name leaves it alone
        lockFd_ = fd;
        tempPath_ = buffer.data();
        writePath_ = tempPath_;
        slot_ = registerPath(tempPath_, kFile);
    }
    return true;
}

bool OutputFile::commit(std::string& error)
{
    if (tempPath_.empty()) return true;
    if (!sequence_) {
        if (!moveIntoPlace(tempPath_, finalPath_, error)) {
            discard();
            return false;
        }
    } else {
        std::string folder, name;
        splitPath(finalPath_, folder, name);
        const std::vector<std::string> written = listFolder(tempPath_);
        for (const std::string& file : written) {
            if (!moveIntoPlace(tempPath_ + "/" + file, folder + "/" + file, error)) {
                discard();
                return false;
            }
        }
        rmdir(tempPath_.c_str());
        removeStaleFrames(folder, name, written);
    }
    releaseLock();
    unregisterPath(slot_);
    slot_ = -1;
    tempPath_.clear();
    return true;
}

void OutputFile::releaseLock()
{
    if (lockFd_ >= 0) close(lockFd_);
    lockFd_ = -1;
}

void OutputFile::discard()
{
    if (tempPath_.empty()) return;
    if (sequence_) {
        for (const std::string& file : listFolder(tempPath_))
            unlink((tempPath_ + "/" + file).c_str());
        rmdir(tempPath_.c_str());
    } else {
        unlink(tempPath_.c_str());
    }
    releaseLock();
    unregisterPath(slot_);
    slot_ = -1;
    tempPath_.clear();
}
