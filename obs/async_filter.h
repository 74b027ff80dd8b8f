// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// One Telvo filter on one OBS source: the frames OBS hands an asynchronous video filter
// (webcams, capture cards, media sources, before they go to the GPU) corrected in place.
// BGRA, BGRX and RGBA frames go through the filter's own 8-bit layout as they are (their
// fourth byte kept); YUV frames are converted with the frame's own matrix and range into
// the filter's layout (8-bit, or 16-bit words for 10-bit video), corrected, and converted
// back into the same planes. Buffers are made when the frame size or format changes,
// never per frame. A frame that cannot be corrected goes on as it came.
//
// Threads: OBS calls update() on the UI thread and filter() on its video thread. update()
// leaves the new values in a small pending slot; filter() takes them between frames,
// and only when it gets the slot's lock at once, so the UI never stalls the video.
#pragma once

#include <obs-module.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include "linked/frame_alpha.h"
#include "linked/linked_filter.h"
#include "obs/live_clock.h"
#include "obs/yuv_frame.h"
#include "plugin/settings_table.h"

class AsyncFilter
{
public:
    AsyncFilter(obs_data_t* settings, obs_source_t* self);

    void update(obs_data_t* settings);
    // The source left the program: whenever it shows again, its next frame starts a
    // fresh history. (OBS activates a filter only after the first frame it filters, so
    // the restart cannot wait for the activation.)
    void deactivate() { restartPending_.store(true, std::memory_order_relaxed); }
    obs_source_frame* filter(obs_source_frame* frame);

private:
    enum class Path { PassThrough, Packed, Yuv };

    struct Shape {
        uint32_t width = 0, height = 0;
        video_format format = VIDEO_FORMAT_NONE;
        bool hdr = false;
        bool operator==(const Shape&) const = default;
    };

    void takePendingSettings();
    bool mediaWentBack(const obs_source_frame& frame);
    void prepare(const Shape& shape);
    bool matrixFor(const obs_source_frame& frame);
    bool planesHold(const obs_source_frame& frame) const;
    void runPacked(obs_source_frame& frame);
    void runYuv(obs_source_frame& frame);
    void runFilter(uint8_t* top, ptrdiff_t pitch, bool flip);

    std::mutex pendingMutex_;
    SettingValues pending_{};
    std::atomic<bool> hasPending_{false};
    std::atomic<bool> restartPending_{false};

    obs_source_t* self_;

    // The video thread's own.
    SettingValues settings_ = defaultSettingValues();
    LinkedFilter filter_;
    LiveClock clock_;
    MediaClock mediaClock_;
    Shape shape_;
    Path path_ = Path::PassThrough;
    bool swapRedBlue_ = false;
    YuvLayout layout_{};
    std::vector<uint8_t> work_;
    ptrdiff_t workPitch_ = 0;
    YuvScratch scratch_;
    AlphaKeeper fourth_;  // the fourth byte of packed pixels, kept
    float matrixKey_[22] = {};
    bool matrixOk_ = false;
    CodeMatrix codes_{};
};
