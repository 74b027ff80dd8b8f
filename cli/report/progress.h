// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The progress line on stderr: frames done of the total, speed and time left. Drawn only
// when stderr is a terminal, at most a few times a second.
#pragma once

#include <chrono>
#include <cstdint>

class Progress
{
public:
    // `total` 0 when unknown; `enabled` false for --quiet.
    Progress(int64_t total, bool enabled);
    void update(int64_t done);
    void finish(int64_t done);  // final line, then a newline

private:
    void draw(int64_t done);

    using Clock = std::chrono::steady_clock;
    int64_t total_;
    bool enabled_;
    bool drawn_ = false;
    Clock::time_point begin_;
    Clock::time_point lastDraw_;
};
