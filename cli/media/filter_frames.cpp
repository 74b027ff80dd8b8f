// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "cli/media/filter_frames.h"

#include <cstring>

extern "C" {
#include <libavutil/buffer.h>
#include <libavutil/pixdesc.h>
}

FilterFramePool::FilterFramePool(int width, int height, AVPixelFormat layout)
    : layout_(layout),
      width_(width),
      height_(height),
      linesize_(FFALIGN(width * bytesPerPixel(), 64))
{
    pool_ = av_buffer_pool_init(static_cast<size_t>(linesize_) * height + 64, nullptr);
}

FilterFramePool::~FilterFramePool()
{
    av_buffer_pool_uninit(&pool_);
}

FramePtr FilterFramePool::get()
{
    FramePtr frame(av_frame_alloc());
    if (!frame || pool_ == nullptr) return nullptr;
    frame->buf[0] = av_buffer_pool_get(pool_);
    if (frame->buf[0] == nullptr) return nullptr;
    frame->data[0] = frame->buf[0]->data;
    frame->linesize[0] = linesize_;
    frame->width = width_;
    frame->height = height_;
    frame->format = layout_;
    frame->color_range = AVCOL_RANGE_JPEG;
    frame->colorspace = AVCOL_SPC_RGB;
    return frame;
}

bool ToFilterConverter::convert(const AVFrame* decoded, FramePtr& out, std::string& error)
{
    if (decoded->width != width_ || decoded->height != height_) {
        error = "the frame size changes mid-stream (" + std::to_string(width_) + "x" +
                std::to_string(height_) + " to " + std::to_string(decoded->width) + "x" +
                std::to_string(decoded->height) + "); telvo needs one size throughout";
        return false;
    }
    const auto format = static_cast<AVPixelFormat>(decoded->format);
    const bool eightBitLayout = layout_ != kDeepFilterPixelFormat;
    if (format == layout_ || (eightBitLayout && format == AV_PIX_FMT_BGRA)) {
        out.reset(av_frame_clone(decoded));
        if (!out) {
            error = "out of memory";
            return false;
        }
        return true;
    }
    if (!sws_ || format != swsFormat_ || decoded->colorspace != swsSpace_ ||
        decoded->color_range != swsRange_) {
        sws_ = makeToFilterConverter(width_, height_, format, tagsOf(*decoded), layout_);
        if (!sws_) {
            const char* name = av_get_pix_fmt_name(format);
            error = std::string("cannot convert ") + (name ? name : "this pixel format") +
                    " frames to RGB";
            return false;
        }
        swsFormat_ = format;
        swsSpace_ = decoded->colorspace;
        swsRange_ = decoded->color_range;
    }
    out = pool_.get();
    if (!out) {
        error = "out of memory";
        return false;
    }
    sws_scale(sws_.get(), decoded->data, decoded->linesize, 0, height_, out->data, out->linesize);
    av_frame_copy_props(out.get(), decoded);
    out->format = layout_;
    out->color_range = AVCOL_RANGE_JPEG;
    out->colorspace = AVCOL_SPC_RGB;
    return true;
}

void copyAlpha(const AVFrame* from, AVFrame* to)
{
    if (to->format == kDeepFilterPixelFormat) {
        for (int y = 0; y < to->height; ++y) {
            const uint8_t* source = from->data[0] + static_cast<ptrdiff_t>(y) * from->linesize[0];
            uint8_t* target = to->data[0] + static_cast<ptrdiff_t>(y) * to->linesize[0];
            for (int x = 6; x < 8 * to->width; x += 8) std::memcpy(target + x, source + x, 2);
        }
        return;
    }
    for (int y = 0; y < to->height; ++y) {
        const uint8_t* source = from->data[0] + static_cast<ptrdiff_t>(y) * from->linesize[0];
        uint8_t* target = to->data[0] + static_cast<ptrdiff_t>(y) * to->linesize[0];
        for (int x = 3; x < 4 * to->width; x += 4) target[x] = source[x];
    }
    to->format = AV_PIX_FMT_BGRA;
}

void makeOpaque(AVFrame* deep)
{
    for (int y = 0; y < deep->height; ++y) {
        uint8_t* row = deep->data[0] + static_cast<ptrdiff_t>(y) * deep->linesize[0];
        for (int x = 6; x < 8 * deep->width; x += 8) row[x] = row[x + 1] = 0xFF;
    }
}

int componentDepth(AVPixelFormat format)
{
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(format);
    return d != nullptr && d->nb_components > 0 ? d->comp[0].depth : 0;
}
