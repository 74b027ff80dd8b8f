// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "frei0r/host_rows.h"

#include <dlfcn.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <cstdio>

namespace
{

std::string baseName(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string runningProgram()
{
    char path[PATH_MAX];
    const ssize_t size = readlink("/proc/self/exe", path, sizeof path - 1);
    return size > 0 ? std::string(path, static_cast<size_t>(size)) : std::string();
}

}  // namespace

bool rowsPaddedByHost(const std::string& callerObject, const std::string& program, int width)
{
    if (width % 16 == 0) return false;  // 64-byte rows: no padding
    if (baseName(callerObject).rfind("libavfilter", 0) == 0) return true;
    // A static build: the filter is part of the program, whose name then tells.
    const bool callerIsProgram = callerObject.empty() || callerObject == program ||
                                 baseName(callerObject) == baseName(program);
    return callerIsProgram && baseName(program).rfind("ffmpeg", 0) == 0;
}

void warnIfRowsPadded(const void* callerAddress, int width)
{
    static std::atomic<bool> warned{false};
    if (width % 16 == 0 || warned.load()) return;
    Dl_info info{};
    if (dladdr(callerAddress, &info) == 0) return;
    const std::string caller = info.dli_fname != nullptr ? info.dli_fname : "";
    if (!rowsPaddedByHost(caller, runningProgram(), width) || warned.exchange(true)) return;
    std::fprintf(stderr,
                 "telvo (frei0r): width %d is not a multiple of 16: FFmpeg pads each row to 64 "
                 "bytes, which frei0r modules cannot see, so the rows come out scrambled; pad "
                 "to a multiple of 16 and crop back, or use the telvo command-line tool\n",
                 width);
}
