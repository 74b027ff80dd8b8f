// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The steps every job that runs a video through the filter takes, in order: check the
// outputs, open the input, seek and read the first frame, choose the path the frames
// take (depth, turn, settings), open the filter, open the output, run the pipeline,
// commit, report. The transcode job takes them as they are; the two passes add their
// own between them (measuring, applying a plan) without branching inside them.
#pragma once

#include <string>
#include <vector>

#include "cli/command/options.h"
#include "cli/media/display_turn.h"
#include "cli/media/media_input.h"
#include "cli/media/media_output.h"
#include "cli/media/output_clash.h"
#include "cli/media/output_file.h"
#include "cli/media/output_plan.h"
#include "cli/pipeline/filter_session.h"
#include "cli/pipeline/frame_pipeline.h"
#include "cli/pipeline/stage_clock.h"
#include "cli/report/frame_stats.h"
#include "cli/report/side_outputs.h"

class VideoRun
{
public:
    explicit VideoRun(const CliOptions& options) : o_(options), side_(o_) {}

    CliOptions& options() { return o_; }
    MediaInput& input() { return input_; }
    FilterSession& filter() { return filter_; }
    const FrameRange& range() const { return range_; }
    const StatsRecorder& stats() const { return stats_; }
    const PipelineCounts& counts() const { return counts_; }

    // A usage message, or empty. `extra`: outputs besides OUTPUT and the side files;
    // `read`: files besides the input that the run reads, guarded as the input is.
    std::string checkOutputs(const std::vector<NamedOutput>& extra = {},
                             const std::vector<NamedOutput>& read = {});
    bool openInput(std::string& error) { return input_.open(o_.input, error); }
    // Seeks to the range, `preRoll` frames before it, and reads the first frame.
    bool start(int64_t preRoll, std::string& error);
    // Whether the first frame read is the range's first (no frame before it decoded).
    bool startsOnRange() const { return firstIndex_ == range_.start; }
    const AVFrame& firstFrame() const { return *first_; }
    int64_t firstIndex() const { return firstIndex_; }
    // Refuses HDR input, and chooses the depth, the turn and the filter's settings.
    bool choosePath(std::string& error);
    const SettingValues& filterSettings() const { return settings_; }
    bool deep() const { return deep_; }
    const DisplayTurn& turn() const { return turn_; }
    // Opens the filter on the chosen path and prints its start lines.
    bool openFilter(std::string& error);
    // Opens OUTPUT (nothing for a discarded one).
    bool openOutput(std::string& error);
    // Every frame through the pipeline; the output finished. Fails when no frame was
    // written.
    bool run(std::string& error);
    // Writes the side files and moves every output into place, `also` last.
    bool commit(std::string& error, OutputFile* also = nullptr);
    // The closing notes and "N frames <done>".
    void report(const std::string& done) const;
    // "written to OUTPUT" or "filtered".
    std::string doneText() const;

private:
    CliOptions o_;
    OutputPlan plan_;
    SideOutputs side_;
    MediaInput input_;
    FrameRange range_;
    bool copyStreams_ = false;
    int64_t firstIndex_ = 0;
    FramePtr first_;
    std::vector<PacketPtr> early_;
    DisplayTurn turn_;
    bool deep_ = false;
    SettingValues settings_{};
    FilterSession filter_;
    OutputFile outputFile_;
    MediaOutput output_;
    StatsRecorder stats_;
    StageClock clock_;
    StageClock::Clock::time_point began_{};
    PipelineCounts counts_;
};
