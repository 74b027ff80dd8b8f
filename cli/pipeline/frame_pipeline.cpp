// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "cli/pipeline/frame_pipeline.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

#include "cli/media/filter_frames.h"
#include "cli/media/media_input.h"
#include "cli/media/media_output.h"
#include "cli/media/output_file.h"
#include "cli/pipeline/bounded_queue.h"
#include "cli/pipeline/filter_session.h"
#include "cli/pipeline/stage_clock.h"
#include "cli/report/frame_stats.h"
#include "cli/report/progress.h"
#include "engine/frame_pass.h"

namespace
{

// What travels between the stages: a frame in the filter's layout, or a packet of a
// copied stream, in the order the input delivered them.
struct Item {
    FramePtr frame;
    FramePtr alpha;  // after the filter: the frame it read, when its alpha is kept
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

bool runFramePipeline(PipelineJob& job, PipelineCounts& counts, std::string& error)
{
    const int width = job.input.decoder()->width, height = job.input.decoder()->height;
    ToFilterConverter converter(width, height, job.keepAlpha);
    FilterFramePool outPool(width, height);
    MediaInput& input = job.input;
    const FrameRange range = job.range;
    StageClock& clock = job.clock;
    BoundedQueue<Item> decoded(kQueueDepth), filtered(kQueueDepth);
    Failure failure;
    std::atomic<int64_t> framesDecoded{0};
    std::atomic<bool> inputEnded{false};

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
        for (PacketPtr& packet : job.early) {
            Item item;
            item.packet = std::move(packet);
            if (item.packet) decoded.push(std::move(item));
        }
        job.early.clear();
        int64_t index = job.firstIndex;
        bool more = takeFrame(job.first.get(), index++);
        job.first.reset();
        FramePtr frame(av_frame_alloc());
        std::function<void(AVPacket*)> onPacket;
        if (job.copyStreams)
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
            if (status == MediaInput::Status::End) {
                inputEnded = true;
                break;
            }
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
        if (job.output == nullptr) return;
        std::string writeError;
        Item item;
        while (filtered.pop(item)) {
            StageClock::Scope timed(clock, kEncode);
            const bool ok = item.packet ? job.output->copyPacket(item.packet.get(), writeError)
                                        : job.output->writeFrame(item.frame.get(), item.alpha.get(),
                                                                 item.pts, writeError);
            item = Item{};
            if (!ok) {
                failure.set(writeError);
                abortAll();
                break;
            }
        }
    });

    // Stage 2, on this thread: the filter.
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
            FrameReport report;
            bool reported;
            {
                StageClock::Scope timed(clock, kFilter);
                reported = job.filter.run(item.frame.get(), destination.get(), item.index, &report);
            }
            if (!reported) {
                failure.set(job.filter.whyNoReport(item.index));
                abortAll();
                break;
            }
            if (job.keepAlpha) item.alpha = std::move(item.frame);
            item.frame = std::move(destination);
            if (item.role != FrameRole::Output) continue;
            job.stats.add(item.index, report);
            // A segment starts its own clock at zero, so segments join end to end.
            if (firstPts == AV_NOPTS_VALUE) firstPts = item.pts == AV_NOPTS_VALUE ? 0 : item.pts;
            if (range.start > 0 && item.pts != AV_NOPTS_VALUE) item.pts -= firstPts;
            ++written;
            job.progress.update(written);
        }
        if (job.output != nullptr && !filtered.push(std::move(item))) break;
        item = Item{};
    }
    filtered.close();
    writer.join();
    reader.join();
    job.progress.finish(written);

    counts.written = written;
    counts.decoded = framesDecoded.load();
    counts.inputEnded = inputEnded.load();
    if (failure.failed()) {
        error = failure.message();
        return false;
    }
    if (interrupted()) {  // a signal that arrived as the input ran out
        error = "interrupted";
        return false;
    }
    return true;
}
