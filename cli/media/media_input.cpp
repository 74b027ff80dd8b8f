// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "cli/media/media_input.h"

#include <algorithm>
#include <cstdio>

#include "cli/media/av_messages.h"
#include "cli/media/frame_timestamp.h"
#include "cli/media/output_file.h"

extern "C" {
#include <libavutil/avutil.h>
}

namespace
{

int64_t timestampOf(const AVFrame* f)
{
    return f->best_effort_timestamp != AV_NOPTS_VALUE ? f->best_effort_timestamp : f->pts;
}

// Packets an edit list cuts off (a clip cut by stream copy starts at the keyframe before
// the cut): decoded for reference, never shown, and counted in the header's frame count.
int64_t hiddenFrames(AVStream* stream)
{
    int64_t hidden = 0;
    const int entries = avformat_index_get_entries_count(stream);
    for (int i = 0; i < entries; ++i)
        if (const AVIndexEntry* entry = avformat_index_get_entry(stream, i))
            hidden += (entry->flags & AVINDEX_DISCARD_FRAME) != 0;
    return hidden;
}

// Lets Ctrl-C end a read that waits on a pipe or a slow device.
int stopReading(void*)
{
    return interrupted() ? 1 : 0;
}

}  // namespace

bool MediaInput::open(const std::string& path, std::string& error)
{
    path_ = path;
    AVFormatContext* raw = avformat_alloc_context();
    if (raw == nullptr) {
        error = "out of memory";
        return false;
    }
    raw->interrupt_callback.callback = &stopReading;
    clearAvMessage();
    // "-" is standard input, as for most command-line tools.
    const bool standardInput = path == "-";
    const std::string shown = standardInput ? "standard input" : "'" + path + "'";
    int status =
        avformat_open_input(&raw, standardInput ? "pipe:0" : path.c_str(), nullptr, nullptr);
    if (status < 0) {
        if (interrupted())
            error = "interrupted";
        else if (status == AVERROR_EOF)
            error = shown + " holds no media data (empty or cut short)";
        else if (status == AVERROR_INVALIDDATA)
            error = shown + " is not a media file FFmpeg can read";
        else
            error = "cannot open " + shown + ": " + avFailure(status);
        return false;
    }
    format_.reset(raw);
    status = avformat_find_stream_info(raw, nullptr);
    if (status < 0) {
        error = "cannot read stream information of " + shown + ": " + avFailure(status);
        return false;
    }
    timeline_.start(raw);
    const AVCodec* codec = nullptr;
    videoIndex_ = av_find_best_stream(raw, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    if (videoIndex_ == AVERROR_STREAM_NOT_FOUND) {
        error = shown + " has no video stream";
        return false;
    }
    if (videoIndex_ < 0 || codec == nullptr) {
        const AVStream* any = nullptr;
        for (unsigned i = 0; i < raw->nb_streams && !any; ++i)
            if (raw->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) any = raw->streams[i];
        error = shown + ": no decoder for its video" +
                (any ? std::string(" (") + avcodec_get_name(any->codecpar->codec_id) + ")"
                     : std::string());
        return false;
    }
    AVStream* stream = raw->streams[videoIndex_];
    decoder_.reset(avcodec_alloc_context3(codec));
    packet_.reset(av_packet_alloc());
    if (!decoder_ || !packet_ ||
        avcodec_parameters_to_context(decoder_.get(), stream->codecpar) < 0) {
        error = "cannot open the " + std::string(codec->name) + " decoder: out of memory";
        return false;
    }
    decoder_->pkt_timebase = stream->time_base;
    decoder_->thread_count = 0;
    decoder_->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    status = avcodec_open2(decoder_.get(), codec, nullptr);
    if (status < 0) {
        error = "cannot open the " + std::string(codec->name) + " decoder: " + avFailure(status);
        return false;
    }
    if (decoder_->width <= 0 || decoder_->height <= 0) {
        error = shown + ": the video has no frame size";
        return false;
    }
    const AVRational guessed = av_guess_frame_rate(raw, stream, nullptr);
    if (guessed.num > 0 && guessed.den > 0) frameRate_ = guessed;
    if (stream->nb_frames > 0)
        expectedFrames_ = stream->nb_frames;
    else if (stream->duration > 0 && stream->duration != AV_NOPTS_VALUE)
        expectedFrames_ = av_rescale_q(stream->duration, stream->time_base, av_inv_q(frameRate_));
    else if (raw->duration > 0)
        expectedFrames_ =
            av_rescale_q(raw->duration, AVRational{1, AV_TIME_BASE}, av_inv_q(frameRate_));
    statedFrames_ = std::max<int64_t>(stream->nb_frames, 0);
    hiddenFrames_ = std::min(hiddenFrames(stream), statedFrames_);
    if (raw->duration_estimation_method == AVFMT_DURATION_FROM_STREAM && raw->duration > 0)
        statedSeconds_ = raw->duration / static_cast<double>(AV_TIME_BASE);
    return true;
}

// Reads one packet and hands it on. `ended` turns true at the end of the input.
bool MediaInput::feed(const std::function<void(AVPacket*)>& onOtherPacket, std::string& error,
                      bool& ended)
{
    AVPacket* packet = packet_.get();
    const int status = av_read_frame(format_.get(), packet);
    if (status == AVERROR_EOF || (status < 0 && !interrupted() && avio_feof(format_->pb))) {
        ended = true;
        return true;
    }
    if (status < 0 && interrupted()) {
        error = "interrupted";
        return false;
    }
    if (status < 0) {
        // A damaged stretch the demuxer could not resync over: end the input there.
        std::fprintf(stderr, "telvo: warning: input read error (%s); the input ends here\n",
                     avError(status).c_str());
        ended = true;
        return true;
    }
    timeline_.apply(format_->streams[packet->stream_index], packet);
    if (packet->stream_index != videoIndex_) {
        if (onOtherPacket) onOtherPacket(packet);
        av_packet_unref(packet);
        return true;
    }
    ++packetsSeen_;
    const int64_t pts = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
    const double seconds = pts == AV_NOPTS_VALUE ? -1.0 : pts * av_q2d(videoStream()->time_base);
    // On the way to a seek's frame, frames nothing refers to are not needed.
    const bool beforeTarget =
        seekTarget_ != AV_NOPTS_VALUE && pts != AV_NOPTS_VALUE && pts < seekTarget_;
    decoder_->skip_frame = beforeTarget ? AVDISCARD_NONREF : AVDISCARD_DEFAULT;
    const int sent = avcodec_send_packet(decoder_.get(), packet);
    av_packet_unref(packet);
    if (sent < 0 && sent != AVERROR(EAGAIN)) {
        if (sent == AVERROR(ENOMEM)) {
            error = "out of memory while decoding";
            return false;
        }
        ++skippedPackets_;
        std::fprintf(stderr, "telvo: warning: corrupt video packet %lld (at %.3f s) skipped (%s)\n",
                     static_cast<long long>(packetsSeen_), seconds, avError(sent).c_str());
    }
    return true;
}

MediaInput::Status MediaInput::next(AVFrame* frame,
                                    const std::function<void(AVPacket*)>& onOtherPacket,
                                    std::string& error)
{
    auto shown = [&] {
        const int64_t at = timestampOf(frame);
        if (at != AV_NOPTS_VALUE && (lastShown_ == AV_NOPTS_VALUE || at > lastShown_)) {
            lastShown_ = at;
            lastShownDuration_ = std::max<int64_t>(frame->pkt_duration, 0);
        }
        return Status::Frame;
    };
    if (held_) {
        av_frame_move_ref(frame, held_.get());
        held_.reset();
        return shown();
    }
    while (!drained_) {
        const int status = avcodec_receive_frame(decoder_.get(), frame);
        if (status >= 0) return shown();
        if (status == AVERROR_EOF) {
            drained_ = true;
            break;
        }
        if (status != AVERROR(EAGAIN)) {
            // Frame-threaded decoders report a bad packet here rather than when it is sent.
            ++skippedPackets_;
            std::fprintf(stderr, "telvo: warning: corrupt video frame skipped (%s)\n",
                         avError(status).c_str());
            continue;
        }
        if (flushing_) {
            drained_ = true;
            break;
        }
        bool ended = false;
        if (!feed(onOtherPacket, error, ended)) return Status::Error;
        if (ended) {
            avcodec_send_packet(decoder_.get(), nullptr);
            flushing_ = true;
        }
    }
    return Status::End;
}

void MediaInput::discardOtherStreams()
{
    othersDiscarded_ = true;
    for (unsigned i = 0; i < format_->nb_streams; ++i)
        if (static_cast<int>(i) != videoIndex_) format_->streams[i]->discard = AVDISCARD_ALL;
}

namespace
{

// Demuxers without an index (MPEG-TS, say) may land after the keyframe asked for; each
// retry starts twice as far back.
constexpr int kSeekTries = 6;

}  // namespace

bool MediaInput::seekToFrame(int64_t frame, int64_t& nextIndex, std::string& how,
                             std::string& error)
{
    nextIndex = 0;
    const InputMessagesMuted muted;
    AVFormatContext* f = format_.get();
    const AVRational timeBase = videoStream()->time_base;
    if (f->pb == nullptr || !(f->pb->seekable & AVIO_SEEKABLE_NORMAL)) {
        how = "the input cannot seek; decoding from the start";
        return true;  // nothing read yet beyond what opening buffered
    }
    const int64_t target = findFrameTimestamp(f, videoIndex_, frame);
    if (target == AV_NOPTS_VALUE) {
        how = "no timestamp found for frame " + std::to_string(frame) + "; decoding from the start";
        return reopen(error);
    }
    int64_t seekTo = target;
    for (int attempt = 0; attempt < kSeekTries && !interrupted(); ++attempt) {
        if (landOnKeyframe(seekTo, target)) {
            seekTarget_ = target;
            const bool decoded = decodeUpTo(target, error);
            seekTarget_ = AV_NOPTS_VALUE;
            if (!decoded) return false;
            if (held_) {
                nextIndex = frame;
                char seconds[32];
                std::snprintf(seconds, sizeof seconds, "%.3f", target * av_q2d(timeBase));
                how = "frame " + std::to_string(frame) + " at " + seconds +
                      " s, decoded from the keyframe before it";
                return true;
            }
            break;  // the frames there do not carry the timestamp found: trust nothing
        }
        seekTo = target - av_rescale_q(int64_t{1} << attempt, AVRational{1, 1}, timeBase);
    }
    how = "seeking in this input does not land exactly; decoding from the start";
    return reopen(error);
}

// Seeks to the keyframe at or before `seekTo` and sends it to the decoder. False when
// the seek fails or the first keyframe after it shows later than `target`.
bool MediaInput::landOnKeyframe(int64_t seekTo, int64_t target)
{
    if (av_seek_frame(format_.get(), videoIndex_, seekTo, AVSEEK_FLAG_BACKWARD) < 0) return false;
    avcodec_flush_buffers(decoder_.get());
    flushing_ = drained_ = false;
    AVPacket* packet = packet_.get();
    while (av_read_frame(format_.get(), packet) >= 0) {
        // Nothing before the first keyframe can be decoded on its own.
        if (packet->stream_index != videoIndex_ || !(packet->flags & AV_PKT_FLAG_KEY)) {
            av_packet_unref(packet);
            continue;
        }
        const int64_t pts = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
        const bool usable = pts != AV_NOPTS_VALUE && pts <= target;
        const bool sent = usable && avcodec_send_packet(decoder_.get(), packet) >= 0;
        av_packet_unref(packet);
        return sent;
    }
    return false;
}

// Decodes forward and holds the frame showing at `target`; frames before it are
// dropped. Holds nothing when no frame shows exactly then.
bool MediaInput::decodeUpTo(int64_t target, std::string& error)
{
    FramePtr frame(av_frame_alloc());
    if (!frame) {
        error = "out of memory";
        return false;
    }
    for (;;) {
        const Status status = next(frame.get(), nullptr, error);
        if (status == Status::Error) return false;
        if (status == Status::End) return true;
        const int64_t shown = timestampOf(frame.get());
        if (shown == target) {
            held_ = std::move(frame);
            return true;
        }
        if (shown > target || shown == AV_NOPTS_VALUE) return true;
        av_frame_unref(frame.get());
    }
}

// Back to the first frame: open the input afresh, as a run without --start does.
bool MediaInput::reopen(std::string& error)
{
    held_.reset();
    decoder_.reset();
    format_.reset();
    flushing_ = drained_ = false;
    packetsSeen_ = skippedPackets_ = 0;
    lastShown_ = AV_NOPTS_VALUE;
    if (!open(path_, error)) return false;
    if (othersDiscarded_) discardOtherStreams();
    return true;
}

// A recording cut short still gives every frame it holds, so the run succeeds and this
// says what is missing. Where the container states only a duration, the video must end
// over a second early to count: audio often runs a little longer than video.
std::string MediaInput::cutShortWarning(int64_t decoded) const
{
    const long long seen = decoded + skippedPackets_;
    char text[200];
    if (statedFrames_ > 0) {
        const long long shown = statedFrames_ - hiddenFrames_;
        if (seen >= shown) return {};
        std::snprintf(text, sizeof text,
                      "the input ends early: its container announces %lld frames, %lld were "
                      "decoded",
                      shown, static_cast<long long>(decoded));
        return text;
    }
    if (statedSeconds_ <= 0 || lastShown_ == AV_NOPTS_VALUE) return {};
    const AVFormatContext* f = format_.get();
    const double start =
        f->start_time == AV_NOPTS_VALUE ? 0.0 : f->start_time / static_cast<double>(AV_TIME_BASE);
    const double end = (lastShown_ + lastShownDuration_) * av_q2d(videoStream()->time_base) - start;
    if (end + 1.0 >= statedSeconds_) return {};
    std::snprintf(text, sizeof text,
                  "the input ends early: its container announces %.2f s, its last frame ends "
                  "at %.2f s; %lld were decoded",
                  statedSeconds_, end, static_cast<long long>(decoded));
    return text;
}
