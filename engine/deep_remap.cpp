// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "engine/deep_remap.h"

#include <atomic>
#include <cmath>
#include <cstring>

#include "engine/deep_pixel.h"

uint16_t remapDeepComponent(int v, double black, double reciprocalSpan, double exponent)
{
    const double t = (static_cast<double>(v) / 257.0 - black) * reciprocalSpan;
    return channelWordFromReal(std::pow(t, exponent) * 65535.0);
}

// Written out again on purpose, as remapComponentReference is.
uint16_t remapDeepComponentReference(int v, const ChannelCurve& curve)
{
    const double reciprocalSpan = 1.0 / (curve.white - curve.black);
    const double t = (static_cast<double>(v) / 257.0 - curve.black) * reciprocalSpan;
    const double s = std::pow(t, curve.exponent) * 65535.0;
    if (std::isnan(s)) return 0;
    const double n = std::round(s);
    return n < 0 ? 0 : n > 65535 ? 65535 : static_cast<uint16_t>(n);
}

DeepCurves deepCurves(const ChannelCurve& r, const ChannelCurve& g, const ChannelCurve& b)
{
    DeepCurves c{{b, g, r}, {}};
    for (int i = 0; i < 3; ++i) c.reciprocal[i] = 1.0 / (c.curve[i].white - c.curve[i].black);
    return c;
}

void clearDeepRemapMemo(DeepRemapMemo& memo)
{
    std::memset(&memo, 0xFF, sizeof memo);
}

void prepareDeepRemapCache(const DeepCurves& curves, DeepRemapCache& cache)
{
    if (cache.holds && std::memcmp(cache.curve, curves.curve, sizeof cache.curve) == 0) return;
    std::memcpy(cache.curve, curves.curve, sizeof cache.curve);
    clearDeepRemapMemo(cache.memo);
    cache.holds = true;
}

namespace
{

// The branch is taken once per distinct value and table, then predicted away.
inline uint32_t lookup(const DeepCurves& c, DeepRemapMemo& memo, int channel, int v)
{
    std::atomic_ref<uint32_t> entry(memo.entry[channel][v]);
    uint32_t e = entry.load(std::memory_order_relaxed);
    if (e == DeepRemapMemo::kUnfilled) {
        const ChannelCurve& k = c.curve[channel];
        e = remapDeepComponent(v, k.black, c.reciprocal[channel], k.exponent);
        entry.store(e, std::memory_order_relaxed);
    }
    return e;
}

}  // namespace

void remapDeepRowScalar(const DeepCurves& curves, DeepRemapMemo& memo, const uint8_t* in,
                        uint8_t* out, int width)
{
    for (int x = 0; x < width; ++x, in += 8, out += 8) {
        const uint64_t p = loadDeepPixel(in);
        const uint64_t b = lookup(curves, memo, 0, deepB(p));
        const uint64_t g = lookup(curves, memo, 1, deepG(p));
        const uint64_t r = lookup(curves, memo, 2, deepR(p));
        storeDeepPixel(out, (r << 32) | (g << 16) | b);
    }
}

void remapDeepRowDirect(const DeepCurves& c, const uint8_t* in, uint8_t* out, int width)
{
    for (int x = 0; x < width; ++x, in += 8, out += 8) {
        const uint64_t p = loadDeepPixel(in);
        const int v[3] = {deepB(p), deepG(p), deepR(p)};
        uint16_t w[3];
        for (int i = 0; i < 3; ++i)
            w[i] = remapDeepComponent(v[i], c.curve[i].black, c.reciprocal[i], c.curve[i].exponent);
        storeDeepPixel(out, makeDeepPixel(w[2], w[1], w[0]));
    }
}
