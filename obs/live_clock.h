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

#include <algorithm>
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

// OBS's media source keeps its frames' timestamps running on when it loops or seeks
// (each run's stamps go on from where the last one stopped); the jump shows only in its
// playback position, which runs ahead of the frame being filtered by the frames decoded
// and waiting, an uneven 40 to 120 ms, and read at random moments. So the position only
// says that a run ended: back, or on by half a second more than the frames' own advance.
// When the ending run was a whole loop seen from its start (its first position within
// half a second of zero), the new run's first frame is the one stamped the media's
// duration after the ending run's first: the history restarts exactly there. Otherwise
// (the filter came in mid-run, a seek, no duration) it restarts at once, a few frames
// early.
class MediaClock
{
public:
    // True when the history must restart before the frame stamped `timestamp` (ns),
    // with the source's position `position` and its duration `duration` (ms, 0 unknown)
    // read as it arrives.
    bool restartsAt(uint64_t timestamp, int64_t position, int64_t duration)
    {
        const int64_t t = static_cast<int64_t>(timestamp / 1000000);
        if (!started_) {
            started_ = true;
            startRun(t, position <= kSaneLead);
            last_ = {t, position};
            highest_ = position;
            return false;
        }
        bool restart = false;
        const int64_t halfFrame = std::max<int64_t>(2, (t - last_.time) / 2);
        if (due_ >= 0 && t + halfFrame >= due_) {
            restart = true;
            startRun(t, true);
        }
        const bool ended =
            position < last_.position || position - last_.position > t - last_.time + kSaneLead;
        if (ended) {
            const bool timed =
                fromZero_ && due_ < 0 && duration > 0 && highest_ - (t - runStart_) <= kSaneLead;
            if (timed && runStart_ + duration > t + halfFrame) {
                due_ = runStart_ + duration;
            } else if (!restart) {
                restart = true;
                startRun(t, timed);
            }
            highest_ = position;
        } else {
            highest_ = std::max(highest_, position);
        }
        last_ = {t, position};
        return restart;
    }

    void reset() { *this = MediaClock(); }

private:
    static constexpr int64_t kSaneLead = 500;  // ms
    struct Reading {
        int64_t time, position;  // ms
    };
    void startRun(int64_t t, bool fromZero)
    {
        runStart_ = t;
        fromZero_ = fromZero;
        due_ = -1;
    }
    bool started_ = false;
    int64_t runStart_ = 0;  // ms: the stamp of the current run's first frame
    bool fromZero_ = false;
    int64_t highest_ = 0;  // ms: the highest position of the current run
    Reading last_{};
    int64_t due_ = -1;  // ms: the stamp the pending restart is due at, -1 for none
};
