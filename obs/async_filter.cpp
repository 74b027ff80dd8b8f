// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "obs/async_filter.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "obs/settings_data.h"

namespace
{

const char* formatName(video_format format)
{
    const char* name = get_video_format_name(format);
    return name != nullptr ? name : "unknown";
}

// The YUV layouts the filter converts; false for any other format. The alpha planes of
// I40A, I42A and YUVA are left as they are.
bool yuvLayoutOf(video_format format, YuvLayout& layout)
{
    switch (format) {
        case VIDEO_FORMAT_I420:
        case VIDEO_FORMAT_I40A:
            layout = kI420;
            return true;
        case VIDEO_FORMAT_NV12:
            layout = kNV12;
            return true;
        case VIDEO_FORMAT_I422:
        case VIDEO_FORMAT_I42A:
            layout = kI422;
            return true;
        case VIDEO_FORMAT_I444:
        case VIDEO_FORMAT_YUVA:
            layout = kI444;
            return true;
        case VIDEO_FORMAT_YUY2:
            layout = kYUY2;
            return true;
        case VIDEO_FORMAT_UYVY:
            layout = kUYVY;
            return true;
        case VIDEO_FORMAT_YVYU:
            layout = kYVYU;
            return true;
        case VIDEO_FORMAT_P010:
            layout = kP010;
            return true;
        case VIDEO_FORMAT_I010:
            layout = kI010;
            return true;
        case VIDEO_FORMAT_I210:
            layout = kI210;
            return true;
        default:
            return false;
    }
}

// Margins beyond the frame mean the whole frame.
SettingValues fitToFrame(SettingValues values, int width, int height)
{
    for (int i = 0; i < kSettingCount; ++i) {
        const SettingKind kind = kSettings[i].kind;
        if (kind == SettingKind::MarginRows) values[i] = std::min(values[i], height);
        if (kind == SettingKind::MarginColumns) values[i] = std::min(values[i], width);
    }
    return values;
}

}  // namespace

AsyncFilter::AsyncFilter(obs_data_t* settings, obs_source_t* self) : self_(self)
{
    settings_ = readSettingValues(settings);
}

void AsyncFilter::update(obs_data_t* settings)
{
    const SettingValues values = readSettingValues(settings);
    std::lock_guard<std::mutex> lock(pendingMutex_);
    pending_ = values;
    hasPending_.store(true, std::memory_order_release);
}

void AsyncFilter::takePendingSettings()
{
    if (!hasPending_.load(std::memory_order_acquire)) return;
    std::unique_lock<std::mutex> lock(pendingMutex_, std::try_to_lock);
    if (!lock.owns_lock()) return;  // the UI thread is storing newer ones: next frame
    settings_ = pending_;
    hasPending_.store(false, std::memory_order_relaxed);
}

void AsyncFilter::prepare(const Shape& shape)
{
    shape_ = shape;
    path_ = Path::PassThrough;
    matrixOk_ = false;
    std::memset(matrixKey_, 0, sizeof matrixKey_);
    const int w = static_cast<int>(shape.width), h = static_cast<int>(shape.height);
    const char* name = formatName(shape.format);
    if (w <= 0 || h <= 0) return;
    if (shape.hdr) {
        blog(LOG_INFO,
             "[telvo] %s frames with an HDR transfer (PQ or HLG) pass through "
             "uncorrected",
             name);
        return;
    }
    const bool packed = shape.format == VIDEO_FORMAT_BGRA || shape.format == VIDEO_FORMAT_BGRX ||
                        shape.format == VIDEO_FORMAT_RGBA;
    if (!packed && !yuvLayoutOf(shape.format, layout_)) {
        blog(LOG_INFO, "[telvo] %s frames pass through uncorrected: no conversion for them", name);
        return;
    }
    const PixelFormat pixel =
        !packed && layout_.bits > 8 ? PixelFormat::Bgra64 : PixelFormat::Bgrx32;
    std::string error;
    if (!filter_.open(fitToFrame(settings_, w, h), w, h, error, pixel)) {
        blog(LOG_WARNING, "[telvo] the filter does not start, frames pass through: %s",
             error.c_str());
        return;
    }
    clock_.reset();
    mediaClock_.reset();
    if (packed) {
        swapRedBlue_ = shape.format == VIDEO_FORMAT_RGBA;
        fourth_.reserve(w, h, PixelFormat::Bgrx32);
        path_ = Path::Packed;
    } else {
        workPitch_ = static_cast<ptrdiff_t>(w) * workBytesPerPixel(layout_);
        work_.assign(static_cast<size_t>(workPitch_) * static_cast<size_t>(h), 0);
        scratch_.reserve(w);
        path_ = Path::Yuv;
    }
    blog(LOG_INFO, "[telvo] correcting %ux%u %s frames", shape.width, shape.height, name);
}

obs_source_frame* AsyncFilter::filter(obs_source_frame* frame)
{
    if (frame == nullptr) return frame;
    takePendingSettings();
    const bool hdr = frame->trc == VIDEO_TRC_PQ || frame->trc == VIDEO_TRC_HLG;
    const Shape shape{frame->width, frame->height, frame->format, hdr};
    if (!(shape == shape_)) prepare(shape);
    if (path_ == Path::PassThrough || !planesHold(*frame)) return frame;
    filter_.apply(
        fitToFrame(settings_, static_cast<int>(shape.width), static_cast<int>(shape.height)));
    const bool returned = restartPending_.exchange(false, std::memory_order_relaxed);
    const bool jumped = clock_.jumpsAt(frame->timestamp);
    if (mediaWentBack(*frame) || jumped || returned) filter_.restart();
    if (path_ == Path::Packed)
        runPacked(*frame);
    else
        runYuv(*frame);
    return frame;
}

// A media source's loops and seeks, seen in its playback position (obs/live_clock.h).
bool AsyncFilter::mediaWentBack(const obs_source_frame& frame)
{
    obs_source_t* parent = self_ != nullptr ? obs_filter_get_parent(self_) : nullptr;
    if (parent == nullptr ||
        (obs_source_get_output_flags(parent) & OBS_SOURCE_CONTROLLABLE_MEDIA) == 0)
        return false;
    return mediaClock_.restartsAt(frame.timestamp, obs_source_media_get_time(parent),
                                  obs_source_media_get_duration(parent));
}

// A source that hands over a frame without the planes its format needs, or with rows
// shorter than its width, gets it back untouched.
bool AsyncFilter::planesHold(const obs_source_frame& frame) const
{
    const uint32_t w = frame.width;
    if (path_ == Path::Packed) return frame.data[0] != nullptr && frame.linesize[0] >= 4 * w;
    const uint32_t sample = layout_.bits > 8 ? 2 : 1;
    const uint32_t chroma = (w + (1u << layout_.chromaShiftX) - 1) >> layout_.chromaShiftX;
    switch (layout_.packing) {
        case YuvPacking::Packed422:
            return frame.data[0] != nullptr && frame.linesize[0] >= 4 * chroma;
        case YuvPacking::SemiPlanar:
            return frame.data[0] != nullptr && frame.data[1] != nullptr &&
                   frame.linesize[0] >= sample * w && frame.linesize[1] >= 2 * sample * chroma;
        case YuvPacking::Planar:
            return frame.data[0] != nullptr && frame.data[1] != nullptr &&
                   frame.data[2] != nullptr && frame.linesize[0] >= sample * w &&
                   frame.linesize[1] >= sample * chroma && frame.linesize[2] >= sample * chroma;
    }
    return false;
}

void AsyncFilter::runFilter(uint8_t* top, ptrdiff_t pitch, bool flip)
{
    // A flipped frame is stored bottom row first, which is how the filter counts rows.
    if (flip)
        filter_.run(top, pitch, top, pitch);
    else
        filter_.runTopDown(top, pitch, top, pitch);
}

namespace
{

void swapRedBlue(uint8_t* top, ptrdiff_t pitch, int width, int height)
{
    for (int y = 0; y < height; ++y) {
        uint8_t* p = top + pitch * y;
        for (int x = 0; x < width; ++x) std::swap(p[4 * x], p[4 * x + 2]);
    }
}

}  // namespace

void AsyncFilter::runPacked(obs_source_frame& frame)
{
    const int w = static_cast<int>(frame.width), h = static_cast<int>(frame.height);
    const ptrdiff_t pitch = frame.linesize[0];
    uint8_t* top = frame.data[0];
    // The filter reads B, G, R and writes the fourth byte zero.
    fourth_.save(top, pitch, w, h, PixelFormat::Bgrx32);
    if (swapRedBlue_) swapRedBlue(top, pitch, w, h);
    runFilter(top, pitch, frame.flip);
    if (swapRedBlue_) swapRedBlue(top, pitch, w, h);
    fourth_.restore(top, pitch, w, h, PixelFormat::Bgrx32);
}

bool AsyncFilter::matrixFor(const obs_source_frame& frame)
{
    float key[22];
    std::memcpy(key, frame.color_matrix, sizeof frame.color_matrix);
    std::memcpy(key + 16, frame.color_range_min, sizeof frame.color_range_min);
    std::memcpy(key + 19, frame.color_range_max, sizeof frame.color_range_max);
    if (std::memcmp(key, matrixKey_, sizeof key) == 0) return matrixOk_;
    std::memcpy(matrixKey_, key, sizeof key);
    YuvMatrix m;
    matrixOk_ = makeYuvMatrix(frame.color_matrix, frame.color_range_min, frame.color_range_max, m);
    if (matrixOk_)
        codes_ = scaleYuvMatrix(m, layout_.bits, layout_.bits > 8 ? 16 : 8);
    else
        blog(LOG_INFO, "[telvo] %s frames without a usable colour matrix pass through",
             formatName(frame.format));
    return matrixOk_;
}

void AsyncFilter::runYuv(obs_source_frame& frame)
{
    if (!matrixFor(frame)) return;
    const YuvPlanes planes{{frame.data[0], frame.data[1], frame.data[2]},
                           {frame.linesize[0], frame.linesize[1], frame.linesize[2]},
                           static_cast<int>(frame.width),
                           static_cast<int>(frame.height)};
    yuvToWork(layout_, planes, codes_, work_.data(), workPitch_, scratch_);
    runFilter(work_.data(), workPitch_, frame.flip);
    workToYuv(layout_, work_.data(), workPitch_, codes_, planes, scratch_);
}
