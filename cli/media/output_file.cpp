#include "cli/media/output_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <vector>

namespace
{

// Temporary files the second signal removes; plain arrays so the handler only reads
// what was fully written before the slot's flag was set.
constexpr int kSlots = 8;
constexpr size_t kPathMax = 4096;
char g_slotPath[kSlots][kPathMax];
std::atomic<int> g_slotUsed[kSlots];
volatile std::sig_atomic_t g_signals = 0;

int registerPath(const std::string& path)
{
    if (path.size() >= kPathMax) return -1;
    for (int i = 0; i < kSlots; ++i) {
        if (g_slotUsed[i].load() == 0) {
            std::memcpy(g_slotPath[i], path.c_str(), path.size() + 1);
            g_slotUsed[i].store(1);
            return i;
        }
    }
    return -1;
}

void unregisterPath(int slot)
{
    if (slot >= 0) g_slotUsed[slot].store(0);
}

extern "C" void onSignal(int)
{
    const std::sig_atomic_t seen = g_signals;
    g_signals = seen + 1;
    if (seen == 0) return;
    for (int i = 0; i < kSlots; ++i)
        if (g_slotUsed[i].load() != 0) unlink(g_slotPath[i]);
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

}  // namespace

void installInterruptHandlers()
{
    struct sigaction action {
    };
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
}

bool interrupted()
{
    return g_signals != 0;
}

bool sameFile(const std::string& a, const std::string& b)
{
    struct stat sa {
    }, sb{};
    if (stat(a.c_str(), &sa) != 0 || stat(b.c_str(), &sb) != 0) return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

OutputFile::~OutputFile()
{
    discard();
}

bool OutputFile::create(const std::string& finalPath, bool sequence, std::string& error)
{
    std::string folder, name;
    splitPath(finalPath, folder, name);
    finalPath_ = finalPath;
    sequence_ = sequence;
    std::string templ = folder + "/." + (sequence ? std::string("telvo") : name) + ".part-XXXXXX";
    std::vector<char> buffer(templ.begin(), templ.end());
    buffer.push_back('\0');
    if (sequence) {
        if (mkdtemp(buffer.data()) == nullptr) {
            error = "cannot write to folder '" + folder + "': " + std::strerror(errno);
            return false;
        }
        tempPath_ = buffer.data();
        writePath_ = tempPath_ + "/" + name;
    } else {
        const int fd = mkstemp(buffer.data());
        if (fd < 0) {
            error = "cannot write '" + finalPath + "': " + std::strerror(errno);
            return false;
        }
        // mkstemp makes the file private; give it the mode a plain create would.
        const mode_t mask = umask(0);
        umask(mask);
        fchmod(fd, 0666 & ~mask);
        close(fd);
        tempPath_ = buffer.data();
        writePath_ = tempPath_;
        slot_ = registerPath(tempPath_);
    }
    return true;
}

bool OutputFile::commit(std::string& error)
{
    if (tempPath_.empty()) return true;
    if (!sequence_) {
        if (std::rename(tempPath_.c_str(), finalPath_.c_str()) != 0) {
            error = "cannot rename the finished output to '" + finalPath_ +
                    "': " + std::strerror(errno);
            discard();
            return false;
        }
    } else {
        std::string folder, name;
        splitPath(finalPath_, folder, name);
        for (const std::string& file : listFolder(tempPath_)) {
            const std::string to = folder + "/" + file;
            if (std::rename((tempPath_ + "/" + file).c_str(), to.c_str()) != 0) {
                error = "cannot move '" + file + "' into '" + folder + "': " + std::strerror(errno);
                discard();
                return false;
            }
        }
        rmdir(tempPath_.c_str());
    }
    unregisterPath(slot_);
    slot_ = -1;
    tempPath_.clear();
    return true;
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
    unregisterPath(slot_);
    slot_ = -1;
    tempPath_.clear();
}
