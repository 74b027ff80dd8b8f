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
#include "linked/frame_alpha.h"

namespace
{

// The filter wrote the fourth component zero: the input's alpha goes back in, and an
// 8-bit frame is then BGRA rather than BGR0.
void keepInputAlpha(const AVFrame& input, AVFrame& filtered)
{
    const bool deep = filtered.format == kDeepFilterPixelFormat;
    copyAlpha(input.data[0], input.linesize[0], filtered.data[0], filtered.linesize[0],
              filtered.width, filtered.height, deep ? PixelFormat::Bgra64 : PixelFormat::Bgrx32);
    if (!deep) filtered.format = AV_PIX_FMT_BGRA;
}

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

// One run's shared state: the stages, each a member, meet only in the two queues and
// the failure.
class PipelineRun
{
public:
    explicit PipelineRun(PipelineJob& job)
        : job_(job),
          converter_(job.input.decoder()->width, job.input.decoder()->height, job.keepAlpha,
                     job.deep),
          turner_(job.turn, job.input.decoder()->width, job.input.decoder()->height,
                  ToFilterConverter::layoutFor(job.keepAlpha, job.deep)),
          outPool_(job.turn.width(job.input.decoder()->width, job.input.decoder()->height),
                   job.turn.height(job.input.decoder()->width, job.input.decoder()->height),
                   ToFilterConverter::layoutFor(false, job.deep))
    {
    }

    void readStage();
    void filterStage();
    void writeStage();
    bool finish(PipelineCounts& counts, std::string& error);

private:
    bool takeFrame(AVFrame* frame, int64_t index);
    bool filterFrame(Item& item);
    void fail(const std::string& message)
    {
        failure_.set(message);
        abortAll();
    }
    void abortAll()
    {
        decoded_.abort();
        filtered_.abort();
    }

    PipelineJob& job_;
    ToFilterConverter converter_;
    PictureTurner turner_;
    FilterFramePool outPool_;
    BoundedQueue<Item> decoded_{kQueueDepth}, filtered_{kQueueDepth};
    Failure failure_;
    std::atomic<int64_t> framesDecoded_{0};
    std::atomic<bool> inputEnded_{false};
    int64_t written_ = 0;
    int64_t firstPts_ = AV_NOPTS_VALUE;
};

// Stage 1 helper: one decoded frame to the filter's layout, unless the range skips it.
// False once the range is past or on failure.
bool PipelineRun::takeFrame(AVFrame* frame, int64_t index)
{
    const FrameRole role = job_.range.roleOf(index);
    if (role == FrameRole::Skip) return true;
    if (role == FrameRole::Past) return false;
    Item item;
    item.index = index;
    item.role = role;
    item.pts = timestampOf(frame);
    std::string convertError;
    bool converted;
    {
        StageClock::Scope timed(job_.clock, kToRgb);
        converted = converter_.convert(frame, item.frame, convertError) &&
                    (!job_.turn.turns() || turner_.turn(item.frame, convertError));
    }
    if (!converted) {
        failure_.set(convertError);
        return false;
    }
    return decoded_.push(std::move(item));
}

// Stage 1: demux, decode, convert to the filter's layout (turned upright where the
// output cannot say how to show it); copied packets pass along.
void PipelineRun::readStage()
{
    std::string readError;
    for (PacketPtr& packet : job_.early) {
        Item item;
        item.packet = std::move(packet);
        if (item.packet) decoded_.push(std::move(item));
    }
    job_.early.clear();
    int64_t index = job_.firstIndex;
    bool more = takeFrame(job_.first.get(), index++);
    job_.first.reset();
    FramePtr frame(av_frame_alloc());
    if (!frame) {
        failure_.set("out of memory");
        more = false;
    }
    std::function<void(AVPacket*)> onPacket;
    if (job_.copyStreams)
        onPacket = [&](AVPacket* packet) {
            Item item;
            item.packet.reset(av_packet_clone(packet));
            if (item.packet) decoded_.push(std::move(item));
        };
    while (more && !failure_.failed()) {
        if (interrupted()) {
            failure_.set("interrupted");
            break;
        }
        MediaInput::Status status;
        {
            StageClock::Scope timed(job_.clock, kDecode);
            status = job_.input.next(frame.get(), onPacket, readError);
        }
        if (status == MediaInput::Status::End) {
            inputEnded_ = true;
            break;
        }
        if (status == MediaInput::Status::Error) {
            failure_.set(readError);
            break;
        }
        more = takeFrame(frame.get(), index++);
        av_frame_unref(frame.get());
    }
    framesDecoded_ = index;
    if (failure_.failed()) abortAll();
    decoded_.close();
}

// Stage 2 helper: the filter on one frame; the stats and the progress count the frames
// that are output. False on failure.
bool PipelineRun::filterFrame(Item& item)
{
    FramePtr destination = outPool_.get();
    if (!destination) {
        fail("out of memory");
        return false;
    }
    FrameReport report;
    bool reported;
    {
        StageClock::Scope timed(job_.clock, kFilter);
        reported = job_.filter.run(item.frame.get(), destination.get(), item.index, &report);
    }
    if (!reported) {
        fail(job_.filter.whyNoReport(item.index));
        return false;
    }
    if (job_.keepAlpha) keepInputAlpha(*item.frame, *destination);
    item.frame = std::move(destination);
    if (item.role != FrameRole::Output) return true;
    job_.stats.add(item.index, report);
    // A segment starts its own clock at zero, so segments join end to end.
    if (firstPts_ == AV_NOPTS_VALUE) firstPts_ = item.pts == AV_NOPTS_VALUE ? 0 : item.pts;
    if (job_.range.start > 0 && item.pts != AV_NOPTS_VALUE) item.pts -= firstPts_;
    ++written_;
    job_.progress.update(written_);
    return true;
}

// Stage 2, on the calling thread: the filter, in frame order.
void PipelineRun::filterStage()
{
    Item item;
    while (decoded_.pop(item)) {
        if (interrupted()) {
            fail("interrupted");
            break;
        }
        if (item.frame) {
            if (!filterFrame(item)) break;
            // Pre-roll frames feed the filter's history and go no further.
            if (item.role != FrameRole::Output) continue;
        }
        if (job_.output != nullptr && !filtered_.push(std::move(item))) break;
        item = Item{};
    }
    filtered_.close();
}

// Stage 3: convert back, encode, mux.
void PipelineRun::writeStage()
{
    if (job_.output == nullptr) return;
    std::string writeError;
    Item item;
    while (filtered_.pop(item)) {
        StageClock::Scope timed(job_.clock, kEncode);
        const bool ok = item.packet
                            ? job_.output->copyPacket(item.packet.get(), writeError)
                            : job_.output->writeFrame(item.frame.get(), item.pts, writeError);
        item = Item{};
        if (!ok) {
            fail(writeError);
            break;
        }
    }
}

bool PipelineRun::finish(PipelineCounts& counts, std::string& error)
{
    job_.progress.finish(written_);
    counts.written = written_;
    counts.decoded = framesDecoded_.load();
    counts.inputEnded = inputEnded_.load();
    if (failure_.failed()) {
        error = failure_.message();
        return false;
    }
    if (interrupted()) {  // a signal that arrived as the input ran out
        error = "interrupted";
        return false;
    }
    return true;
}

}  // namespace

bool runFramePipeline(PipelineJob& job, PipelineCounts& counts, std::string& error)
{
    PipelineRun run(job);
    std::thread reader([&] { run.readStage(); });
    std::thread writer([&] { run.writeStage(); });
    run.filterStage();
    writer.join();
    reader.join();
    return run.finish(counts, error);
}
