// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// Reads the order of frames from the times a frei0r host passes (FFmpeg in milliseconds,
// GStreamer and MLT in seconds; the unit does not matter here) and from the pictures
// themselves. The filter's five-frame history is only right while frames come one after
// another, so each frame is one of:
//   Advance  the next frame: the history moves on by one;
//   Repeat   the same time and the same picture again (MLT repeats the last frame, an
//            editor renders a paused frame again): the frame is made again from the
//            history as it stood before it, so it comes out as the first time did;
//   Restart  a jump (back in time, or forward by more than two frame steps): the
//            history starts afresh, as in an instance created at this frame.
// The frame step is learnt from the times: the distance of the last advance. While no
// step is known (after the first frame of an instance, and after a restart) any later
// time counts as the next frame.
// Hosts without a time for a frame pass a "no time" value (FFmpeg's AV_NOPTS_VALUE or
// GStreamer's GST_CLOCK_TIME_NONE, scaled to their unit) or one time for every frame;
// frames then come in order, and each counts as the next frame.
#pragma once

#include <cstddef>
#include <cstdint>

enum class FrameStep { Advance, Repeat, Restart };

class FrameClock
{
public:
    // `picture` is a fingerprint of the frame's pixels.
    FrameStep next(double time, uint64_t picture);

private:
    bool started_ = false;
    double last_ = 0.0;
    uint64_t lastPicture_ = 0;
    double step_ = 0.0;  // 0 while unknown
};

// A 64-bit fingerprint of a frame's pixels, to tell a frame shown again from a new one.
uint64_t pictureFingerprint(const uint32_t* pixels, size_t count);
