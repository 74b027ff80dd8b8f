// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// Busy time per pipeline stage, for --timing. Each stage adds to its own counter from
// its own thread; the stages overlap, so the sum may exceed the wall time.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

enum Stage { kDecode, kToRgb, kFilter, kEncode, kStageCount };

class StageClock
{
public:
    using Clock = std::chrono::steady_clock;

    class Scope
    {
    public:
        Scope(StageClock& clock, Stage stage) : clock_(clock), stage_(stage), begin_(Clock::now())
        {
        }
        ~Scope() { clock_.add(stage_, Clock::now() - begin_); }
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        StageClock& clock_;
        Stage stage_;
        Clock::time_point begin_;
    };

    void add(Stage stage, Clock::duration d)
    {
        nanos_[stage] += std::chrono::nanoseconds(d).count();
    }
    double seconds(Stage stage) const { return static_cast<double>(nanos_[stage].load()) * 1e-9; }

private:
    std::atomic<int64_t> nanos_[kStageCount]{};
};
