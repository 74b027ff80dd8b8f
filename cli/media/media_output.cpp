// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "cli/media/media_output.h"

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavutil/display.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

#include "cli/media/audio_reencoder.h"
#include "cli/media/av_messages.h"
#include "cli/media/filter_frames.h"
#include "cli/media/media_input.h"
#include "cli/media/output_plan.h"
#include "cli/media/stream_fit.h"

namespace
{

// MPEG-1/2 and DV code one of a few frame rates, MPEG-4 part 2 a time base of at most
// 16 bits: their encoders refuse a container's time base such as 1/90000. Theora takes
// one, but numbers its frames by it, and Ogg then loses most of them.
bool countsFrames(AVCodecID codec)
{
    return codec == AV_CODEC_ID_MPEG1VIDEO || codec == AV_CODEC_ID_MPEG2VIDEO ||
           codec == AV_CODEC_ID_MPEG4 || codec == AV_CODEC_ID_DVVIDEO ||
           codec == AV_CODEC_ID_THEORA;
}

// Codecs with interlaced coding that FFmpeg's encoders switch on with the interlaced
// flags. Most others (MPEG-1, H.263, MJPEG) refuse the flags; lossless ones keep the
// fields exactly without them.
bool codesFields(AVCodecID codec)
{
    return codec == AV_CODEC_ID_MPEG2VIDEO || codec == AV_CODEC_ID_MPEG4 ||
           codec == AV_CODEC_ID_H264 || codec == AV_CODEC_ID_PRORES || codec == AV_CODEC_ID_DNXHD;
}

// The first frame's field order as its bitstream says; for frames that do not say
// (lossless and raw codecs), the one the container states. FFmpeg writes bottom-first
// material as BT into containers, so BT counts as bottom first and TB as top first.
AVFieldOrder fieldOrderOf(AVFieldOrder stated, const AVFrame& first)
{
    if (first.interlaced_frame) return first.top_field_first ? AV_FIELD_TT : AV_FIELD_BB;
    return stated;
}

// Turned on its side a picture has no fields; upside down its bottom field comes first.
AVFieldOrder turnedFieldOrder(AVFieldOrder order, const DisplayTurn& turn)
{
    if (turn.transpose) return AV_FIELD_PROGRESSIVE;
    if (!turn.mirrorY) return order;
    switch (order) {
        case AV_FIELD_TT:
            return AV_FIELD_BB;
        case AV_FIELD_BB:
            return AV_FIELD_TT;
        case AV_FIELD_TB:
            return AV_FIELD_BT;
        case AV_FIELD_BT:
            return AV_FIELD_TB;
        default:
            return order;
    }
}

}  // namespace

MediaOutput::~MediaOutput()
{
    if (muxer_ != nullptr) {
        if (ioOpen_) avio_closep(&muxer_->pb);
        avformat_free_context(muxer_);
    }
}

const char* MediaOutput::encoderName() const
{
    return encoder_ ? encoder_->codec->name : "none";
}

bool MediaOutput::open(const OutputPlan& plan, const OutputSettings& s, const MediaInput& input,
                       const AVFrame& first, std::string& error)
{
    const auto inputFormat = static_cast<AVPixelFormat>(first.format);
    const int width = s.turn.width(input.decoder()->width, input.decoder()->height);
    const int height = s.turn.height(input.decoder()->width, input.decoder()->height);
    finalPath_ = s.finalPath;
    clearAvMessage();
    const int status =
        avformat_alloc_output_context2(&muxer_, plan.muxer, nullptr, s.writePath.c_str());
    if (status < 0) {
        error = "cannot set up the output: " + avError(status);
        return false;
    }
    pixelFormat_ =
        choosePixelFormat(plan.encoder, inputFormat, s.lossless, s.deep, width, height, error);
    if (pixelFormat_ == AV_PIX_FMT_NONE) return false;
    const ColourTags tags =
        outputColourTags(tagsOf(first), inputFormat, pixelFormat_, plan.encoder->id, height);
    if (!configureEncoder(plan.encoder, input, first, tags, s.turn, error) ||
        !openEncoder(plan, error) || !addVideoStream(input, s.turn.turns(), error) ||
        !addOtherStreams(input, s.copyOtherStreams, error))
        return false;
    av_dict_copy(&muxer_->metadata, input.format()->metadata, 0);
    // Copied streams go in as they are, even where the container's support for their
    // codec is still marked experimental (FLAC or Opus in MP4).
    muxer_->strict_std_compliance = FF_COMPLIANCE_EXPERIMENTAL;
    if (!writeHeader(s, error)) return false;

    keepsAlpha_ = hasAlpha(inputFormat) && hasAlpha(pixelFormat_);
    deep_ = s.deep;
    // swscale dithers 16-bit RGB into 8-bit YUV with an ordered pattern of its own.
    dithers_ = deep_ && componentDepth(pixelFormat_) <= 8;
    const AVPixelFormat layout = deep_ ? deepPlanarFormat(hasAlpha(pixelFormat_))
                                       : ToFilterConverter::layoutFor(keepsAlpha_, false);
    if (deep_ && !allocatePlanar(layout, width, height)) {
        error = "out of memory";
        return false;
    }
    if (pixelFormat_ != layout) {
        converter_ = makeFromFilterConverter(width, height, pixelFormat_, tags, layout);
        if (!converter_) {
            error = std::string("no conversion from RGB to ") + av_get_pix_fmt_name(pixelFormat_);
            return false;
        }
    }
    converted_.reset(av_frame_alloc());
    packet_.reset(av_packet_alloc());
    if (!converted_ || !packet_) {
        error = "out of memory";
        return false;
    }
    return true;
}

bool MediaOutput::allocatePlanar(AVPixelFormat format, int width, int height)
{
    planar_.reset(av_frame_alloc());
    if (!planar_) return false;
    planar_->format = format;
    planar_->width = width;
    planar_->height = height;
    return av_frame_get_buffer(planar_.get(), 0) >= 0;
}

// Size, time base, aspect ratio, field order and colour tags follow the input.
bool MediaOutput::configureEncoder(const AVCodec* codec, const MediaInput& input,
                                   const AVFrame& first, const ColourTags& tags,
                                   const DisplayTurn& turn, std::string& error)
{
    const AVStream* in = input.videoStream();
    encoder_.reset(avcodec_alloc_context3(codec));
    AVCodecContext* enc = encoder_.get();
    if (enc == nullptr) {
        error = std::string("cannot set up the ") + codec->name + " encoder: out of memory";
        return false;
    }
    enc->width = turn.width(input.decoder()->width, input.decoder()->height);
    enc->height = turn.height(input.decoder()->width, input.decoder()->height);
    enc->pix_fmt = pixelFormat_;
    // Timestamps stay in the input's time base, so variable frame rates survive, except
    // where the bitstream holds a frame rate and counts time in frames.
    inputTimeBase_ = in->time_base;
    enc->time_base = countsFrames(codec->id) ? av_inv_q(input.frameRate()) : in->time_base;
    enc->framerate = input.frameRate();
    frameDuration_ =
        std::max<int64_t>(1, av_rescale_q(1, av_inv_q(input.frameRate()), enc->time_base));
    enc->sample_aspect_ratio =
        av_guess_sample_aspect_ratio(input.format(), const_cast<AVStream*>(in), nullptr);
    if (turn.transpose && enc->sample_aspect_ratio.num > 0)
        enc->sample_aspect_ratio = av_inv_q(enc->sample_aspect_ratio);
    enc->thread_count = 0;
    // Interlaced input stays interlaced, tagged with its field order, and coded field-wise
    // where the codec can: coded as progressive pictures, the fields' motion would be
    // blurred together. A field of 4:2:0 needs an even height.
    enc->field_order = turnedFieldOrder(fieldOrderOf(in->codecpar->field_order, first), turn);
    interlaced_ = enc->field_order != AV_FIELD_PROGRESSIVE && enc->field_order != AV_FIELD_UNKNOWN;
    topFieldFirst_ = enc->field_order == AV_FIELD_TT || enc->field_order == AV_FIELD_TB;
    if (interlaced_ && codesFields(codec->id) && enc->height % 4 == 0)
        enc->flags |= AV_CODEC_FLAG_INTERLACED_DCT | AV_CODEC_FLAG_INTERLACED_ME;
    enc->colorspace = tags.space;
    enc->color_range = tags.range;
    enc->color_primaries = tags.primaries;
    enc->color_trc = tags.transfer;
    enc->chroma_sample_location = tags.chromaLocation;
    if (muxer_->oformat->flags & AVFMT_GLOBALHEADER) enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    return true;
}

bool MediaOutput::openEncoder(const OutputPlan& plan, std::string& error)
{
    AVCodecContext* enc = encoder_.get();
    AVDictionary* options = nullptr;
    if (plan.crf >= 0) av_dict_set_int(&options, "crf", plan.crf, 0);
    if (plan.encoder->id == AV_CODEC_ID_FFV1) {
        // Level 3 (slices, checksums) damages frames under 3 pixels wide or high in this
        // FFmpeg; level 1 is lossless at every size.
        const bool tiny = enc->width < 3 || enc->height < 3;
        av_dict_set_int(&options, "level", tiny ? 1 : 3, 0);
        if (!tiny) av_dict_set_int(&options, "slicecrc", 1, 0);
        enc->gop_size = 1;
    }
    // DNxHD's own profile takes 8 bits only; 10-bit 4:2:2 is DNxHR HQX, which the encoder
    // does not pick by itself.
    if (plan.encoder->id == AV_CODEC_ID_DNXHD && pixelFormat_ == AV_PIX_FMT_YUV422P10LE)
        av_dict_set(&options, "profile", "dnxhr_hqx", 0);
    const int status = avcodec_open2(enc, plan.encoder, &options);
    const bool crfUnused = av_dict_get(options, "crf", nullptr, 0) != nullptr;
    av_dict_free(&options);
    if (status < 0) {
        error = std::string("cannot open the ") + plan.encoder->name + " encoder for " +
                std::to_string(enc->width) + "x" + std::to_string(enc->height) + " " +
                av_get_pix_fmt_name(pixelFormat_) + ": " + avFailure(status);
        return false;
    }
    if (crfUnused) {
        error = std::string("--crf: the ") + plan.encoder->name + " encoder has no CRF setting";
        return false;
    }
    return true;
}

// The input's disposition, tags and display matrix go with the picture; the matrix not
// where the pictures were turned as it asks.
bool MediaOutput::addVideoStream(const MediaInput& input, bool turned, std::string& error)
{
    const AVStream* in = input.videoStream();
    const AVCodecContext* enc = encoder_.get();
    videoOut_ = avformat_new_stream(muxer_, nullptr);
    if (videoOut_ == nullptr || avcodec_parameters_from_context(videoOut_->codecpar, enc) < 0) {
        error = "cannot add the video stream: out of memory";
        return false;
    }
    videoOut_->time_base = enc->time_base;
    videoOut_->avg_frame_rate = input.frameRate();
    videoOut_->sample_aspect_ratio = enc->sample_aspect_ratio;
    videoOut_->disposition = in->disposition;
    av_dict_copy(&videoOut_->metadata, in->metadata, 0);
    size_t matrixSize = 0;
    if (turned) return true;
    if (const uint8_t* matrix =
            av_stream_get_side_data(in, AV_PKT_DATA_DISPLAYMATRIX, &matrixSize)) {
        if (uint8_t* copy =
                av_stream_new_side_data(videoOut_, AV_PKT_DATA_DISPLAYMATRIX, matrixSize))
            std::memcpy(copy, matrix, matrixSize);
    }
    return true;
}

namespace
{

const char* kindOf(const AVStream& stream)
{
    if (stream.disposition & AV_DISPOSITION_ATTACHED_PIC) return "cover picture";
    const char* type = av_get_media_type_string(stream.codecpar->codec_type);
    return type != nullptr ? type : "unknown";
}

}  // namespace

// Audio and subtitles go in as they are where the container can hold them; audio it
// cannot hold is encoded with its own audio codec, the rest is left out, each with a
// note. Only the filtered video goes through, so other video streams are left out too.
bool MediaOutput::addOtherStreams(const MediaInput& input, bool copy, std::string& error)
{
    AVFormatContext* ic = input.format();
    streamMap_.assign(ic->nb_streams, -1);
    inputTimeBases_.assign(ic->nb_streams, AVRational{1, 1});
    lastCopiedDts_.assign(ic->nb_streams, AV_NOPTS_VALUE);
    reencoders_.clear();
    reencoders_.resize(ic->nb_streams);
    for (unsigned i = 0; copy && i < ic->nb_streams; ++i) {
        const AVStream* other = ic->streams[i];
        const AVMediaType type = other->codecpar->codec_type;
        const char* codec = avcodec_get_name(other->codecpar->codec_id);
        if (other == input.videoStream()) continue;
        if ((type != AVMEDIA_TYPE_AUDIO && type != AVMEDIA_TYPE_SUBTITLE) ||
            (other->disposition & AV_DISPOSITION_ATTACHED_PIC)) {
            std::fprintf(stderr,
                         "telvo: note: stream %u (%s, %s) left out: only the filtered "
                         "video, audio and subtitles are written\n",
                         i, kindOf(*other), codec);
            continue;
        }
        if (holdsAsItIs(muxer_->oformat, *videoOut_->codecpar, *other)) {
            if (!addCopiedStream(*other, error)) return false;
        } else if (type == AVMEDIA_TYPE_AUDIO) {
            if (!addEncodedAudio(*other, error)) return false;
        } else {
            std::fprintf(stderr, "telvo: note: stream %u (%s) cannot go into %s; left out\n", i,
                         codec, muxer_->oformat->name);
        }
    }
    return true;
}

bool MediaOutput::addCopiedStream(const AVStream& in, std::string& error)
{
    AVStream* out = avformat_new_stream(muxer_, nullptr);
    if (out == nullptr || avcodec_parameters_copy(out->codecpar, in.codecpar) < 0) {
        error = "cannot add stream " + std::to_string(in.index) + " to the output: out of memory";
        return false;
    }
    out->codecpar->codec_tag = 0;
    out->time_base = in.time_base;
    out->disposition = in.disposition;
    av_dict_copy(&out->metadata, in.metadata, 0);
    streamMap_[in.index] = out->index;
    inputTimeBases_[in.index] = in.time_base;
    return true;
}

// Audio the container cannot hold as it is, in the codec the container is made for.
bool MediaOutput::addEncodedAudio(const AVStream& in, std::string& error)
{
    const char* codec = avcodec_get_name(in.codecpar->codec_id);
    const char* container = muxer_->oformat->name;
    const AVCodec* encoder = defaultAudioEncoder(muxer_->oformat);
    const unsigned streamsBefore = muxer_->nb_streams;
    std::string why;
    auto reencoder = std::make_unique<AudioReencoder>();
    if (encoder != nullptr && reencoder->open(&in, encoder, muxer_, why)) {
        std::fprintf(stderr,
                     "telvo: note: stream %d (%s) cannot go into %s as it is; encoded as %s%s\n",
                     in.index, codec, container, encoder->name, reencoder->channelChange().c_str());
        streamMap_[in.index] = static_cast<int>(muxer_->nb_streams) - 1;
        reencoders_[in.index] = std::move(reencoder);
        return true;
    }
    // A stream added before the failure cannot be taken back and would stay empty.
    if (muxer_->nb_streams != streamsBefore) {
        error =
            "cannot encode stream " + std::to_string(in.index) + " for " + container + ": " + why;
        return false;
    }
    std::fprintf(stderr, "telvo: note: stream %d (%s) cannot go into %s; left out%s%s\n", in.index,
                 codec, container, why.empty() ? "" : ": ", why.c_str());
    return true;
}

bool MediaOutput::writeHeader(const OutputSettings& s, std::string& error)
{
    if (!(muxer_->oformat->flags & AVFMT_NOFILE)) {
        const int status = avio_open(&muxer_->pb, s.writePath.c_str(), AVIO_FLAG_WRITE);
        if (status < 0) {
            error = "cannot write '" + s.finalPath + "': " + avFailure(status);
            return false;
        }
        ioOpen_ = true;
    }
    AVDictionary* muxOptions = nullptr;
    if (std::strcmp(muxer_->oformat->name, "image2") == 0 &&
        !av_filename_number_test(s.writePath.c_str()))
        av_dict_set(&muxOptions, "update", "1", 0);
    const int status = avformat_write_header(muxer_, &muxOptions);
    av_dict_free(&muxOptions);
    if (status < 0) {
        // Streams the container refused (codec and container mismatch, bad stream copy).
        error = "cannot start writing '" + s.finalPath + "': " + avFailure(status);
        return false;
    }
    headerWritten_ = true;
    return true;
}

bool MediaOutput::drain(std::string& error)
{
    for (;;) {
        const int status = avcodec_receive_packet(encoder_.get(), packet_.get());
        if (status == AVERROR(EAGAIN) || status == AVERROR_EOF) return true;
        if (status < 0) {
            error = "encoding failed: " + avFailure(status);
            return false;
        }
        packet_->stream_index = videoOut_->index;
        av_packet_rescale_ts(packet_.get(), encoder_->time_base, videoOut_->time_base);
        const int written = av_interleaved_write_frame(muxer_, packet_.get());
        if (written < 0) {
            error = "cannot write '" + finalPath_ + "': " + avFailure(written);
            return false;
        }
    }
}

bool MediaOutput::writeFrame(AVFrame* filtered, int64_t pts, std::string& error)
{
    if (deep_) {
        // The encoder may still hold the previous picture.
        if (av_frame_make_writable(planar_.get()) < 0) {
            error = "out of memory";
            return false;
        }
        deinterleaveDeep(*filtered, *planar_, keepsAlpha_);
        filtered = planar_.get();
    }
    // Encoders need strictly increasing timestamps. A frame without one follows the
    // previous frame by one frame duration; a repeated one moves on by one tick.
    if (pts != AV_NOPTS_VALUE) pts = av_rescale_q(pts, inputTimeBase_, encoder_->time_base);
    if (pts == AV_NOPTS_VALUE)
        pts = lastPts_ == AV_NOPTS_VALUE ? 0 : lastPts_ + frameDuration_;
    else if (lastPts_ != AV_NOPTS_VALUE && pts <= lastPts_)
        pts = lastPts_ + 1;
    lastPts_ = pts;

    AVFrame* frame = converted_.get();
    if (converter_) {
        if (frame->buf[0] == nullptr) {
            frame->format = pixelFormat_;
            frame->width = filtered->width;
            frame->height = filtered->height;
            if (av_frame_get_buffer(frame, 0) < 0) {
                error = "out of memory";
                return false;
            }
        }
        // The encoder may still hold the previous picture.
        if (av_frame_make_writable(frame) < 0) {
            error = "out of memory";
            return false;
        }
        sws_scale(converter_.get(), filtered->data, filtered->linesize, 0, filtered->height,
                  frame->data, frame->linesize);
    } else {
        av_frame_unref(frame);
        av_frame_ref(frame, filtered);
    }
    frame->pts = pts;
    frame->pict_type = AV_PICTURE_TYPE_NONE;
    frame->interlaced_frame = interlaced_;
    frame->top_field_first = topFieldFirst_;
    frame->sample_aspect_ratio = encoder_->sample_aspect_ratio;
    frame->colorspace = encoder_->colorspace;
    frame->color_range = encoder_->color_range;
    frame->color_primaries = encoder_->color_primaries;
    frame->color_trc = encoder_->color_trc;
    const int status = avcodec_send_frame(encoder_.get(), frame);
    if (!converter_) av_frame_unref(frame);
    if (status < 0) {
        error = "encoding failed: " + avFailure(status);
        return false;
    }
    return drain(error);
}

bool MediaOutput::copyPacket(AVPacket* packet, std::string& error)
{
    const int index = packet->stream_index;
    if (index < 0 || index >= static_cast<int>(streamMap_.size()) || streamMap_[index] < 0)
        return true;
    if (reencoders_[index]) return reencoders_[index]->write(packet, error);
    const AVStream* out = muxer_->streams[streamMap_[index]];
    packet->stream_index = out->index;
    av_packet_rescale_ts(packet, inputTimeBases_[index], out->time_base);
    packet->pos = -1;
    // Muxers take decoding times that only grow (most of them strictly, for audio and
    // video). A packet that goes back overlaps what was written already and is dropped;
    // one that ties, often because the container's clock is coarser than the input's,
    // moves on by one tick.
    int64_t& last = lastCopiedDts_[index];
    if (packet->dts != AV_NOPTS_VALUE && last != AV_NOPTS_VALUE) {
        const AVMediaType type = out->codecpar->codec_type;
        const bool strict = !(muxer_->oformat->flags & AVFMT_TS_NONSTRICT) &&
                            (type == AVMEDIA_TYPE_AUDIO || type == AVMEDIA_TYPE_VIDEO);
        if (packet->dts < last) {
            ++droppedPackets_;
            return true;
        }
        if (packet->dts == last && strict) ++packet->dts;
    }
    if (packet->pts != AV_NOPTS_VALUE && packet->dts != AV_NOPTS_VALUE && packet->pts < packet->dts)
        packet->pts = packet->dts;
    if (packet->dts != AV_NOPTS_VALUE) last = packet->dts;
    const int status = av_interleaved_write_frame(muxer_, packet);
    if (status < 0) {
        error = "cannot write '" + finalPath_ + "': " + avFailure(status);
        return false;
    }
    return true;
}

bool MediaOutput::finish(std::string& error)
{
    const int status = avcodec_send_frame(encoder_.get(), nullptr);
    if (status < 0 && status != AVERROR_EOF) {
        error = "encoding failed: " + avFailure(status);
        return false;
    }
    if (!drain(error)) return false;
    for (const auto& reencoder : reencoders_)
        if (reencoder && !reencoder->finish(error)) return false;
    const int trailer = av_write_trailer(muxer_);
    if (trailer < 0) {
        error = "cannot finish '" + finalPath_ + "': " + avFailure(trailer);
        return false;
    }
    if (ioOpen_) {
        const int closed = avio_closep(&muxer_->pb);
        ioOpen_ = false;
        if (closed < 0) {
            error = "cannot finish writing: " + avFailure(closed);
            return false;
        }
    }
    return true;
}
