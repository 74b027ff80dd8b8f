// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// What the balance correction counts beyond the three histograms: which pixels are close
// to grey. Three histograms cannot tell a blue object from a blue cast; the same histograms
// counted over near-grey pixels only can, since a saturated object is no near-grey pixel
// while the greys and whites of a cast scene still are (a cast of the strength casts come
// in moves a grey pixel's spread, (max - min) / max, to about 0.3; a blue object is at 0.8).
//
// Counted on a grid of every `step`-th pixel of every `step`-th row of the analysis region,
// the step chosen from the region's size so that about 2^17 pixels or more are looked at:
// a 1080p frame costs a ninth of a second counting pass, small frames are counted whole.
#pragma once

#include <cstdint>

#include "engine/histogram.h"
#include "engine/plane.h"

struct BalanceCounts {
    ChannelHistograms neutral{};  // the near-grey pixels' R, G and B histograms
    uint64_t looked = 0;          // pixels of the grid
    uint64_t grey = 0;            // of them near grey
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

// Adds one pixel that is near grey.
inline void addNearGrey(BalanceCounts& c, int r, int g, int b)
{
    ++c.neutral.r[r];
    ++c.neutral.g[g];
    ++c.neutral.b[b];
    ++c.grey;
}

// Adds every `step`-th pixel of one row (`width` pixels from `px`, 8-bit or deep) to `c`.
void countBalanceRow(BalanceCounts& c, const uint8_t* px, int width, int step, PixelFormat format);

// Adds `other` to `c`.
void addBalanceCounts(BalanceCounts& c, const BalanceCounts& other);

// Reference: the grid of `region` (rows y0, y0 + step, ...; columns x0, x0 + step, ...) in
// reading order, one pixel at a time, into a zeroed `out`.
void countBalanceReference(const ConstPlane& plane, const PixelRegion& region, BalanceCounts& out);
