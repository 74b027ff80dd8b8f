// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// Frame generators, guarded buffers and a ready filter instance for the tests.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "engine/frame_pass.h"
#include "engine/frame_settings.h"
#include "engine/pixel.h"
#include "engine/plane.h"
#include "hosting/filter_host.h"
#include "plugin/filter_state.h"
#include "plugin/settings_table.h"

// A frame buffer with guard bytes before and after every row's pixels and around the
// whole allocation, so writes outside the picture are caught. `pitch` may be padded
// (extra bytes per row) or negative (rows laid out top-down in memory).
class GuardedFrame
{
public:
    static constexpr uint8_t kGuard = 0xA5;

    GuardedFrame(int width, int height, int padding = 0, bool negativePitch = false,
                 uint8_t fill = 0x5A);
    GuardedFrame(const GuardedFrame&) = delete;  // the plane points into this object's storage
    GuardedFrame& operator=(const GuardedFrame&) = delete;

    Plane plane() const { return plane_; }
    ConstPlane constPlane() const { return asConst(plane_); }
    uint32_t at(int x, int y) const;
    void set(int x, int y, uint32_t p);
    // True when no byte outside the pixels was touched.
    bool guardsIntact() const;
    // The pixels, row 0 first, without padding.
    std::vector<uint32_t> pixels() const;

private:
    int width_, height_, rowBytes_;
    std::vector<uint8_t> storage_;
    std::vector<bool> isPixel_;
    Plane plane_;
};

inline uint32_t makeGrey(int v)
{
    return makePixel(v, v, v);
}

// Picture-like content: smooth gradients, a colour cast, texture and noise, all
// deterministic for a seed.
void fillNatural(GuardedFrame& frame, uint32_t seed);
void fillFlat(GuardedFrame& frame, uint32_t pixel);
void fillRandom(GuardedFrame& frame, uint32_t seed);

// Natural content as packed pixels, for benchmarks and whole-frame comparisons.
std::vector<uint32_t> naturalPixels(int width, int height, uint32_t seed);

// Frame settings as a fresh instance has them (whole frame, one worker), or with
// `border` set and the given margins.
FrameSettings defaultFrameSettings();
FrameSettings marginSettings(int top, int left, int right, int bottom);

// The analysis on one thread with the fast counting and the closed-form threshold: the
// levels the frame pass finds, without its workers.
ChannelLevels measureChannelLevels(const ConstPlane& source, const FrameSettings& settings);

// The reference pass over an instance record, as RunProc runs the fast one: the same
// settings snapshot and history, carried on in the record.
FrameReport runReferencePass(FilterState& state, const ConstPlane& source,
                             const Plane& destination);

// A registered filter with one instance, as a host would have it after creation.
struct TestFilter {
    TestFilter(int width = 64, int height = 48);
    FilterState& state() { return *static_cast<FilterState*>(host.instanceData()); }
    // The script function Config with one value per script setting, in script order.
    void config(const std::array<int, kScriptSettingCount>& values);
    // One frame through RunProc, each frame at its own pitch.
    int run(const GuardedFrame& source, const GuardedFrame& destination, int64_t frame = 0);
    FilterHost host;
};
