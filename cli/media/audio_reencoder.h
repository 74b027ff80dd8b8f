// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// An audio stream the output container cannot hold as it is, decoded and encoded again
// with the container's own audio codec: resampled to a rate, sample format and channel
// layout the encoder takes, cut into the encoder's frame size, timed by counting
// samples from the first decoded frame.
#pragma once

#include <string>

#include "cli/media/av_util.h"

struct AVAudioFifo;
struct SwrContext;

class AudioReencoder
{
public:
    AudioReencoder() = default;
    ~AudioReencoder();
    AudioReencoder(const AudioReencoder&) = delete;
    AudioReencoder& operator=(const AudioReencoder&) = delete;

    // Opens a decoder for `in` and `codec` for the output, and adds the output stream to
    // `muxer` (whose header is not written yet).
    bool open(const AVStream* in, const AVCodec* codec, AVFormatContext* muxer, std::string& error);
    // One packet of the input stream, in its time base.
    bool write(const AVPacket* packet, std::string& error);
    // Drains the decoder, the resampler and the encoder.
    bool finish(std::string& error);
    // ", its 6 channels mixed down to 2" where the encoder takes fewer channels than the
    // input has (MP2 takes two), else empty.
    std::string channelChange() const;

private:
    bool openDecoder(const AVStream* in, std::string& error);
    bool openEncoder(const AVCodec* codec, AVFormatContext* muxer, std::string& error);
    bool resampleDecoded(std::string& error);
    bool addSamples(const uint8_t** samples, int count, std::string& error);
    bool encodeWholeFrames(bool last, std::string& error);
    bool sendToEncoder(const AVFrame* frame, std::string& error);

    CodecPtr decoder_, encoder_;
    SwrContext* resampler_ = nullptr;
    AVAudioFifo* fifo_ = nullptr;
    AVFormatContext* muxer_ = nullptr;
    AVStream* out_ = nullptr;
    FramePtr decoded_, resampled_, chunk_;
    PacketPtr packet_;
    int frameSize_ = 0;                 // samples per encoded frame
    int64_t nextPts_ = AV_NOPTS_VALUE;  // in 1 / the output sample rate
};
