// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The input side: opens anything FFmpeg reads, picks its video stream and decodes it,
// frame by frame in presentation order. A packet the decoder rejects is reported and
// skipped; the frames around it keep coming.
#pragma once

#include <functional>
#include <string>

#include "cli/media/av_util.h"
#include "cli/media/timeline_repair.h"

class MediaInput
{
public:
    bool open(const std::string& path, std::string& error);

    AVFormatContext* format() const { return format_.get(); }
    AVStream* videoStream() const { return format_->streams[videoIndex_]; }
    const AVCodecContext* decoder() const { return decoder_.get(); }
    AVRational frameRate() const { return frameRate_; }
    // Frames the container announces, or an estimate from the duration; 0 when unknown.
    int64_t expectedFrames() const { return expectedFrames_; }
    // What the container's header states about the video, to tell an input cut short:
    // its frame count (exact), or its duration in seconds; 0 when it states neither
    // and FFmpeg measured or guessed the length instead.
    int64_t statedFrames() const { return statedFrames_; }
    double statedSeconds() const { return statedSeconds_; }
    int64_t skippedPackets() const { return skippedPackets_; }
    // After the whole input was read, with `decoded` frames from it: a warning when it
    // ended before what its container states, else empty. Frames are counted as the
    // decoder shows them (an edit list hides some packets) and a stated duration is
    // compared with the last frame's time, which a variable frame rate does not skew.
    std::string cutShortWarning(int64_t decoded) const;
    // How often timestamps that jumped were joined up (see TimelineRepair).
    int64_t timelineJoins() const { return timeline_.joins(); }

    // Stops demuxing the streams that are not copied.
    void discardOtherStreams();

    // Makes frame `frame` (0-based, presentation order) the next one next() delivers by
    // seeking to the keyframe at or before it and decoding forward from there; frames
    // are identified by their timestamps, so they are the frames a run from the start
    // decodes. Where the input cannot seek (a pipe, an image sequence, packets without
    // timestamps, a container whose seek does not land where it should) the input is
    // read from the start again. `nextIndex` tells which frame comes next: `frame` or 0.
    // `how` says which way it went, for --verbose.
    bool seekToFrame(int64_t frame, int64_t& nextIndex, std::string& how, std::string& error);

    enum class Status { Frame, End, Error };
    // Decodes the next video frame into `frame`. Packets of other streams go to
    // `onOtherPacket` when it is set (they stay owned by the caller's callback).
    Status next(AVFrame* frame, const std::function<void(AVPacket*)>& onOtherPacket,
                std::string& error);

private:
    bool feed(const std::function<void(AVPacket*)>& onOtherPacket, std::string& error, bool& ended);
    bool landOnKeyframe(int64_t seekTo, int64_t target);
    bool decodeUpTo(int64_t target, std::string& error);
    bool reopen(std::string& error);

    std::string path_;
    bool othersDiscarded_ = false;
    FramePtr held_;  // the frame a seek decoded to, handed out by the next next()
    int64_t seekTarget_ = AV_NOPTS_VALUE;  // while decoding up to it
    InputPtr format_;
    CodecPtr decoder_;
    PacketPtr packet_;
    TimelineRepair timeline_;
    int videoIndex_ = -1;
    AVRational frameRate_{25, 1};
    int64_t expectedFrames_ = 0;
    int64_t statedFrames_ = 0;
    double statedSeconds_ = 0;
    int64_t skippedPackets_ = 0;
    int64_t hiddenFrames_ = 0;            // packets the index marks as never shown
    int64_t lastShown_ = AV_NOPTS_VALUE;  // the latest frame timestamp delivered
    int64_t lastShownDuration_ = 0;       // that frame's duration
    int64_t packetsSeen_ = 0;
    bool flushing_ = false;
    bool drained_ = false;
};
