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
#include "cli/media/colour.h"
#include "cli/media/filter_frames.h"
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
#include "linked/pre_roll.h"

namespace
{

void warnIfCutShort(const MediaInput& input, const PipelineCounts& counts)
{
    if (!counts.inputEnded) return;
    if (const std::string warning = input.cutShortWarning(counts.decoded); !warning.empty())
        std::fprintf(stderr, "telvo: warning: %s\n", warning.c_str());
}

// Usage errors the command line shows before anything is opened: the output's format,
// the side files, and no two outputs on the same file. Empty when all is well.
std::string checkOutputs(const CliOptions& o, OutputPlan& plan, const SideOutputs& side)
{
    std::string error;
    if (!planOutput(o, plan, error)) return error;
    if (!side.check(error)) return error;
    std::vector<NamedOutput> outputs;
    if (!plan.discard) outputs.push_back({"OUTPUT", o.output, plan.imageSequence});
    side.name(outputs);
    if (!o.analysePath.empty()) outputs.push_back({"--analyse", o.analysePath});
    if (std::string clash = findOutputClash(o.input, outputs); !clash.empty()) return clash;
    if (plan.singleImage && o.frames > 1)
        return "'" + o.output +
               "' is one image; for several frames use a numbered name such as frame%04d.png";
    return {};
}

// A run that starts later begins decoding at the keyframe before its pre-roll;
// `firstIndex` is the number of the frame it lands on.
bool seekToStart(const CliOptions& o, const FrameRange& range, MediaInput& input,
                 int64_t& firstIndex, std::string& error)
{
    firstIndex = 0;
    if (range.start <= range.preRoll) return true;
    std::string how;
    if (!input.seekToFrame(range.start - range.preRoll, firstIndex, how, error)) return false;
    if (o.verbose) std::fprintf(stderr, "telvo: seek: %s\n", how.c_str());
    return true;
}

// The first frame tells the real pixel format and colour tags before anything is
// written, and an input without frames fails here. Packets of copied streams read
// meanwhile are held back in `early` until the pipeline runs.
bool readFirstFrame(const CliOptions& o, MediaInput& input, bool copyStreams, FramePtr& first,
                    std::vector<PacketPtr>& early, std::string& error)
{
    first.reset(av_frame_alloc());
    if (!first) {
        error = "out of memory";
        return false;
    }
    auto holdBack = [&](AVPacket* packet) { early.emplace_back(av_packet_clone(packet)); };
    if (input.next(first.get(), copyStreams ? std::function<void(AVPacket*)>(holdBack) : nullptr,
                   error) == MediaInput::Status::Frame)
        return true;
    if (error.empty()) error = "'" + o.input + "' has no video frames";
    return false;
}

// How the input asks to be shown, kept where the output has a field for it and applied
// to the pictures elsewhere; an output that is discarded is shown nowhere.
DisplayTurn chooseTurn(const OutputPlan& plan, const MediaInput& input)
{
    const DisplayTurn asked = displayTurnOf(*input.videoStream());
    if (plan.discard || (!asked.turns() && asked.quarterTurns)) return {};
    const char* container = plan.muxer->name;
    if (holdsDisplayMatrix(plan.muxer)) {
        std::fprintf(stderr,
                     "telvo: note: the input is shown %s; %s keeps that in its display "
                     "matrix\n",
                     describe(asked).c_str(), container);
        return {};
    }
    if (!asked.quarterTurns) {
        std::fprintf(stderr,
                     "telvo: warning: the input is shown %s; %s has no field for it and "
                     "only quarter turns are applied, so the output shows it unrotated\n",
                     describe(asked).c_str(), container);
        return {};
    }
    std::fprintf(stderr,
                 "telvo: note: the input is shown %s; %s has no field for it, so the "
                 "pictures are turned before the filter\n",
                 describe(asked).c_str(), container);
    return asked;
}

bool openOutput(const CliOptions& o, const OutputPlan& plan, bool copyStreams, bool deep,
                const DisplayTurn& turn, const MediaInput& input, const AVFrame& first,
                OutputFile& file, MediaOutput& output, std::string& error)
{
    if (!file.create(o.output, plan.imageSequence, error)) return false;
    OutputSettings settings{file.writePath(), o.output, o.lossless, copyStreams, turn, deep};
    if (!output.open(plan, settings, input, first, error)) return false;
    if (o.verbose)
        std::fprintf(stderr, "telvo: %s %s, %dx%d\n", output.encoderName(),
                     av_get_pix_fmt_name(output.pixelFormat()),
                     turn.width(input.decoder()->width, input.decoder()->height),
                     turn.height(input.decoder()->width, input.decoder()->height));
    if (o.verbose && output.dithers())
        std::fprintf(stderr, "telvo: %s takes 8 bits per component: the 16-bit frames are %s\n",
                     output.encoderName(),
                     isRgbFormat(output.pixelFormat())
                         ? "rounded to 8 bits (FFmpeg has no dither for this conversion)"
                         : "dithered to 8 bits (FFmpeg's ordered dither), not truncated");
    return true;
}

// Input of more than 8 bits per component goes through the filter at 16 bits per
// channel, unless --eight-bit asks for the 8-bit path.
bool filtersDeep(const CliOptions& o, const AVFrame& first)
{
    return !o.eightBit && componentDepth(static_cast<AVPixelFormat>(first.format)) > 8;
}

// The curves are made for display-referred pictures: PQ and HLG input is refused
// unless --allow-hdr. Empty when the input may go on.
std::string refuseHdr(const CliOptions& o, const AVFrame& first)
{
    const char* transfer = hdrTransferName(first.color_trc);
    if (transfer == nullptr || o.allowHdr) return {};
    return std::string("the input is HDR: its transfer is ") + transfer +
           ", and telvo's curves are made for SDR (display-referred) pictures, so the result "
           "would be wrong; convert it to SDR first, or pass --allow-hdr to correct it as it "
           "is";
}

// What the progress bar counts up to; 0 when unknown.
int64_t framesToWrite(const MediaInput& input, const FrameRange& range)
{
    int64_t total = input.expectedFrames() > 0 ? input.expectedFrames() - range.start : 0;
    if (range.count > 0 && (total <= 0 || total > range.count)) total = range.count;
    return total;
}

// The notes and warnings of a finished run, after the output is in place.
void reportRun(const MediaInput& input, const MediaOutput& output, const PipelineCounts& counts)
{
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
}

void reportTiming(const StageClock& clock, StageClock::Clock::time_point began)
{
    const double wall = std::chrono::duration<double>(StageClock::Clock::now() - began).count();
    std::fprintf(stderr,
                 "telvo: timing: wall %.3f s; busy: decode %.3f s, to RGB %.3f s, "
                 "filter %.3f s, from RGB + encode + write %.3f s\n",
                 wall, clock.seconds(kDecode), clock.seconds(kToRgb), clock.seconds(kFilter),
                 clock.seconds(kEncode));
}

// Pass 1 of two discards the frames and runs the cut detector, at the default
// sensitivity unless one is given.
CliOptions asFirstPass(const CliOptions& given)
{
    CliOptions o = given;
    if (o.analysePath.empty()) return o;
    o.output.assign(1, '-');
    o.format = std::string_view("null");
    if (o.settings[kSceneCutsSetting] == 0) o.settings[kSceneCutsSetting] = kSceneCutsDefault;
    return o;
}

// Pass 1's plan, from the frames it measured: planned when it measured the whole input.
bool writeFirstPassPlan(const CliOptions& o, const FrameRange& range, int width, int height,
                        const StatsRecorder& stats, OutputFile& file, std::string& error)
{
    if (o.analysePath.empty()) return true;
    const bool whole = range.start == 0 && range.count < 0;
    const PassPlan measured = planFromMeasures(o, width, height, stats.frames(), whole);
    return writeWholeFile(file, o.analysePath, formatPlan(measured), error);
}

const char* doneText(const CliOptions& o, const OutputPlan& plan, std::string& text)
{
    text = !o.analysePath.empty() ? "measured, plan written to " + o.analysePath
           : plan.discard         ? "filtered"
                                  : "written to " + o.output;
    return text.c_str();
}

}  // namespace

RunResult runTranscode(const CliOptions& given)
{
    CliOptions o = asFirstPass(given);
    const bool planned = !o.planPath.empty();
    OutputPlan plan;
    SideOutputs side(o);
    if (std::string usage = checkOutputs(o, plan, side); !usage.empty())
        return RunResult::usage(usage);

    std::string error;
    MediaInput input;
    if (!input.open(o.input, error)) return RunResult::failure(error);
    PassPlan passPlan;
    if (planned) {
        if (!loadPlanFor(o.planPath, input, passPlan, error)) return RunResult::failure(error);
        adoptPlanSettings(passPlan, o);
    }
    FrameRange range{o.start, plan.singleImage ? 1 : o.frames};
    // No frame of pass 2 depends on another.
    range.preRoll = planned ? 0 : preRollFrames(o.settings);
    const bool copyStreams = !plan.discard && !plan.imageSequence && !plan.singleImage &&
                             range.start == 0 && range.count < 0;
    if (!copyStreams) input.discardOtherStreams();
    int64_t firstIndex = 0;
    FramePtr first;
    std::vector<PacketPtr> early;
    if (!seekToStart(o, range, input, firstIndex, error) ||
        !readFirstFrame(o, input, copyStreams, first, early, error))
        return RunResult::failure(error);
    // Checked again on every frame as it is filtered; a frame a seek landed on before
    // the range may decode incomplete (an open GOP), so only an output frame here.
    if (planned && firstIndex == range.start &&
        !checkPlanFrame(passPlan, o, first.get(), firstIndex, error))
        return RunResult::failure("'" + o.planPath + "': " + error);

    if (std::string hdr = refuseHdr(o, *first); !hdr.empty()) return RunResult::failure(hdr);
    const DisplayTurn turn = chooseTurn(plan, input);
    const int width = input.decoder()->width, height = input.decoder()->height;
    const bool deep = filtersDeep(o, *first);
    FilterSession filter;
    if (!filter.open(o.settings, turn.width(width, height), turn.height(width, height), error,
                     deep))
        return RunResult::failure(error);
    if (!o.analysePath.empty()) filter.measureOnly();
    if (planned) filter.usePlan(passPlan);
    if (!o.quiet)
        std::fprintf(stderr, "telvo: %s\ntelvo: %s\n", filter.description().c_str(),
                     filter.scriptLine().c_str());
    if (o.verbose && deep)
        std::fprintf(stderr, "telvo: %s input: 16 bits per channel through the filter\n",
                     av_get_pix_fmt_name(static_cast<AVPixelFormat>(first->format)));

    OutputFile outputFile;
    MediaOutput output;
    if (!plan.discard &&
        !openOutput(o, plan, copyStreams, deep, turn, input, *first, outputFile, output, error))
        return RunResult::failure(error);

    Progress progress(framesToWrite(input, range), !o.quiet);
    StatsRecorder stats;
    StageClock clock;
    const auto began = StageClock::Clock::now();
    PipelineJob job{input,
                    std::move(first),
                    std::move(early),
                    range,
                    copyStreams,
                    !plan.discard && output.keepsAlpha(),
                    deep,
                    filter,
                    plan.discard ? nullptr : &output,
                    stats,
                    progress,
                    clock,
                    firstIndex,
                    turn};
    PipelineCounts counts;
    if (!runFramePipeline(job, counts, error)) return RunResult::failure(error);
    if (planned && counts.inputEnded && counts.decoded != passPlan.frames)
        return RunResult::failure(
            "the input has " + std::to_string(counts.decoded) + " frames, the plan '" + o.planPath +
            "' " + std::to_string(passPlan.frames) + ": the plan is not this input's");
    if (counts.written == 0)
        return RunResult::failure("--start " + std::to_string(range.start) +
                                  " is past the end: the input has " +
                                  std::to_string(counts.decoded) + " frames");
    if (!plan.discard) {
        StageClock::Scope timed(clock, kEncode);
        if (!output.finish(error)) return RunResult::failure(error);
    }
    OutputFile planFile;
    if (!side.write(stats.frames(), error) ||
        !writeFirstPassPlan(o, range, width, height, stats, planFile, error) ||
        (!plan.discard && !outputFile.commit(error)) || !side.commit(error) ||
        (!o.analysePath.empty() && !planFile.commit(error)))
        return RunResult::failure(error);
    reportRun(input, output, counts);
    if (o.timing) reportTiming(clock, began);
    std::string done;
    if (!o.quiet)
        std::fprintf(stderr, "telvo: %lld frames %s\n", static_cast<long long>(counts.written),
                     doneText(o, plan, done));
    return RunResult::ok();
}
