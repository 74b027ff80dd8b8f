// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// Which decoded frames a run outputs. A frame's correction depends on the four frames
// before it (the five-frame history), so a run that starts at frame N first filters
// up to four earlier frames without output; its frames then equal a whole-file run's.
// With the cut detector on, a frame depends on more of the past (kSceneLookBack in
// engine/scene_cuts.h), and the pre-roll covers that.
#pragma once

#include <cstdint>

constexpr int64_t kPreRollFrames = 4;

enum class FrameRole {
    Skip,     // decoded only to count it
    PreRoll,  // filtered to fill the history, not written
    Output,   // filtered and written
    Past,     // after the range: the run can stop reading
};

struct FrameRange {
    int64_t start = 0;   // first output frame
    int64_t count = -1;  // -1: to the end
    int64_t preRoll = kPreRollFrames;

    FrameRole roleOf(int64_t index) const
    {
        if (count >= 0 && index >= start + count) return FrameRole::Past;
        if (index >= start) return FrameRole::Output;
        return index >= start - preRoll ? FrameRole::PreRoll : FrameRole::Skip;
    }
};
