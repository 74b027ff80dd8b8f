// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// MPEG transport and program streams joined end to end (`cat a.ts b.ts`), or whose clock
// was reset mid-recording, jump back in time where the parts meet. Such formats say they
// may (AVFMT_TS_DISCONT); there a jump in an audio or video stream shifts the rest of
// the input so that its timeline goes on where that stream left off, as if the parts had
// been joined properly. Every stream moves by the same amount, so they stay in sync.
#pragma once

#include <cstdint>
#include <vector>

#include "cli/media/av_util.h"

class TimelineRepair
{
public:
    void start(const AVFormatContext* format);

    // Moves the packet onto the repaired timeline (its own stream's time base).
    void apply(const AVStream* stream, AVPacket* packet);

    // How often the timeline was joined up.
    int64_t joins() const { return joins_; }

private:
    bool enabled_ = false;
    int64_t offset_ = 0;  // added to every timestamp, in AV_TIME_BASE units
    int64_t joins_ = 0;
    // Per stream, in AV_TIME_BASE units: the last decoding time and where the next
    // packet is due; AV_NOPTS_VALUE before the first.
    std::vector<int64_t> lastDts_, nextDts_;
};
