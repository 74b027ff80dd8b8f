// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The three stages of a run, each on its own thread and joined by short queues:
// demux, decode and convert to the filter's layout; the filter; convert back, encode
// and mux. Reading and writing thus overlap with the filter, which stays on the
// calling thread and sees the frames in order.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/media/av_util.h"
#include "cli/media/display_turn.h"
#include "cli/pipeline/frame_range.h"

class FilterSession;
class MediaInput;
class MediaOutput;
class Progress;
class StageClock;
class StatsRecorder;

struct PipelineJob {
    MediaInput& input;
    FramePtr first;                // the first frame, already decoded
    std::vector<PacketPtr> early;  // copied-stream packets read before it
    FrameRange range;
    bool copyStreams;
    bool keepAlpha;  // the input's alpha goes to the output
    bool deep;       // frames go through the filter at 16 bits per channel
    FilterSession& filter;
    MediaOutput* output;  // null: frames are filtered and dropped
    StatsRecorder& stats;
    Progress& progress;
    StageClock& clock;
    int64_t firstIndex = 0;  // the number of `first`: 0, or the frame a seek went to
    DisplayTurn turn;        // applied to each picture before the filter
};

struct PipelineCounts {
    int64_t written = 0;      // frames output
    int64_t decoded = 0;      // frames the input delivered before the run stopped reading
    bool inputEnded = false;  // the run read the input to its end
};

// False with the first failure of any stage (or "interrupted").
bool runFramePipeline(PipelineJob& job, PipelineCounts& counts, std::string& error);
