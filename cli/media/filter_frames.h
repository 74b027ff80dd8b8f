// Frames in the filter's layout (full-range BGR0) and the conversion of decoded frames
// into it. Buffers come from a pool, so the steady state allocates nothing per frame.
#pragma once

#include <string>

#include "cli/media/av_util.h"
#include "cli/media/colour.h"

struct AVBufferPool;

class FilterFramePool
{
public:
    FilterFramePool(int width, int height);
    ~FilterFramePool();
    FilterFramePool(const FilterFramePool&) = delete;
    FilterFramePool& operator=(const FilterFramePool&) = delete;

    // Null when out of memory.
    FramePtr get();

private:
    AVBufferPool* pool_;
    int width_, height_, linesize_;
};

class ToFilterConverter
{
public:
    ToFilterConverter(int width, int height) : pool_(width, height), width_(width), height_(height)
    {
    }

    // The decoded frame in the filter's layout; a BGR0 or BGRA frame is passed on
    // without a copy (the filter ignores the top byte). Keeps timestamps.
    bool convert(const AVFrame* decoded, FramePtr& out, std::string& error);

    FilterFramePool& pool() { return pool_; }

private:
    FilterFramePool pool_;
    int width_, height_;
    SwsPtr sws_;
    AVPixelFormat swsFormat_ = AV_PIX_FMT_NONE;
    AVColorSpace swsSpace_ = AVCOL_SPC_UNSPECIFIED;
    AVColorRange swsRange_ = AVCOL_RANGE_UNSPECIFIED;
};
