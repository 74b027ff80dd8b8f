// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The output side: converts the filter's RGB frames back with the input's matrix, range
// and tags, encodes them, and muxes them together with the audio and subtitle streams
// (copied, or audio encoded again where the container cannot hold it as it is). Frame rate,
// timestamps, aspect ratio and rotation follow the input.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "cli/media/audio_reencoder.h"
#include "cli/media/av_util.h"
#include "cli/media/colour.h"
#include "cli/media/display_turn.h"

class MediaInput;
struct OutputPlan;

struct OutputSettings {
    std::string writePath;  // where the bytes go (a temporary name)
    std::string finalPath;  // for messages
    bool lossless = false;
    bool copyOtherStreams = true;
    DisplayTurn turn;   // applied to the pictures before the filter: the output is turned
    bool deep = false;  // frames come in kDeepFilterPixelFormat
};

class MediaOutput
{
public:
    MediaOutput() = default;
    ~MediaOutput();
    MediaOutput(const MediaOutput&) = delete;
    MediaOutput& operator=(const MediaOutput&) = delete;

    // `first` is the input's first decoded frame: its pixel format, colour tags and
    // field order are kept.
    bool open(const OutputPlan& plan, const OutputSettings& settings, const MediaInput& input,
              const AVFrame& first, std::string& error);

    // One filtered frame (the filter's format, BGRA when its alpha is kept) with its
    // timestamp in the input video stream's time base.
    bool writeFrame(AVFrame* filtered, int64_t pts, std::string& error);
    // A packet of an input stream other than the video: copied, or decoded and encoded
    // again where the container cannot hold the stream as it is; ignored when left out.
    bool copyPacket(AVPacket* packet, std::string& error);
    // Packets of copied streams left out because their time went back.
    int64_t droppedPackets() const { return droppedPackets_; }
    // Drains the encoder and writes the trailer.
    bool finish(std::string& error);

    AVPixelFormat pixelFormat() const { return pixelFormat_; }
    // The input has alpha and the output format can hold it: frames go through as BGRA.
    bool keepsAlpha() const { return keepsAlpha_; }
    // Deep frames go to an output of 8 bits per component: the conversion dithers.
    bool dithers() const { return dithers_; }
    const char* encoderName() const;

private:
    // The steps of open, in order.
    bool configureEncoder(const AVCodec* codec, const MediaInput& input, const AVFrame& first,
                          const ColourTags& tags, const DisplayTurn& turn, std::string& error);
    bool openEncoder(const OutputPlan& plan, std::string& error);
    bool addVideoStream(const MediaInput& input, bool turned, std::string& error);
    bool addOtherStreams(const MediaInput& input, bool copy, std::string& error);
    bool addCopiedStream(const AVStream& in, std::string& error);
    bool addEncodedAudio(const AVStream& in, std::string& error);
    bool writeHeader(const OutputSettings& settings, std::string& error);

    bool drain(std::string& error);
    bool allocatePlanar(AVPixelFormat format, int width, int height);

    std::string finalPath_;
    AVFormatContext* muxer_ = nullptr;
    bool ioOpen_ = false;
    bool headerWritten_ = false;
    CodecPtr encoder_;
    AVStream* videoOut_ = nullptr;
    AVRational inputTimeBase_{1, 1};  // of the timestamps writeFrame gets
    int64_t frameDuration_ = 1;       // one frame in the encoder's time base
    std::vector<int> streamMap_;      // input stream index -> output index, -1 dropped
    std::vector<std::unique_ptr<AudioReencoder>> reencoders_;  // per input stream, or null
    std::vector<AVRational> inputTimeBases_;
    std::vector<int64_t> lastCopiedDts_;  // per input stream, in its output time base
    int64_t droppedPackets_ = 0;
    SwsPtr converter_;
    FramePtr converted_;
    PacketPtr packet_;
    AVPixelFormat pixelFormat_ = AV_PIX_FMT_NONE;
    bool keepsAlpha_ = false;
    bool deep_ = false;
    FramePtr planar_;  // deep frames: deinterleaved for swscale or the encoder
    bool dithers_ = false;
    bool interlaced_ = false, topFieldFirst_ = false;
    int64_t lastPts_ = AV_NOPTS_VALUE;
};
