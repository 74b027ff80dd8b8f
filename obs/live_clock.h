// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// When the filter's history has to start afresh in a live source: its five-frame average
// and the cut detector only mean something while frames follow one another. OBS stamps
// every frame in nanoseconds; a media source that seeks or loops goes back in time, a
// webcam that reconnects or a source that was hidden jumps ahead. A frame counts as the
// next one when it is later than the last by at most kJumpSteps of the learnt frame
// step (the distance of the last advance); any other is a jump. While no step is known
// (the first frames, and after a jump) every later frame is the next.
#pragma once

#include <cstdint>

class LiveClock
{
public:
    static constexpr uint64_t kJumpSteps = 4;

    // True when the history must restart before the frame stamped `timestamp`.
    bool jumpsAt(uint64_t timestamp)
    {
        const bool known = started_;
        const uint64_t last = last_;
        started_ = true;
        last_ = timestamp;
        if (!known) return false;
        if (timestamp < last || (step_ != 0 && timestamp - last > kJumpSteps * step_)) {
            step_ = 0;
            return true;
        }
        if (timestamp > last) step_ = timestamp - last;
        return false;
    }

    void reset() { *this = LiveClock(); }

private:
    bool started_ = false;
    uint64_t last_ = 0;
    uint64_t step_ = 0;
};
