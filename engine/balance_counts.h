// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// What the balance correction counts beyond the three histograms: which pixels are close
// to grey. Three histograms cannot tell a blue object from a blue cast; the same histograms
// counted over near-grey pixels only can, since a saturated object is no near-grey pixel
// while the greys and whites of a cast scene still are (a cast of the strength casts come
// in moves a grey pixel's spread, (max - min) / max, to about 0.3; a blue object is at 0.8).
//
// The same grid also counts a joint statistic of every pixel that is neither near black nor
// clipped, grey or not: a coarse plane of ln(ln G / ln R) against ln(ln G / ln B), levels taken
// as fractions of full scale, in bins of 1/16 from -1 to 1, with each bin's pixel count and
// R, G and B sums. A per-channel gamma moves every grey pixel to one point of that plane
// whatever its level, and a gain of the encoded levels nearly so; a cast whose channels
// already reach both ends still shows there, where the illuminant estimate
// (balance_correction.h) looks for the scene's grey and white surfaces.
//
// Counted on a grid of every `step`-th pixel of every `step`-th row of the analysis region,
// the step chosen from the region's size so that about 2^17 pixels or more are looked at:
// a 1080p frame costs a ninth of a second counting pass, small frames are counted whole.
#pragma once

#include <cstdint>

#include "engine/histogram.h"
#include "engine/plane.h"

// One bin of the exponent plane: its pixels and their levels' sums (at most 2^19 grid pixels,
// so 32 bits hold every sum).
struct ExponentBin {
    uint32_t n, r, g, b;
};

constexpr int kExponentBins = 32;  // per axis, 1/16 each, centred on grey
constexpr int kExponentScale = 16;

struct BalanceCounts {
    ChannelHistograms neutral{};  // the near-grey pixels' R, G and B histograms
    ExponentBin exponents[kExponentBins][kExponentBins]{};  // [red's bin][blue's bin]
    uint64_t looked = 0;                                    // pixels of the grid
    uint64_t grey = 0;                                      // of them near grey
};

// The grid step for a region of `pixels` pixels: 1 up to 2^18, then the largest s with
// pixels / s^2 >= 2^17.
int balanceGridStep(int64_t pixels);

// Near grey: max - min <= max * 0.4 + 6 levels (the allowance keeps dark pixels, whose
// spread is mostly noise). On 8-bit levels; a deep pixel is judged on its 8-bit bins.
inline bool nearGrey(int r, int g, int b)
{
    const int hi = r > g ? (r > b ? r : b) : (g > b ? g : b);
    const int lo = r < g ? (r < b ? r : b) : (g < b ? g : b);
    return (hi - lo) * 256 <= hi * 102 + 6 * 256;
}

// round(-16 ln(-ln((v + 0.5) / 256))) for the levels 0..255: the plane's coordinate of a level.
const int16_t* exponentTable();

// The pixel's bin of the exponent plane, x * kExponentBins + y; -1 when its brightest channel
// is below 24, where the ratios are noise, when any channel is at 251 or above, clipped and so
// without the light's colour, or when it lies beyond the plane.
inline int exponentBinOf(const int16_t* table, int r, int g, int b)
{
    const int hi = r > g ? (r > b ? r : b) : (g > b ? g : b);
    if (hi < 24 || hi > 250) return -1;
    const auto x = unsigned(table[r] - table[g] + kExponentBins / 2);
    const auto y = unsigned(table[b] - table[g] + kExponentBins / 2);
    if (x >= unsigned(kExponentBins) || y >= unsigned(kExponentBins)) return -1;
    return int(x) * kExponentBins + int(y);
}

// Adds `count` grid pixels of one colour (not to `looked`): to their bin of the exponent plane
// and, when near grey, to the three histograms.
inline void addGridPixels(BalanceCounts& c, const int16_t* table, int r, int g, int b,
                          uint32_t count)
{
    const int i = exponentBinOf(table, r, g, b);
    if (i >= 0) {
        ExponentBin& bin = c.exponents[i / kExponentBins][i % kExponentBins];
        bin.n += count;
        bin.r += count * uint32_t(r);
        bin.g += count * uint32_t(g);
        bin.b += count * uint32_t(b);
    }
    if (!nearGrey(r, g, b)) return;
    c.neutral.r[r] += count;
    c.neutral.g[g] += count;
    c.neutral.b[b] += count;
    c.grey += count;
}

// Adds every `step`-th pixel of one row (`width` pixels from `px`, 8-bit or deep) to `c`.
void countBalanceRow(BalanceCounts& c, const uint8_t* px, int width, int step, PixelFormat format);

// Adds the grid of a plane whose every row is a grid row (a worker's grid rows, gathered by
// their pitch) to `out`: in each row the columns x0, x0 + step, ... below x1. The kernels
// count it (engine/kernel_table.h chooses): the scalar one row by row through
// countBalanceRow, in the little storage a host's stack has room for; the AVX-512 and AVX2
// ones take sixteen or eight pixels' bins and near-grey flags at once and keep two copies of
// the tables, about 40 KiB, so they belong on a worker's stack.
using CountBalanceGridFunction = void (*)(const ConstPlane& gridRows, int x0, int x1, int step,
                                          BalanceCounts& out);
void countBalanceGridScalar(const ConstPlane& gridRows, int x0, int x1, int step,
                            BalanceCounts& out);
void countBalanceGridAvx2(const ConstPlane& gridRows, int x0, int x1, int step, BalanceCounts& out);
void countBalanceGridAvx512(const ConstPlane& gridRows, int x0, int x1, int step,
                            BalanceCounts& out);

// Reference: the grid of `region` (rows y0, y0 + step, ...; columns x0, x0 + step, ...) in
// reading order, one pixel at a time, into a zeroed `out`.
void countBalanceReference(const ConstPlane& plane, const PixelRegion& region, BalanceCounts& out);
