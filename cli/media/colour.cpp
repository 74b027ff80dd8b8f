// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "cli/media/colour.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

ColourTags tagsOf(const AVFrame& f)
{
    return ColourTags{f.colorspace, f.color_range, f.color_primaries, f.color_trc,
                      f.chroma_location};
}

ColourTags tagsOf(const AVCodecParameters& p)
{
    return ColourTags{p.color_space, p.color_range, p.color_primaries, p.color_trc,
                      p.chroma_location};
}

bool isRgbFormat(AVPixelFormat format)
{
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(format);
    return d != nullptr && (d->flags & AV_PIX_FMT_FLAG_RGB) != 0;
}

ColourTags outputColourTags(const ColourTags& input, AVPixelFormat inputFormat,
                            AVPixelFormat outputFormat, AVCodecID codec, int height)
{
    ColourTags out = input;
    if (isRgbFormat(outputFormat)) {
        out.space = AVCOL_SPC_RGB;
        out.range = AVCOL_RANGE_JPEG;
        return out;
    }
    if (isRgbFormat(inputFormat) || input.space == AVCOL_SPC_RGB) {
        out.space = swsMatrix(AVCOL_SPC_UNSPECIFIED, height) == SWS_CS_ITU709 ? AVCOL_SPC_BT709
                                                                              : AVCOL_SPC_SMPTE170M;
        out.range = AVCOL_RANGE_MPEG;
    }
    // The MJPEG encoder refuses limited-range YUV.
    if (isFullRange(outputFormat, AVCOL_RANGE_UNSPECIFIED) || codec == AV_CODEC_ID_MJPEG)
        out.range = AVCOL_RANGE_JPEG;
    return out;
}

int swsMatrix(AVColorSpace space, int height)
{
    switch (space) {
        case AVCOL_SPC_BT709:
            return SWS_CS_ITU709;
        case AVCOL_SPC_FCC:
            return SWS_CS_FCC;
        case AVCOL_SPC_SMPTE240M:
            return SWS_CS_SMPTE240M;
        case AVCOL_SPC_BT2020_NCL:
        case AVCOL_SPC_BT2020_CL:
            return SWS_CS_BT2020;
        case AVCOL_SPC_BT470BG:
        case AVCOL_SPC_SMPTE170M:
            return SWS_CS_ITU601;
        default:
            return height >= 720 ? SWS_CS_ITU709 : SWS_CS_ITU601;
    }
}

bool isFullRange(AVPixelFormat format, AVColorRange range)
{
    switch (format) {
        case AV_PIX_FMT_YUVJ420P:
        case AV_PIX_FMT_YUVJ422P:
        case AV_PIX_FMT_YUVJ444P:
        case AV_PIX_FMT_YUVJ440P:
        case AV_PIX_FMT_YUVJ411P:
            return true;
        default:
            return range == AVCOL_RANGE_JPEG || isRgbFormat(format);
    }
}

namespace
{

SwsPtr makeConverter(int width, int height, AVPixelFormat from, AVPixelFormat to,
                     const ColourTags& tags, bool toFilter)
{
    // Into RGB the unscaled fast converters serve (the flags would only slow them);
    // back to subsampled YUV the chroma is computed at full width and filtered, not
    // picked, so edges keep their colour.
    const int flags =
        toFilter ? SWS_BILINEAR : SWS_BILINEAR | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INP;
    SwsPtr sws(
        sws_getContext(width, height, from, width, height, to, flags, nullptr, nullptr, nullptr));
    if (!sws) return sws;
    const int* matrix = sws_getCoefficients(swsMatrix(tags.space, height));
    const AVPixelFormat yuv = toFilter ? from : to;
    const bool yuvFull = isFullRange(yuv, tags.range);
    sws_setColorspaceDetails(sws.get(), matrix, toFilter ? yuvFull : 1, matrix,
                             toFilter ? 1 : yuvFull, 0, 1 << 16, 1 << 16);
    return sws;
}

}  // namespace

SwsPtr makeToFilterConverter(int width, int height, AVPixelFormat from, const ColourTags& tags,
                             AVPixelFormat layout)
{
    return makeConverter(width, height, from, layout, tags, true);
}

SwsPtr makeFromFilterConverter(int width, int height, AVPixelFormat to, const ColourTags& tags,
                               AVPixelFormat layout)
{
    return makeConverter(width, height, layout, to, tags, false);
}

bool hasAlpha(AVPixelFormat format)
{
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(format);
    return d != nullptr && (d->flags & AV_PIX_FMT_FLAG_ALPHA) != 0;
}

const char* hdrTransferName(AVColorTransferCharacteristic transfer)
{
    switch (transfer) {
        case AVCOL_TRC_SMPTE2084:
            return "PQ (SMPTE ST 2084)";
        case AVCOL_TRC_ARIB_STD_B67:
            return "HLG (ARIB STD-B67)";
        default:
            return nullptr;
    }
}
