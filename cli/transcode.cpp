#include "cli/transcode.h"

#include <atomic>
#include <cstdio>
#include <mutex>
#include <thread>

extern "C" {
#include <libavutil/pixdesc.h>
}

#include "cli/bounded_queue.h"
#include "cli/filter_frames.h"
#include "cli/filter_session.h"
#include "cli/frame_range.h"
#include "cli/frame_stats.h"
#include "cli/media_input.h"
#include "cli/media_output.h"
#include "cli/options.h"
#include "cli/output_file.h"
#include "cli/output_plan.h"
#include "cli/progress.h"
#include "cli/side_outputs.h"
#include "cli/stage_clock.h"

namespace
{

// What travels between the stages: a frame in the filter's layout, or a packet of a
// copied stream, in the order the input delivered them.
struct Item {
    FramePtr frame;
    PacketPtr packet;
    int64_t index = 0;
    int64_t pts = AV_NOPTS_VALUE;
    FrameRole role = FrameRole::Output;
};

// The first failure of any stage stops all of them.
class Failure
{
public:
    void set(const std::string& message)
    {
        std::lock_guard lock(mutex_);
        if (!failed_.exchange(true)) message_ = message;
    }
    bool failed() const { return failed_.load(); }
    std::string message()
    {
        std::lock_guard lock(mutex_);
        return message_;
    }

private:
    std::mutex mutex_;
    std::atomic<bool> failed_{false};
    std::string message_;
};

constexpr size_t kQueueDepth = 6;

int64_t timestampOf(const AVFrame* f)
{
    return f->best_effort_timestamp != AV_NOPTS_VALUE ? f->best_effort_timestamp : f->pts;
}

}  // namespace

RunResult runTranscode(const CliOptions& o)
{
    OutputPlan plan;
    std::string error;
    if (!planOutput(o, plan, error)) return RunResult::usage(error);
    SideOutputs side(o);
    if (!side.check(error)) return RunResult::usage(error);
    if (!plan.discard && sameFile(o.input, o.output))
        return RunResult::usage("OUTPUT '" + o.output + "' is the input; choose another name");
    if (plan.singleImage && o.frames > 1)
        return RunResult::usage("'" + o.output +
                                "' is one image; for several frames use a "
                                "numbered name such as frame%04d.png");

    MediaInput input;
    if (!input.open(o.input, error)) return RunResult::failure(error);
    const int width = input.decoder()->width, height = input.decoder()->height;

    FrameRange range{o.start, plan.singleImage ? 1 : o.frames};
    const bool copyStreams = !plan.discard && !plan.imageSequence && !plan.singleImage &&
                             range.start == 0 && range.count < 0;
    if (!copyStreams) input.discardOtherStreams();

    // The first frame tells the real pixel format and colour tags before anything is
    // written, and an input without frames fails here.
    // Packets of copied streams read meanwhile are held back until the pipeline runs.
    FramePtr first(av_frame_alloc());
    std::vector<PacketPtr> early;
    auto holdBack = [&](AVPacket* packet) { early.emplace_back(av_packet_clone(packet)); };
    if (input.next(first.get(), copyStreams ? std::function<void(AVPacket*)>(holdBack) : nullptr,
                   error) != MediaInput::Status::Frame)
        return RunResult::failure(error.empty() ? "'" + o.input + "' has no video frames" : error);

    FilterSession filter;
    if (!filter.open(o.settings, o.disable, o.histogram, width, height, error))
        return RunResult::failure(error);
    if (!o.quiet)
        std::fprintf(stderr, "telvo: %s\ntelvo: %s\n", filter.description().c_str(),
                     filter.scriptLine().c_str());

    OutputFile outputFile;
    MediaOutput output;
    if (!plan.discard) {
        if (!outputFile.create(o.output, plan.imageSequence, error))
            return RunResult::failure(error);
        OutputSettings settings{outputFile.writePath(), o.output, o.lossless, copyStreams};
        if (!output.open(plan, settings, input, tagsOf(*first),
                         static_cast<AVPixelFormat>(first->format), error))
            return RunResult::failure(error);
        if (o.verbose)
            std::fprintf(stderr, "telvo: %s %s, %dx%d\n", output.encoderName(),
                         av_get_pix_fmt_name(output.pixelFormat()), width, height);
    }

    ToFilterConverter converter(width, height);
    FilterFramePool outPool(width, height);
    StatsRecorder stats;
    BoundedQueue<Item> decoded(kQueueDepth), filtered(kQueueDepth);
    Failure failure;
    std::atomic<int64_t> framesDecoded{0};
    StageClock clock;
    const auto began = StageClock::Clock::now();

    auto abortAll = [&] {
        decoded.abort();
        filtered.abort();
    };

    // Stage 1: demux, decode, convert to the filter's layout.
    auto takeFrame = [&](AVFrame* frame, int64_t index) {
        const FrameRole role = range.roleOf(index);
        if (role == FrameRole::Skip) return true;
        if (role == FrameRole::Past) return false;
        Item item;
        item.index = index;
        item.role = role;
        item.pts = timestampOf(frame);
        std::string convertError;
        bool converted;
        {
            StageClock::Scope timed(clock, kToRgb);
            converted = converter.convert(frame, item.frame, convertError);
        }
        if (!converted) {
            failure.set(convertError);
            return false;
        }
        return decoded.push(std::move(item));
    };
    std::thread reader([&] {
        std::string readError;
        for (PacketPtr& packet : early) {
            Item item;
            item.packet = std::move(packet);
            if (item.packet) decoded.push(std::move(item));
        }
        early.clear();
        int64_t index = 0;
        bool more = takeFrame(first.get(), index++);
        first.reset();
        FramePtr frame(av_frame_alloc());
        std::function<void(AVPacket*)> onPacket;
        if (copyStreams)
            onPacket = [&](AVPacket* packet) {
                Item item;
                item.packet.reset(av_packet_clone(packet));
                if (item.packet) decoded.push(std::move(item));
            };
        while (more && !failure.failed()) {
            if (interrupted()) {
                failure.set("interrupted");
                break;
            }
            MediaInput::Status status;
            {
                StageClock::Scope timed(clock, kDecode);
                status = input.next(frame.get(), onPacket, readError);
            }
            if (status == MediaInput::Status::End) break;
            if (status == MediaInput::Status::Error) {
                failure.set(readError);
                break;
            }
            more = takeFrame(frame.get(), index++);
            av_frame_unref(frame.get());
        }
        framesDecoded = index;
        if (failure.failed()) abortAll();
        decoded.close();
    });

    // Stage 3: convert back, encode, mux.
    std::thread writer([&] {
        if (plan.discard) return;
        std::string writeError;
        Item item;
        while (filtered.pop(item)) {
            StageClock::Scope timed(clock, kEncode);
            const bool ok = item.packet ? output.copyPacket(item.packet.get(), writeError)
                                        : output.writeFrame(item.frame.get(), item.pts, writeError);
            item = Item{};
            if (!ok) {
                failure.set(writeError);
                abortAll();
                break;
            }
        }
    });

    // Stage 2, on this thread: the filter.
    int64_t total = input.expectedFrames() > 0 ? input.expectedFrames() - range.start : 0;
    if (range.count > 0 && (total <= 0 || total > range.count)) total = range.count;
    Progress progress(total, !o.quiet);
    int64_t written = 0;
    int64_t firstPts = AV_NOPTS_VALUE;
    Item item;
    while (decoded.pop(item)) {
        if (interrupted()) {
            failure.set("interrupted");
            abortAll();
            break;
        }
        if (item.frame) {
            FramePtr destination = outPool.get();
            if (!destination) {
                failure.set("out of memory");
                abortAll();
                break;
            }
            stats.expect(item.index, item.role == FrameRole::Output);
            {
                StageClock::Scope timed(clock, kFilter);
                filter.run(item.frame.get(), destination.get(), item.index);
            }
            item.frame = std::move(destination);
            if (item.role != FrameRole::Output) continue;
            // A segment starts its own clock at zero, so segments join end to end.
            if (firstPts == AV_NOPTS_VALUE) firstPts = item.pts == AV_NOPTS_VALUE ? 0 : item.pts;
            if (range.start > 0 && item.pts != AV_NOPTS_VALUE) item.pts -= firstPts;
            ++written;
            progress.update(written);
        }
        if (!plan.discard && !filtered.push(std::move(item))) break;
        item = Item{};
    }
    filtered.close();
    writer.join();
    reader.join();
    progress.finish(written);

    if (failure.failed()) return RunResult::failure(failure.message());
    if (interrupted())  // a signal that arrived as the input ran out
        return RunResult::failure("interrupted");
    if (written == 0)
        return RunResult::failure("--start " + std::to_string(range.start) +
                                  " is past the end: the input has " +
                                  std::to_string(framesDecoded.load()) + " frames");
    if (!plan.discard) {
        StageClock::Scope timed(clock, kEncode);
        if (!output.finish(error)) return RunResult::failure(error);
    }
    if (!side.write(stats.frames(), error)) return RunResult::failure(error);
    if (!plan.discard && !outputFile.commit(error)) return RunResult::failure(error);
    if (!side.commit(error)) return RunResult::failure(error);
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
                     plan.discard ? "filtered" : ("written to " + o.output).c_str());
    return RunResult::ok();
}
