// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "cli/media/filter_frames.h"

#include <algorithm>
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
    const bool deep = layout_ == kDeepFilterPixelFormat;
    const AVPixelFormat target = deep ? deepPlanarFormat(hasAlpha(format)) : layout_;
    if (!sws_ || format != swsFormat_ || decoded->colorspace != swsSpace_ ||
        decoded->color_range != swsRange_) {
        sws_ = makeToFilterConverter(width_, height_, format, tagsOf(*decoded), target);
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
    if (deep) {
        if (!planar_ || planar_->format != target) {
            planar_.reset(av_frame_alloc());
            if (planar_) {
                planar_->format = target;
                planar_->width = width_;
                planar_->height = height_;
            }
            if (!planar_ || av_frame_get_buffer(planar_.get(), 0) < 0) {
                planar_.reset();
                error = "out of memory";
                return false;
            }
        }
        sws_scale(sws_.get(), decoded->data, decoded->linesize, 0, height_, planar_->data,
                  planar_->linesize);
        interleaveDeep(*planar_, *out);
    } else {
        sws_scale(sws_.get(), decoded->data, decoded->linesize, 0, height_, out->data,
                  out->linesize);
    }
    av_frame_copy_props(out.get(), decoded);
    out->format = layout_;
    out->color_range = AVCOL_RANGE_JPEG;
    out->colorspace = AVCOL_SPC_RGB;
    return true;
}

AVPixelFormat deepPlanarFormat(bool alpha)
{
    return alpha ? AV_PIX_FMT_GBRAP16LE : AV_PIX_FMT_GBRP16LE;
}

namespace
{

const uint16_t* planeRow(const AVFrame& f, int plane, int y)
{
    return reinterpret_cast<const uint16_t*>(f.data[plane] +
                                             static_cast<ptrdiff_t>(y) * f.linesize[plane]);
}

}  // namespace

namespace
{

// The row loops test for an A plane once per row, not per pixel, so the compiler can
// vectorise each of them.
void interleaveRow(const uint16_t* g, const uint16_t* b, const uint16_t* r, const uint16_t* a,
                   uint8_t* out, int width)
{
    if (a != nullptr) {
        for (int x = 0; x < width; ++x) {
            const uint64_t p =
                uint64_t(b[x]) | uint64_t(g[x]) << 16 | uint64_t(r[x]) << 32 | uint64_t(a[x]) << 48;
            std::memcpy(out + 8 * x, &p, 8);
        }
        return;
    }
    for (int x = 0; x < width; ++x) {
        const uint64_t p = uint64_t(b[x]) | uint64_t(g[x]) << 16 | uint64_t(r[x]) << 32;
        std::memcpy(out + 8 * x, &p, 8);
    }
}

void deinterleaveRow(const uint8_t* in, uint16_t* g, uint16_t* b, uint16_t* r, int width)
{
    for (int x = 0; x < width; ++x) {
        uint64_t p;
        std::memcpy(&p, in + 8 * x, 8);
        b[x] = uint16_t(p);
        g[x] = uint16_t(p >> 16);
        r[x] = uint16_t(p >> 32);
    }
}

void alphaRow(const uint8_t* in, uint16_t* a, bool keepAlpha, int width)
{
    if (!keepAlpha) {
        std::fill(a, a + width, uint16_t(0xFFFF));
        return;
    }
    for (int x = 0; x < width; ++x) {
        uint64_t p;
        std::memcpy(&p, in + 8 * x, 8);
        a[x] = uint16_t(p >> 48);
    }
}

}  // namespace

void interleaveDeep(const AVFrame& planar, AVFrame& packed)
{
    const bool alpha = planar.format == AV_PIX_FMT_GBRAP16LE;
    for (int y = 0; y < packed.height; ++y)
        interleaveRow(planeRow(planar, 0, y), planeRow(planar, 1, y), planeRow(planar, 2, y),
                      alpha ? planeRow(planar, 3, y) : nullptr,
                      packed.data[0] + static_cast<ptrdiff_t>(y) * packed.linesize[0],
                      packed.width);
}

void deinterleaveDeep(const AVFrame& packed, AVFrame& planar, bool keepAlpha)
{
    const bool alpha = planar.format == AV_PIX_FMT_GBRAP16LE;
    for (int y = 0; y < packed.height; ++y) {
        auto row = [&](int plane) {
            return reinterpret_cast<uint16_t*>(planar.data[plane] +
                                               static_cast<ptrdiff_t>(y) * planar.linesize[plane]);
        };
        const uint8_t* in = packed.data[0] + static_cast<ptrdiff_t>(y) * packed.linesize[0];
        deinterleaveRow(in, row(0), row(1), row(2), packed.width);
        if (alpha) alphaRow(in, row(3), keepAlpha, packed.width);
    }
}

int componentDepth(AVPixelFormat format)
{
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(format);
    return d != nullptr && d->nb_components > 0 ? d->comp[0].depth : 0;
}
