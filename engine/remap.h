// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The per-channel tone curve: v -> round(pow((v - black) * inv, exponent) * 255),
// clamped to 0..255 with NaN -> 0, where inv = 1 / (white - black).
//
// The reciprocal is multiplied, never divided by: with black 0 and white 204, input 18
// gives 18 * (1/204) * 255 = 22.499999999999996 and so 22, where a division would give
// 23. Nothing is guarded: equal black and white points, zero, negative, huge or infinite
// exponents all go through the power function's conventions and the clamp.
//
// The fast path evaluates the curve once per input value into a 256-entry table per
// channel with exactly this arithmetic, so tables and formula give the same bytes.
#pragma once

#include <cmath>
#include <cstdint>

struct ChannelCurve {
    double black;
    double white;
    double exponent;
};

// Standard round (halves away from zero), then clamp to the word's range: NaN and
// anything below 0 give 0, anything above the largest value (+infinity included) gives it.
template <typename Word>
Word channelFromReal(double s)
{
    constexpr double kLargest = static_cast<double>(static_cast<Word>(~Word{0}));
    if (std::isnan(s)) return 0;
    const double n = std::round(s);
    if (n < 0) return 0;
    if (n > kLargest) return static_cast<Word>(kLargest);
    return static_cast<Word>(n);
}

inline uint8_t channelByteFromReal(double s)
{
    return channelFromReal<uint8_t>(s);
}

// The curve of one component, reciprocal span given.
uint8_t remapComponent(int v, double black, double reciprocalSpan, double exponent);

// Reference twin: the curve straight from the channel's three values.
uint8_t remapComponentReference(int v, const ChannelCurve& curve);

// Per-channel tables, each entry already shifted to the channel's place in the pixel,
// so a pixel is three lookups ORed together; the same curves again as plain bytes, for
// the byte-permute kernel.
struct RemapTables {
    uint32_t r[256];
    uint32_t g[256];
    uint32_t b[256];
    uint8_t bytes[3][256];  // blue, green, red: the pixel's byte order in memory
};

void buildRemapTables(const ChannelCurve& r, const ChannelCurve& g, const ChannelCurve& b,
                      RemapTables& out);

inline uint32_t remapPixel(const RemapTables& t, uint32_t p)
{
    return t.r[(p >> 16) & 0xFF] | t.g[(p >> 8) & 0xFF] | t.b[p & 0xFF];
}
