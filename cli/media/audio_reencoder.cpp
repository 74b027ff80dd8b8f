// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "cli/media/audio_reencoder.h"

#include <algorithm>

extern "C" {
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

#include "cli/media/av_messages.h"

namespace
{

AVSampleFormat sampleFormatFor(const AVCodec* codec, AVSampleFormat wanted)
{
    if (codec->sample_fmts == nullptr) return wanted;
    for (const AVSampleFormat* f = codec->sample_fmts; *f != AV_SAMPLE_FMT_NONE; ++f)
        if (*f == wanted) return wanted;
    return codec->sample_fmts[0];
}

// The input's rate if the encoder takes it, else the next higher one it takes (Opus:
// 44100 becomes 48000), else its highest.
int sampleRateFor(const AVCodec* codec, int wanted)
{
    if (codec->supported_samplerates == nullptr) return wanted;
    int above = 0, highest = 0;
    for (const int* r = codec->supported_samplerates; *r != 0; ++r) {
        if (*r == wanted) return wanted;
        if (*r > wanted && (above == 0 || *r < above)) above = *r;
        highest = std::max(highest, *r);
    }
    return above != 0 ? above : highest;
}

// The input's layout if the encoder takes it, else one with as many channels, else
// stereo, else the encoder's first.
int channelLayoutFor(const AVCodec* codec, const AVChannelLayout& wanted, AVChannelLayout* out)
{
    const AVChannelLayout* list = codec->ch_layouts;
    if (list == nullptr) return av_channel_layout_copy(out, &wanted);
    for (const AVChannelLayout* l = list; l->nb_channels != 0; ++l)
        if (av_channel_layout_compare(l, &wanted) == 0) return av_channel_layout_copy(out, l);
    for (const AVChannelLayout* l = list; l->nb_channels != 0; ++l)
        if (l->nb_channels == wanted.nb_channels) return av_channel_layout_copy(out, l);
    for (const AVChannelLayout* l = list; l->nb_channels != 0; ++l)
        if (l->nb_channels == 2) return av_channel_layout_copy(out, l);
    return av_channel_layout_copy(out, list);
}

}  // namespace

AudioReencoder::~AudioReencoder()
{
    swr_free(&resampler_);
    if (fifo_ != nullptr) av_audio_fifo_free(fifo_);
}

bool AudioReencoder::open(const AVStream* in, const AVCodec* codec, AVFormatContext* muxer,
                          std::string& error)
{
    muxer_ = muxer;
    decoded_.reset(av_frame_alloc());
    resampled_.reset(av_frame_alloc());
    chunk_.reset(av_frame_alloc());
    packet_.reset(av_packet_alloc());
    if (!decoded_ || !resampled_ || !chunk_ || !packet_) {
        error = "out of memory";
        return false;
    }
    if (!openDecoder(in, error) || !openEncoder(codec, muxer, error)) return false;
    // FFmpeg 5.1 declares the layouts non-const.
    AVCodecContext* dec = decoder_.get();
    AVCodecContext* enc = encoder_.get();
    if (swr_alloc_set_opts2(&resampler_, &enc->ch_layout, enc->sample_fmt, enc->sample_rate,
                            &dec->ch_layout, dec->sample_fmt, dec->sample_rate, 0, nullptr) < 0 ||
        swr_init(resampler_) < 0) {
        error = "cannot resample the audio for the " + std::string(enc->codec->name) + " encoder";
        return false;
    }
    frameSize_ = enc->frame_size > 0 ? enc->frame_size : 1024;
    fifo_ = av_audio_fifo_alloc(enc->sample_fmt, enc->ch_layout.nb_channels, frameSize_);
    out_ = avformat_new_stream(muxer, nullptr);
    if (fifo_ == nullptr || out_ == nullptr ||
        avcodec_parameters_from_context(out_->codecpar, enc) < 0) {
        error = "out of memory";
        return false;
    }
    out_->time_base = enc->time_base;
    out_->disposition = in->disposition;
    av_dict_copy(&out_->metadata, in->metadata, 0);
    return true;
}

bool AudioReencoder::openDecoder(const AVStream* in, std::string& error)
{
    const AVCodec* codec = avcodec_find_decoder(in->codecpar->codec_id);
    if (codec == nullptr) {
        error = std::string("no decoder for ") + avcodec_get_name(in->codecpar->codec_id);
        return false;
    }
    decoder_.reset(avcodec_alloc_context3(codec));
    if (!decoder_ || avcodec_parameters_to_context(decoder_.get(), in->codecpar) < 0) {
        error = "out of memory";
        return false;
    }
    decoder_->pkt_timebase = in->time_base;
    const int status = avcodec_open2(decoder_.get(), codec, nullptr);
    if (status < 0) {
        error = "cannot open the " + std::string(codec->name) + " decoder: " + avFailure(status);
        return false;
    }
    // Streams that name only a channel count get the usual layout for it.
    if (decoder_->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
        const int channels = decoder_->ch_layout.nb_channels;
        av_channel_layout_uninit(&decoder_->ch_layout);
        av_channel_layout_default(&decoder_->ch_layout, channels);
    }
    return true;
}

bool AudioReencoder::openEncoder(const AVCodec* codec, AVFormatContext* muxer, std::string& error)
{
    const AVCodecContext* dec = decoder_.get();
    encoder_.reset(avcodec_alloc_context3(codec));
    AVCodecContext* enc = encoder_.get();
    if (enc == nullptr || channelLayoutFor(codec, dec->ch_layout, &enc->ch_layout) < 0) {
        error = "out of memory";
        return false;
    }
    enc->sample_fmt = sampleFormatFor(codec, dec->sample_fmt);
    enc->sample_rate = sampleRateFor(codec, dec->sample_rate);
    enc->time_base = AVRational{1, enc->sample_rate};
    if (muxer->oformat->flags & AVFMT_GLOBALHEADER) enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    const int status = avcodec_open2(enc, codec, nullptr);
    if (status < 0) {
        error = "cannot open the " + std::string(codec->name) + " encoder: " + avFailure(status);
        return false;
    }
    return true;
}

bool AudioReencoder::write(const AVPacket* packet, std::string& error)
{
    const int status = avcodec_send_packet(decoder_.get(), packet);
    // A damaged packet is left out, as a player would; the decoder carries on.
    if (status < 0 && status != AVERROR_INVALIDDATA && status != AVERROR_EOF) {
        error = "audio decoding failed: " + avFailure(status);
        return false;
    }
    return resampleDecoded(error) && encodeWholeFrames(false, error);
}

bool AudioReencoder::resampleDecoded(std::string& error)
{
    for (;;) {
        const int status = avcodec_receive_frame(decoder_.get(), decoded_.get());
        if (status == AVERROR(EAGAIN) || status == AVERROR_EOF) return true;
        if (status == AVERROR_INVALIDDATA) continue;
        if (status < 0) {
            error = "audio decoding failed: " + avFailure(status);
            return false;
        }
        if (nextPts_ == AV_NOPTS_VALUE) {
            const int64_t start = decoded_->best_effort_timestamp;
            nextPts_ = start == AV_NOPTS_VALUE
                           ? 0
                           : av_rescale_q(start, decoder_->pkt_timebase, encoder_->time_base);
        }
        const bool added = addSamples(const_cast<const uint8_t**>(decoded_->extended_data),
                                      decoded_->nb_samples, error);
        av_frame_unref(decoded_.get());
        if (!added) return false;
    }
}

// Resamples `count` input samples (none: what the resampler still holds) into the queue.
bool AudioReencoder::addSamples(const uint8_t** samples, int count, std::string& error)
{
    const AVCodecContext* enc = encoder_.get();
    const int room = swr_get_out_samples(resampler_, count);
    if (room <= 0) return true;
    AVFrame* out = resampled_.get();
    out->format = enc->sample_fmt;
    out->sample_rate = enc->sample_rate;
    out->nb_samples = room;
    if (av_channel_layout_copy(&out->ch_layout, &enc->ch_layout) < 0 ||
        av_frame_get_buffer(out, 0) < 0) {
        av_frame_unref(out);
        error = "out of memory";
        return false;
    }
    const int made = swr_convert(resampler_, out->extended_data, room, samples, count);
    const bool queued =
        made >= 0 &&
        av_audio_fifo_write(fifo_, reinterpret_cast<void**>(out->extended_data), made) == made;
    av_frame_unref(out);
    if (!queued) error = made < 0 ? "cannot resample the audio" : "out of memory";
    return queued;
}

// Encodes the queue in frames of the encoder's size; the `last` partial frame is
// padded with silence for encoders that take only whole frames.
bool AudioReencoder::encodeWholeFrames(bool last, std::string& error)
{
    const AVCodecContext* enc = encoder_.get();
    const bool takesShort = (enc->codec->capabilities & (AV_CODEC_CAP_SMALL_LAST_FRAME |
                                                         AV_CODEC_CAP_VARIABLE_FRAME_SIZE)) != 0;
    while (av_audio_fifo_size(fifo_) >= frameSize_ || (last && av_audio_fifo_size(fifo_) > 0)) {
        const int count = std::min(av_audio_fifo_size(fifo_), frameSize_);
        AVFrame* frame = chunk_.get();
        frame->format = enc->sample_fmt;
        frame->sample_rate = enc->sample_rate;
        frame->nb_samples = takesShort ? count : frameSize_;
        if (av_channel_layout_copy(&frame->ch_layout, &enc->ch_layout) < 0 ||
            av_frame_get_buffer(frame, 0) < 0) {
            av_frame_unref(frame);
            error = "out of memory";
            return false;
        }
        av_audio_fifo_read(fifo_, reinterpret_cast<void**>(frame->extended_data), count);
        if (frame->nb_samples > count)
            av_samples_set_silence(frame->extended_data, count, frame->nb_samples - count,
                                   enc->ch_layout.nb_channels, enc->sample_fmt);
        frame->pts = nextPts_;
        nextPts_ += count;
        const bool sent = sendToEncoder(frame, error);
        av_frame_unref(frame);
        if (!sent) return false;
    }
    return true;
}

// Sends a frame (null: the end) and writes every packet the encoder has ready.
bool AudioReencoder::sendToEncoder(const AVFrame* frame, std::string& error)
{
    int status = avcodec_send_frame(encoder_.get(), frame);
    if (status < 0 && status != AVERROR_EOF) {
        error = "audio encoding failed: " + avFailure(status);
        return false;
    }
    for (;;) {
        status = avcodec_receive_packet(encoder_.get(), packet_.get());
        if (status == AVERROR(EAGAIN) || status == AVERROR_EOF) return true;
        if (status < 0) {
            error = "audio encoding failed: " + avFailure(status);
            return false;
        }
        packet_->stream_index = out_->index;
        av_packet_rescale_ts(packet_.get(), encoder_->time_base, out_->time_base);
        status = av_interleaved_write_frame(muxer_, packet_.get());
        if (status < 0) {
            error = "cannot write the audio: " + avFailure(status);
            return false;
        }
    }
}

bool AudioReencoder::finish(std::string& error)
{
    const int status = avcodec_send_packet(decoder_.get(), nullptr);
    if (status < 0 && status != AVERROR_EOF) {
        error = "audio decoding failed: " + avFailure(status);
        return false;
    }
    return resampleDecoded(error) && addSamples(nullptr, 0, error) &&
           encodeWholeFrames(true, error) && sendToEncoder(nullptr, error);
}

std::string AudioReencoder::channelChange() const
{
    const int from = decoder_->ch_layout.nb_channels, to = encoder_->ch_layout.nb_channels;
    if (from == to) return {};
    return ", its " + std::to_string(from) + " channels mixed down to " + std::to_string(to);
}
