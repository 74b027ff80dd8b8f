// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "tests/support/test_support.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/channel_levels.h"
#include "engine/histogram.h"
#include "engine/peak_threshold.h"
#include "module/module_entry.h"
#include "plugin/engine_state.h"

GuardedFrame::GuardedFrame(int width, int height, int padding, bool negativePitch, uint8_t fill)
    : width_(width), height_(height)
{
    const int w = std::max(width, 0), h = std::max(height, 0);
    rowBytes_ = 4 * w + padding;
    const size_t margin = 64;
    storage_.assign(margin * 2 + static_cast<size_t>(rowBytes_) * h, kGuard);
    isPixel_.assign(storage_.size(), false);
    for (int y = 0; y < h; ++y) {
        // Row y of the picture sits at memory row y, or at memory row h-1-y.
        const int memoryRow = negativePitch ? h - 1 - y : y;
        const size_t start = margin + static_cast<size_t>(memoryRow) * rowBytes_;
        for (int b = 0; b < 4 * w; ++b) {
            storage_[start + b] = fill;
            isPixel_[start + b] = true;
        }
    }
    uint8_t* base = storage_.data() + margin;
    if (negativePitch && h > 0)
        plane_ = Plane{base + static_cast<size_t>(h - 1) * rowBytes_, -rowBytes_, width, height};
    else
        plane_ = Plane{base, rowBytes_, width, height};
}

uint32_t GuardedFrame::at(int x, int y) const
{
    uint32_t p;
    std::memcpy(&p, plane_.pixel(x, y), 4);
    return p;
}

void GuardedFrame::set(int x, int y, uint32_t p)
{
    std::memcpy(plane_.pixel(x, y), &p, 4);
}

bool GuardedFrame::guardsIntact() const
{
    for (size_t i = 0; i < storage_.size(); ++i)
        if (!isPixel_[i] && storage_[i] != kGuard) return false;
    return true;
}

std::vector<uint32_t> GuardedFrame::pixels() const
{
    std::vector<uint32_t> out;
    for (int y = 0; y < height_; ++y)
        for (int x = 0; x < width_; ++x) out.push_back(at(x, y));
    return out;
}

std::vector<uint32_t> naturalPixels(int width, int height, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> noise(-6, 6);
    std::uniform_real_distribution<double> phase(0, 6.28);
    const double p1 = phase(rng), p2 = phase(rng), p3 = phase(rng);
    // A reddish cast with lifted blacks: what the filter is for.
    const int castR = 18, castG = 4, castB = -12;
    std::vector<uint32_t> out(static_cast<size_t>(std::max(width, 0)) * std::max(height, 0));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const double u = width > 1 ? double(x) / (width - 1) : 0.5;
            const double v = height > 1 ? double(y) / (height - 1) : 0.5;
            const double base = 40 + 150 * v + 30 * std::sin(9 * u + p1) * std::cos(7 * v + p2);
            const double texture = 12 * std::sin(40 * u * v + p3);
            auto channel = [&](int cast) {
                const int c = static_cast<int>(base + texture) + cast + noise(rng);
                return std::clamp(c, 0, 255);
            };
            const uint32_t junk = static_cast<uint32_t>(rng() & 0xFF) << 24;
            out[static_cast<size_t>(y) * width + x] = junk | (uint32_t(channel(castR)) << 16) |
                                                      (uint32_t(channel(castG)) << 8) |
                                                      uint32_t(channel(castB));
        }
    }
    return out;
}

void fillNatural(GuardedFrame& frame, uint32_t seed)
{
    const Plane p = frame.plane();
    const std::vector<uint32_t> pixels = naturalPixels(p.width, p.height, seed);
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x)
            frame.set(x, y, pixels[static_cast<size_t>(y) * p.width + x]);
}

void fillFlat(GuardedFrame& frame, uint32_t pixel)
{
    const Plane p = frame.plane();
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) frame.set(x, y, pixel);
}

void fillRandom(GuardedFrame& frame, uint32_t seed)
{
    std::mt19937 rng(seed);
    const Plane p = frame.plane();
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) frame.set(x, y, static_cast<uint32_t>(rng()));
}

TestFilter::TestFilter(int width, int height)
    : host(VirtualdubFilterModuleInit2, VirtualdubFilterModuleDeinit)
{
    host.createInstance(width, height);
}

void TestFilter::config(const std::array<int, kScriptSettingCount>& values)
{
    host.callScript("Config", values.data(), kScriptSettingCount);
}

int TestFilter::run(const GuardedFrame& source, const GuardedFrame& destination, int64_t frame)
{
    const ConstPlane s = source.constPlane();
    const Plane d = destination.plane();
    return host.run(s.row0, s.pitch, d.row0, d.pitch, s.width, s.height, frame);
}

FrameSettings defaultFrameSettings()
{
    FilterState state{};
    resetFilterState(state, 1, 0, 0);
    return loadFrameSettings(state);
}

FrameSettings marginSettings(int top, int left, int right, int bottom)
{
    FrameSettings s = defaultFrameSettings();
    s.border = 1;
    s.top = top;
    s.left = left;
    s.right = right;
    s.bottom = bottom;
    return s;
}

ChannelLevels measureChannelLevels(const ConstPlane& source, const FrameSettings& settings)
{
    ChannelHistograms counted;
    const PixelRegion region = source.row0 ? analysisRegion(source.width, source.height, settings)
                                           : PixelRegion{0, 0, 0, 0};
    countHistograms(source, region, counted);
    return levelsFromHistograms(counted, peakThreshold);
}

FrameReport runReferencePass(FilterState& state, const ConstPlane& source, const Plane& destination)
{
    CorrectionHistory history = loadCorrectionHistory(state);
    const FrameReport report =
        runFramePassReference(loadFrameSettings(state), history, {}, source, destination);
    storeCorrectionHistory(state, history);
    return report;
}
