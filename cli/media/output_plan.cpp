// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "cli/media/output_plan.h"

#include <cstring>
#include <vector>

extern "C" {
#include <libavutil/pixdesc.h>
}

#include "cli/command/options.h"
#include "cli/media/colour.h"
#include "cli/media/filter_frames.h"

namespace
{

bool named(const AVOutputFormat* f, const char* name)
{
    // Muxer names may be lists such as "matroska,webm" or "mov,mp4,m4a,...".
    const std::string list = std::string(",") + f->name + ",";
    return list.find(std::string(",") + name + ",") != std::string::npos;
}

bool isImageMuxer(const AVOutputFormat* f)
{
    return named(f, "image2") || named(f, "apng");
}

bool subsamplingFits(AVPixelFormat format, int width, int height)
{
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(format);
    if (d == nullptr) return false;
    const bool oddW = (width & 1) != 0, oddH = (height & 1) != 0;
    return !((d->log2_chroma_w > 0 && oddW) || (d->log2_chroma_h > 0 && oddH));
}

// The filter's RGB can be converted into it: libswscale writes the format (not a
// palette one such as the pal8 of many PNGs) and the size fits its subsampling.
bool convertible(AVPixelFormat format, int width, int height)
{
    return sws_isSupportedOutput(format) > 0 && subsamplingFits(format, width, height);
}

}  // namespace

bool planOutput(const CliOptions& o, OutputPlan& plan, std::string& error)
{
    plan = OutputPlan{};
    if (!o.format.empty()) {
        plan.muxer = av_guess_format(o.format.c_str(), nullptr, nullptr);
        if (plan.muxer == nullptr || !named(plan.muxer, o.format.c_str())) {
            error = "unknown output format '" + o.format + "' (see ffmpeg -muxers)";
            return false;
        }
    } else {
        plan.muxer = av_guess_format(nullptr, o.output.c_str(), nullptr);
        if (plan.muxer == nullptr) {
            error = "cannot tell the output format from '" + o.output +
                    "'; give a known extension or -f FORMAT";
            return false;
        }
    }
    if (named(plan.muxer, "null")) {
        plan.discard = true;
        return true;
    }
    if (o.output == "-") {
        error = "output '-' is only for -f null";
        return false;
    }
    if (plan.muxer->video_codec == AV_CODEC_ID_NONE && o.codec.empty() && !o.lossless) {
        error = std::string("format '") + plan.muxer->name + "' holds no video";
        return false;
    }
    if (isImageMuxer(plan.muxer) && named(plan.muxer, "image2")) {
        plan.imageSequence = av_filename_number_test(o.output.c_str()) != 0;
        plan.singleImage = !plan.imageSequence;
    }

    if (o.lossless) {
        plan.encoder = avcodec_find_encoder(AV_CODEC_ID_FFV1);
    } else if (!o.codec.empty()) {
        plan.encoder = avcodec_find_encoder_by_name(o.codec.c_str());
        if (plan.encoder == nullptr || plan.encoder->type != AVMEDIA_TYPE_VIDEO) {
            error = "unknown video codec '" + o.codec + "' (see ffmpeg -encoders)";
            return false;
        }
    } else {
        const AVCodecID id =
            av_guess_codec(plan.muxer, nullptr, o.output.c_str(), nullptr, AVMEDIA_TYPE_VIDEO);
        if (id == AV_CODEC_ID_H264) plan.encoder = avcodec_find_encoder_by_name("libx264");
        if (plan.encoder == nullptr) plan.encoder = avcodec_find_encoder(id);
        if (plan.encoder == nullptr) {
            error = std::string("no encoder for ") + avcodec_get_name(id) + ", the default of '" +
                    plan.muxer->name + "'; choose one with --codec";
            return false;
        }
    }
    if (plan.encoder == nullptr) {
        error = "this FFmpeg has no FFV1 encoder for --lossless";
        return false;
    }
    if (avformat_query_codec(plan.muxer, plan.encoder->id, FF_COMPLIANCE_NORMAL) == 0) {
        error = std::string("format '") + plan.muxer->name + "' cannot hold " +
                avcodec_get_name(plan.encoder->id) +
                (o.lossless ? "; --lossless needs a container such as .mkv" : "");
        return false;
    }
    if (o.crf >= 0)
        plan.crf = o.crf;
    else if (std::strcmp(plan.encoder->name, "libx264") == 0)
        plan.crf = 18;  // visually transparent for most material
    return true;
}

AVPixelFormat choosePixelFormat(const AVCodec* encoder, AVPixelFormat input, bool lossless,
                                bool deep, int width, int height, std::string& error)
{
    const AVPixelFormat* list = encoder->pix_fmts;
    std::vector<AVPixelFormat> usable;
    for (const AVPixelFormat* p = list; p && *p != AV_PIX_FMT_NONE; ++p)
        if (convertible(*p, width, height)) usable.push_back(*p);
    if (list == nullptr) {
        // Encoders that take anything (rawvideo): keep the input's format if it fits.
        if (convertible(input, width, height)) return input;
        usable = {AV_PIX_FMT_YUV444P, kFilterPixelFormat};
    }
    // Lossless keeps the filter's RGB as it is, and the input's alpha beside it; deep
    // frames as planar 16-bit RGB, the same words in planes.
    const bool alpha = hasAlpha(input);
    const AVPixelFormat losslessFormat =
        deep ? deepPlanarFormat(alpha) : (alpha ? AV_PIX_FMT_BGRA : kFilterPixelFormat);
    const AVPixelFormat wanted = lossless ? losslessFormat : input;
    for (AVPixelFormat f : usable)
        if (f == wanted) return f;
    if (usable.empty()) {
        error = std::string("the ") + encoder->name + " encoder cannot take a " +
                std::to_string(width) + "x" + std::to_string(height) +
                " frame (odd sizes need a format without chroma subsampling); choose another "
                "--codec";
        return AV_PIX_FMT_NONE;
    }
    usable.push_back(AV_PIX_FMT_NONE);
    return avcodec_find_best_pix_fmt_of_list(usable.data(), wanted, alpha, nullptr);
}
