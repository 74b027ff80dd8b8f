// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "engine/channel_levels.h"

#include <algorithm>

#include "engine/frame_settings.h"
#include "engine/peak_threshold.h"

namespace
{

struct Smoothed {
    double s[256];
    double total;
};

void clipAndSmooth(const uint64_t counted[256], ThresholdFunction threshold, Smoothed& out)
{
    int64_t h[256];
    const uint64_t t = threshold(counted);
    for (int i = 0; i < 256; ++i)
        h[i] = static_cast<int64_t>(t != 0 ? std::min(counted[i], t) : counted[i]);

    // Integer sums are exact; each is converted once and multiplied by its constant.
    double* s = out.s;
    s[0] = 0.2 * static_cast<double>(3 * h[0] + 2 * h[1] + h[2] - h[4]);
    s[1] = 0.1 * static_cast<double>(4 * h[0] + 3 * h[1] + 2 * h[2] + h[3]);
    for (int k = 2; k <= 253; ++k)
        s[k] = 0.2 * static_cast<double>(h[k - 2] + h[k - 1] + h[k] + h[k + 1] + h[k + 2]);
    s[254] = 0.1 * static_cast<double>(h[252] + 2 * h[253] + 3 * h[254] + 4 * h[255]);
    s[255] = 0.2 * static_cast<double>(3 * h[255] + 2 * h[254] + h[253] - h[251]);

    double total = 0.0;
    for (int k = 0; k < 256; ++k) total += s[k];
    out.total = total;
}

double lowLevel(const Smoothed& c, double tail)
{
    double sum = 0.0;
    for (int i = 1; i <= 126; ++i) {
        sum += c.s[i];
        if (sum >= tail) return i;
    }
    return 127;
}

double highLevel(const Smoothed& c, double tail)
{
    double sum = 0.0;
    for (int i = 254; i >= 129; --i) {
        sum += c.s[i];
        if (sum >= tail) return i;
    }
    return 128;
}

// An empty region has no median bin; 0 in every channel keeps the three equal, so the
// curve factors stay exactly 1.
double median(const Smoothed& c)
{
    const double half = c.total * 0.5;
    double sum = 0.0;
    for (int i = 0; i < 256; ++i) {
        sum += c.s[i];
        if (sum > half) return i;
    }
    return 0;
}

}  // namespace

PixelRegion analysisRegion(int width, int height, const FrameSettings& settings)
{
    int64_t x0 = 0, x1 = width, y0 = 0, y1 = height;
    if (settings.border) {
        y0 = int64_t(settings.bottom) - 1;
        y1 = int64_t(height) - settings.top;
        x0 = int64_t(settings.left) - 1;
        x1 = int64_t(width) - settings.right;
    }
    auto clampTo = [](int64_t v, int64_t hi) {
        return static_cast<int>(std::clamp<int64_t>(v, 0, hi));
    };
    const int64_t w = std::max(width, 0), h = std::max(height, 0);
    PixelRegion r{clampTo(x0, w), clampTo(x1, w), clampTo(y0, h), clampTo(y1, h)};
    if (r.empty()) r = PixelRegion{0, 0, 0, 0};
    return r;
}

ChannelLevels levelsFromHistograms(const ChannelHistograms& counted, ThresholdFunction threshold)
{
    Smoothed r, g, b;
    clipAndSmooth(counted.r, threshold, r);
    clipAndSmooth(counted.g, threshold, g);
    clipAndSmooth(counted.b, threshold, b);
    const double tail = std::min({r.total, g.total, b.total}) / 50;

    ChannelLevels l;
    const Smoothed* channels[3] = {&r, &g, &b};
    for (int c = 0; c < 3; ++c) {
        l.value[kLowR + c] = lowLevel(*channels[c], tail);
        l.value[kHighR + c] = highLevel(*channels[c], tail);
        l.value[kMedianR + c] = median(*channels[c]);
    }
    return l;
}

ChannelLevels measureChannelLevelsReference(const ConstPlane& source, const FrameSettings& settings)
{
    ChannelHistograms counted;
    const PixelRegion region = source.row0 ? analysisRegion(source.width, source.height, settings)
                                           : PixelRegion{0, 0, 0, 0};
    countHistogramsReference(source, region, counted);
    return levelsFromHistograms(counted, peakThresholdStepped);
}
