// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "cli/media/stream_fit.h"

#include <cstring>

#include "cli/media/av_messages.h"

namespace
{

bool addStream(AVFormatContext* muxer, const AVCodecParameters& parameters, AVRational timeBase)
{
    AVStream* stream = avformat_new_stream(muxer, nullptr);
    if (stream == nullptr || avcodec_parameters_copy(stream->codecpar, &parameters) < 0)
        return false;
    stream->codecpar->codec_tag = 0;
    stream->time_base = timeBase;
    return true;
}

// Writes `format`'s header with the two streams to a scratch buffer; true when it takes
// them. Some muxers (MPEG program streams) check their streams only there.
bool muxerAccepts(const AVOutputFormat* format, const AVCodecParameters& video,
                  const AVStream& stream)
{
    AVFormatContext* muxer = nullptr;
    if (avformat_alloc_output_context2(&muxer, format, nullptr, nullptr) < 0) return false;
    // As the real output: copied streams go in even where support is experimental.
    muxer->strict_std_compliance = FF_COMPLIANCE_EXPERIMENTAL;
    const bool file = !(format->flags & AVFMT_NOFILE);
    bool accepted = (!file || avio_open_dyn_buf(&muxer->pb) >= 0) &&
                    addStream(muxer, video, AVRational{1, 90000}) &&
                    addStream(muxer, *stream.codecpar, stream.time_base) &&
                    avformat_write_header(muxer, nullptr) >= 0;
    if (file && muxer->pb != nullptr) {
        uint8_t* bytes = nullptr;
        avio_close_dyn_buf(muxer->pb, &bytes);
        av_free(bytes);
        muxer->pb = nullptr;
    }
    avformat_free_context(muxer);
    // The refusal was the answer, not a failure to report later.
    clearAvMessage();
    return accepted;
}

bool isProgramStream(const AVOutputFormat* format)
{
    for (const char* name : {"mpeg", "vob", "dvd", "svcd", "vcd"})
        if (std::strcmp(format->name, name) == 0) return true;
    return false;
}

}  // namespace

bool holdsAsItIs(const AVOutputFormat* format, const AVCodecParameters& video,
                 const AVStream& stream)
{
    // MPEG program streams (mpeg, vob, dvd, svcd, vcd) take any subtitle stream but
    // label it as DVD subpictures; text in there would be read as pictures.
    if (stream.codecpar->codec_type == AVMEDIA_TYPE_SUBTITLE &&
        stream.codecpar->codec_id != AV_CODEC_ID_DVD_SUBTITLE && isProgramStream(format))
        return false;
    const int listed =
        avformat_query_codec(format, stream.codecpar->codec_id, FF_COMPLIANCE_NORMAL);
    if (listed >= 0) return listed == 1;
    return muxerAccepts(format, video, stream);
}

const AVCodec* defaultAudioEncoder(const AVOutputFormat* format)
{
    if (format->audio_codec == AV_CODEC_ID_NONE) return nullptr;
    const AVCodec* codec = avcodec_find_encoder(format->audio_codec);
    if (codec == nullptr || avformat_query_codec(format, codec->id, FF_COMPLIANCE_NORMAL) == 0)
        return nullptr;
    return codec;
}
