// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "cli/pipeline/transcode.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>

extern "C" {
#include <libavutil/pixdesc.h>
}

#include "cli/command/options.h"
#include "cli/media/media_input.h"
#include "cli/media/media_output.h"
#include "cli/media/output_clash.h"
#include "cli/media/output_file.h"
#include "cli/media/output_plan.h"
#include "cli/pipeline/filter_session.h"
#include "cli/pipeline/frame_pipeline.h"
#include "cli/pipeline/stage_clock.h"
#include "cli/pipeline/two_pass.h"
#include "cli/report/frame_stats.h"
#include "cli/report/progress.h"
#include "cli/report/side_outputs.h"
#include "engine/scene_cuts.h"

namespace
{

// A recording cut short still gives every frame it holds, so the run succeeds, and the
// warning says what is missing. Where the container states only a duration, the video
// must end over a second early to count: audio often runs a little longer than video.
void warnIfCutShort(const MediaInput& input, const PipelineCounts& counts)
{
    if (!counts.inputEnded) return;
    const long long decoded = counts.decoded, seen = decoded + input.skippedPackets();
    if (input.statedFrames() > 0) {
        if (seen < input.statedFrames())
            std::fprintf(stderr,
                         "telvo: warning: the input ends early: its container announces %lld "
                         "frames, %lld were decoded\n",
                         static_cast<long long>(input.statedFrames()), decoded);
        return;
    }
    const double rate = av_q2d(input.frameRate());
    const long long about = std::llround(input.statedSeconds() * rate);
    if (seen + rate < about)
        std::fprintf(stderr,
                     "telvo: warning: the input ends early: its container announces %.2f s, "
                     "about %lld frames; %lld were decoded\n",
                     input.statedSeconds(), about, decoded);
}

}  // namespace

RunResult runTranscode(const CliOptions& given)
{
    // Pass 1 discards the frames; its detector is on, at the default sensitivity unless
    // one is given.
    CliOptions o = given;
    const bool analysing = !o.analysePath.empty(), planned = !o.planPath.empty();
    if (analysing) {
        o.output.assign(1, '-');
        o.format = std::string_view("null");
        if (o.settings[kSceneCutsSetting] == 0) o.settings[kSceneCutsSetting] = kSceneCutsDefault;
    }
    OutputPlan plan;
    std::string error;
    if (!planOutput(o, plan, error)) return RunResult::usage(error);
    SideOutputs side(o);
    if (!side.check(error)) return RunResult::usage(error);
    std::vector<NamedOutput> outputs;
    if (!plan.discard) outputs.push_back({"OUTPUT", o.output, plan.imageSequence});
    side.name(outputs);
    if (analysing) outputs.push_back({"--analyse", o.analysePath});
    if (std::string clash = findOutputClash(o.input, outputs); !clash.empty())
        return RunResult::usage(clash);
    if (plan.singleImage && o.frames > 1)
        return RunResult::usage("'" + o.output +
                                "' is one image; for several frames use a "
                                "numbered name such as frame%04d.png");

    MediaInput input;
    if (!input.open(o.input, error)) return RunResult::failure(error);
    const int width = input.decoder()->width, height = input.decoder()->height;
    PassPlan passPlan;
    if (planned) {
        if (!loadPlanFor(o.planPath, input, passPlan, error)) return RunResult::failure(error);
        adoptPlanSettings(passPlan, o);
    }

    FrameRange range{o.start, plan.singleImage ? 1 : o.frames};
    if (o.settings[kSceneCutsSetting] > 0)
        range.preRoll = std::max<int64_t>(kPreRollFrames, kSceneLookBack);
    if (planned) range.preRoll = 0;  // no frame of pass 2 depends on another
    const bool copyStreams = !plan.discard && !plan.imageSequence && !plan.singleImage &&
                             range.start == 0 && range.count < 0;
    if (!copyStreams) input.discardOtherStreams();
    // A run that starts later begins decoding at the keyframe before its pre-roll.
    int64_t firstIndex = 0;
    if (range.start > range.preRoll) {
        std::string how;
        if (!input.seekToFrame(range.start - range.preRoll, firstIndex, how, error))
            return RunResult::failure(error);
        if (o.verbose) std::fprintf(stderr, "telvo: seek: %s\n", how.c_str());
    }

    // The first frame tells the real pixel format and colour tags before anything is
    // written, and an input without frames fails here.
    // Packets of copied streams read meanwhile are held back until the pipeline runs.
    FramePtr first(av_frame_alloc());
    std::vector<PacketPtr> early;
    auto holdBack = [&](AVPacket* packet) { early.emplace_back(av_packet_clone(packet)); };
    if (input.next(first.get(), copyStreams ? std::function<void(AVPacket*)>(holdBack) : nullptr,
                   error) != MediaInput::Status::Frame)
        return RunResult::failure(error.empty() ? "'" + o.input + "' has no video frames" : error);
    if (planned && !checkPlanFrame(passPlan, o, first.get(), firstIndex, error))
        return RunResult::failure("'" + o.planPath + "': " + error);

    FilterSession filter;
    if (!filter.open(o.settings, width, height, error)) return RunResult::failure(error);
    if (analysing) filter.measureOnly();
    if (planned) filter.usePlan(passPlan.applied);
    if (!o.quiet)
        std::fprintf(stderr, "telvo: %s\ntelvo: %s\n", filter.description().c_str(),
                     filter.scriptLine().c_str());

    OutputFile outputFile;
    MediaOutput output;
    if (!plan.discard) {
        if (!outputFile.create(o.output, plan.imageSequence, error))
            return RunResult::failure(error);
        OutputSettings settings{outputFile.writePath(), o.output, o.lossless, copyStreams};
        if (!output.open(plan, settings, input, *first, error)) return RunResult::failure(error);
        if (o.verbose)
            std::fprintf(stderr, "telvo: %s %s, %dx%d\n", output.encoderName(),
                         av_get_pix_fmt_name(output.pixelFormat()), width, height);
    }

    int64_t total = input.expectedFrames() > 0 ? input.expectedFrames() - range.start : 0;
    if (range.count > 0 && (total <= 0 || total > range.count)) total = range.count;
    Progress progress(total, !o.quiet);
    StatsRecorder stats;
    StageClock clock;
    const auto began = StageClock::Clock::now();
    PipelineJob job{input,
                    std::move(first),
                    std::move(early),
                    range,
                    copyStreams,
                    !plan.discard && output.keepsAlpha(),
                    filter,
                    plan.discard ? nullptr : &output,
                    stats,
                    progress,
                    clock,
                    firstIndex};
    PipelineCounts counts;
    if (!runFramePipeline(job, counts, error)) return RunResult::failure(error);
    const int64_t written = counts.written;
    if (planned && counts.inputEnded && counts.decoded != passPlan.frames)
        return RunResult::failure(
            "the input has " + std::to_string(counts.decoded) + " frames, the plan '" + o.planPath +
            "' " + std::to_string(passPlan.frames) + ": the plan is not this input's");

    if (written == 0)
        return RunResult::failure("--start " + std::to_string(range.start) +
                                  " is past the end: the input has " +
                                  std::to_string(counts.decoded) + " frames");
    if (!plan.discard) {
        StageClock::Scope timed(clock, kEncode);
        if (!output.finish(error)) return RunResult::failure(error);
    }
    if (!side.write(stats.frames(), error)) return RunResult::failure(error);
    OutputFile planFile;
    if (analysing) {
        const bool whole = range.start == 0 && range.count < 0;
        const PassPlan measured = planFromMeasures(o, width, height, stats.frames(), whole);
        if (!writeWholeFile(planFile, o.analysePath, formatPlan(measured), error) ||
            !planFile.commit(error))
            return RunResult::failure(error);
    }
    if (!plan.discard && !outputFile.commit(error)) return RunResult::failure(error);
    if (!side.commit(error)) return RunResult::failure(error);
    warnIfCutShort(input, counts);
    if (input.timelineJoins() > 0)
        std::fprintf(stderr,
                     "telvo: note: the input's timestamps jumped %lld time(s) (joined or "
                     "restarted recordings); the timeline was made continuous\n",
                     static_cast<long long>(input.timelineJoins()));
    if (output.droppedPackets() > 0)
        std::fprintf(stderr,
                     "telvo: warning: %lld packet(s) of copied streams went back in time and "
                     "were left out\n",
                     static_cast<long long>(output.droppedPackets()));
    if (input.skippedPackets() > 0)
        std::fprintf(stderr, "telvo: %lld corrupt packet(s) were skipped\n",
                     static_cast<long long>(input.skippedPackets()));
    if (o.timing) {
        const double wall = std::chrono::duration<double>(StageClock::Clock::now() - began).count();
        std::fprintf(stderr,
                     "telvo: timing: wall %.3f s; busy: decode %.3f s, to RGB %.3f s, "
                     "filter %.3f s, from RGB + encode + write %.3f s\n",
                     wall, clock.seconds(kDecode), clock.seconds(kToRgb), clock.seconds(kFilter),
                     clock.seconds(kEncode));
    }
    if (!o.quiet)
        std::fprintf(stderr, "telvo: %lld frames %s\n", static_cast<long long>(written),
                     analysing      ? ("measured, plan written to " + o.analysePath).c_str()
                     : plan.discard ? "filtered"
                                    : ("written to " + o.output).c_str());
    return RunResult::ok();
}
