// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "cli/pipeline/video_run.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>

extern "C" {
#include <libavutil/pixdesc.h>
}

#include "cli/media/colour.h"
#include "cli/media/filter_frames.h"
#include "cli/report/progress.h"

namespace
{

void warnIfCutShort(const MediaInput& input, const PipelineCounts& counts)
{
    if (!counts.inputEnded) return;
    if (const std::string warning = input.cutShortWarning(counts.decoded); !warning.empty())
        std::fprintf(stderr, "telvo: warning: %s\n", warning.c_str());
}

// Usage errors the command line shows before anything is opened: the output's format,
// the side files, and no two outputs on the same file nor on a file the run reads.
// Empty when all is well.
std::string checkOutputs(const CliOptions& o, OutputPlan& plan, const SideOutputs& side,
                         const std::vector<NamedOutput>& extra,
                         const std::vector<NamedOutput>& read)
{
    std::string error;
    if (!planOutput(o, plan, error)) return error;
    if (!side.check(error)) return error;
    std::vector<NamedOutput> outputs;
    if (!plan.discard) outputs.push_back({"OUTPUT", o.output, plan.imageSequence});
    side.name(outputs);
    outputs.insert(outputs.end(), extra.begin(), extra.end());
    if (std::string clash = findOutputClash(o.input, outputs, read); !clash.empty()) return clash;
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

// Margins name the displayed picture's edges. A filter that sees the pictures as stored
// (the container keeps the display matrix, or the frames are discarded) measures the
// same pixels through the stored picture's edges. The filter leaves out `top` rows and
// `right` columns but one fewer at the left and bottom (the host's rule), so the counts
// left out are what moves from edge to edge.
SettingValues filterSettings(const CliOptions& o, const MediaInput& input, const DisplayTurn& turn)
{
    SettingValues s = o.settings;
    const DisplayTurn asked = displayTurnOf(*input.videoStream());
    if (turn.turns() || !asked.turns()) return s;
    constexpr int kMargins[4] = {settingIndex("top"), settingIndex("left"), settingIndex("right"),
                                 settingIndex("bottom")};
    constexpr int kCountsOneFewer[4] = {0, 1, 0, 1};
    int leftOut[4];
    for (int i = 0; i < 4; ++i) leftOut[i] = std::max(s[kMargins[i]] - kCountsOneFewer[i], 0);
    storedMargins(asked, leftOut);
    for (int i = 0; i < 4; ++i)
        s[kMargins[i]] =
            std::min(leftOut[i] + kCountsOneFewer[i], kSettings[kMargins[i]].range.high);
    return s;
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

}  // namespace

std::string VideoRun::checkOutputs(const std::vector<NamedOutput>& extra,
                                   const std::vector<NamedOutput>& read)
{
    return ::checkOutputs(o_, plan_, side_, extra, read);
}

bool VideoRun::start(int64_t preRoll, std::string& error)
{
    range_ = FrameRange{o_.start, plan_.singleImage ? 1 : o_.frames};
    range_.preRoll = preRoll;
    copyStreams_ = !plan_.discard && !plan_.imageSequence && !plan_.singleImage &&
                   range_.start == 0 && range_.count < 0;
    if (!copyStreams_) input_.discardOtherStreams();
    return seekToStart(o_, range_, input_, firstIndex_, error) &&
           readFirstFrame(o_, input_, copyStreams_, first_, early_, error);
}

bool VideoRun::choosePath(std::string& error)
{
    error = refuseHdr(o_, *first_);
    if (!error.empty()) return false;
    turn_ = chooseTurn(plan_, input_);
    deep_ = filtersDeep(o_, *first_);
    settings_ = ::filterSettings(o_, input_, turn_);
    return true;
}

bool VideoRun::openFilter(std::string& error)
{
    const int width = input_.decoder()->width, height = input_.decoder()->height;
    if (!filter_.open(settings_, turn_.width(width, height), turn_.height(width, height), error,
                      deep_))
        return false;
    if (!o_.quiet)
        std::fprintf(stderr, "telvo: %s\ntelvo: %s\n", filter_.description().c_str(),
                     filter_.scriptLine().c_str());
    if (o_.verbose && deep_)
        std::fprintf(stderr, "telvo: %s input: 16 bits per channel through the filter\n",
                     av_get_pix_fmt_name(static_cast<AVPixelFormat>(first_->format)));
    return true;
}

bool VideoRun::openOutput(std::string& error)
{
    return plan_.discard || ::openOutput(o_, plan_, copyStreams_, deep_, turn_, input_, *first_,
                                         outputFile_, output_, error);
}

bool VideoRun::run(std::string& error)
{
    Progress progress(framesToWrite(input_, range_), !o_.quiet);
    began_ = StageClock::Clock::now();
    PipelineJob job{input_,
                    std::move(first_),
                    std::move(early_),
                    range_,
                    copyStreams_,
                    !plan_.discard && output_.keepsAlpha(),
                    deep_,
                    filter_,
                    plan_.discard ? nullptr : &output_,
                    stats_,
                    progress,
                    clock_,
                    firstIndex_,
                    turn_};
    if (!runFramePipeline(job, counts_, error)) return false;
    if (counts_.written == 0) {
        error = "--start " + std::to_string(range_.start) + " is past the end: the input has " +
                std::to_string(counts_.decoded) + " frames";
        return false;
    }
    if (plan_.discard) return true;
    StageClock::Scope timed(clock_, kEncode);
    return output_.finish(error);
}

bool VideoRun::commit(std::string& error, OutputFile* also)
{
    return side_.write(stats_.frames(), error) && (plan_.discard || outputFile_.commit(error)) &&
           side_.commit(error) && (also == nullptr || also->commit(error));
}

void VideoRun::report(const std::string& done) const
{
    reportRun(input_, output_, counts_);
    if (o_.timing) reportTiming(clock_, began_);
    if (!o_.quiet)
        std::fprintf(stderr, "telvo: %lld frames %s\n", static_cast<long long>(counts_.written),
                     done.c_str());
}

std::string VideoRun::doneText() const
{
    return plan_.discard ? "filtered" : "written to " + o_.output;
}
