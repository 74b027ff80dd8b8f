// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "cli/report/progress.h"

#include <unistd.h>

#include <cstdio>

Progress::Progress(int64_t total, bool enabled)
    : total_(total),
      enabled_(enabled && isatty(STDERR_FILENO)),
      begin_(Clock::now()),
      lastDraw_(begin_)
{
}

void Progress::update(int64_t done)
{
    if (!enabled_) return;
    const auto now = Clock::now();
    if (now - lastDraw_ < std::chrono::milliseconds(200)) return;
    lastDraw_ = now;
    draw(done);
}

void Progress::finish(int64_t done)
{
    if (!enabled_) return;
    draw(done);
    std::fputc('\n', stderr);
}

void Progress::draw(int64_t done)
{
    const double seconds = std::chrono::duration<double>(Clock::now() - begin_).count();
    const double fps = seconds > 0 ? static_cast<double>(done) / seconds : 0.0;
    // The announced total is an estimate for some containers; never show more than 100%.
    const int64_t total = total_ > 0 && done > total_ ? done : total_;
    char line[160];
    if (total > 0) {
        constexpr int kWidth = 24;
        const int filled = static_cast<int>(kWidth * done / total);
        char bar[kWidth + 1];
        for (int i = 0; i < kWidth; ++i) bar[i] = i < filled ? '#' : '.';
        bar[kWidth] = '\0';
        const long eta = fps > 0 ? static_cast<long>(static_cast<double>(total - done) / fps) : 0;
        std::snprintf(line, sizeof line, "\r[%s] %lld/%lld frames  %.1f fps  ETA %ld:%02ld ", bar,
                      static_cast<long long>(done), static_cast<long long>(total), fps, eta / 60,
                      eta % 60);
    } else {
        std::snprintf(line, sizeof line, "\r%lld frames  %.1f fps ", static_cast<long long>(done),
                      fps);
    }
    std::fputs(line, stderr);
    std::fflush(stderr);
    drawn_ = true;
}
