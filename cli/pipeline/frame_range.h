// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// Which decoded frames a run outputs. A frame's correction depends on frames before it,
// so a run that starts at frame N first filters `preRoll` earlier frames without output
// (linked/pre_roll.h says how many); its frames then equal a whole-file run's.
#pragma once

#include <cstdint>

enum class FrameRole {
    Skip,     // decoded only to count it
    PreRoll,  // filtered to fill the history, not written
    Output,   // filtered and written
    Past,     // after the range: the run can stop reading
};

struct FrameRange {
    int64_t start = 0;   // first output frame
    int64_t count = -1;  // -1: to the end
    int64_t preRoll = 0;

    FrameRole roleOf(int64_t index) const
    {
        if (count >= 0 && index >= start + count) return FrameRole::Past;
        if (index >= start) return FrameRole::Output;
        return index >= start - preRoll ? FrameRole::PreRoll : FrameRole::Skip;
    }
};
