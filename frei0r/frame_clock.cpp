// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "frei0r/frame_clock.h"

#include <algorithm>
#include <cmath>

namespace
{

// Times of one frame computed twice by a host agree to the last bits, not beyond: an
// MLT position over the frame rate, an FFmpeg timestamp times its time base.
bool sameTime(double a, double b)
{
    return std::fabs(a - b) <= 1e-9 * std::max(1.0, std::fabs(a));
}

// FFmpeg's "no time" comes out near -9.2e18 ms (-1e17 and beyond for other time bases),
// GStreamer's as 1.8e10 s; no clip is 300 years (seconds) or 100 days (milliseconds) long.
bool isTime(double time)
{
    return std::isfinite(time) && std::fabs(time) < 1e10;
}

// Up to two frame steps still counts as the next frame: a player that drops a frame, or
// a variable frame rate, should not throw the history away.
constexpr double kLongestStep = 2.0;

}  // namespace

FrameStep FrameClock::next(double time, uint64_t picture)
{
    if (!isTime(time)) return FrameStep::Advance;
    const bool first = !started_;
    const bool samePicture = picture == lastPicture_;
    started_ = true;
    lastPicture_ = picture;
    if (first) {
        last_ = time;
        return FrameStep::Advance;
    }
    if (sameTime(time, last_)) return samePicture ? FrameStep::Repeat : FrameStep::Advance;
    const double distance = time - last_;
    last_ = time;
    if (distance < 0.0 || (step_ > 0.0 && distance > kLongestStep * step_)) {
        step_ = 0.0;
        return FrameStep::Restart;
    }
    step_ = distance;
    return FrameStep::Advance;
}

uint64_t pictureFingerprint(const uint32_t* pixels, size_t count)
{
    // FNV-1a on 32-bit words in four independent lanes, so the multiplications overlap.
    constexpr uint64_t kPrime = 1099511628211ull;
    uint64_t lane[4] = {14695981039346656037ull, 1, 2, 3};
    size_t i = 0;
    for (; i + 4 <= count; i += 4)
        for (int k = 0; k < 4; ++k) lane[k] = (lane[k] ^ pixels[i + k]) * kPrime;
    for (; i < count; ++i) lane[0] = (lane[0] ^ pixels[i]) * kPrime;
    uint64_t h = count;
    for (uint64_t l : lane) h = (h ^ l) * kPrime;
    return h;
}
