// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// Frames in the filter's layout (full-range BGR0, or BGRA64 of 16-bit words for deeper
// video) and the conversion of decoded frames into it. Buffers come from a pool, so the steady
// state allocates nothing per frame.
#pragma once

#include <string>

#include "cli/media/av_util.h"
#include "cli/media/colour.h"

struct AVBufferPool;

class FilterFramePool
{
public:
    // `layout`: kFilterPixelFormat (or BGRA, the same size) or kDeepFilterPixelFormat.
    FilterFramePool(int width, int height, AVPixelFormat layout = kFilterPixelFormat);
    ~FilterFramePool();
    FilterFramePool(const FilterFramePool&) = delete;
    FilterFramePool& operator=(const FilterFramePool&) = delete;

    // Null when out of memory.
    FramePtr get();
    int bytesPerPixel() const { return layout_ == kDeepFilterPixelFormat ? 8 : 4; }

private:
    AVPixelFormat layout_;
    AVBufferPool* pool_;
    int width_, height_, linesize_;
};

class ToFilterConverter
{
public:
    // `keepAlpha`: frames come out BGRA with the input's alpha in the byte the filter
    // ignores, so it can be copied into the filtered frame. `deep`: frames come out in
    // kDeepFilterPixelFormat (alpha, when kept, in its A word), by way of
    // deepPlanarFormat.
    ToFilterConverter(int width, int height, bool keepAlpha = false, bool deep = false)
        : pool_(width, height, layoutFor(keepAlpha, deep)),
          width_(width),
          height_(height),
          layout_(layoutFor(keepAlpha, deep))
    {
    }

    static AVPixelFormat layoutFor(bool keepAlpha, bool deep)
    {
        return deep ? kDeepFilterPixelFormat : keepAlpha ? AV_PIX_FMT_BGRA : kFilterPixelFormat;
    }

    // The decoded frame in the filter's layout; a BGRA frame, or a BGR0 one when alpha
    // is not kept, is passed on without a copy (the filter ignores the top byte). Keeps
    // timestamps.
    bool convert(const AVFrame* decoded, FramePtr& out, std::string& error);

    FilterFramePool& pool() { return pool_; }

private:
    FilterFramePool pool_;
    int width_, height_;
    AVPixelFormat layout_;
    SwsPtr sws_;
    FramePtr planar_;  // deep frames: swscale's output, interleaved into the pool's frame
    AVPixelFormat swsFormat_ = AV_PIX_FMT_NONE;
    AVColorSpace swsSpace_ = AVCOL_SPC_UNSPECIFIED;
    AVColorRange swsRange_ = AVCOL_RANGE_UNSPECIFIED;
};

// Bits of the format's first component (8 for BGR0, 10 for yuv422p10le); 0 if unknown.
int componentDepth(AVPixelFormat format);

// The planar twin of kDeepFilterPixelFormat, planes G, B, R (and A) of 16-bit words:
// swscale converts to and from it about three times as fast as to and from packed
// BGRA64 (FFmpeg 5.1, 1080p 10-bit 4:2:2), so deep frames cross swscale in it and are
// interleaved for the filter here.
AVPixelFormat deepPlanarFormat(bool alpha);

// `planar` (deepPlanarFormat) into `packed` (the filter's deep layout): A words from the
// A plane, or zero without one.
void interleaveDeep(const AVFrame& planar, AVFrame& packed);

// The filter's deep output into `planar`: an A plane, if it has one, from the A words
// (`keepAlpha`) or opaque.
void deinterleaveDeep(const AVFrame& packed, AVFrame& planar, bool keepAlpha);
