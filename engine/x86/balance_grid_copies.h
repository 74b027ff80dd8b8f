// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// What the vector kernels of the balance grid count into, and how their totals reach the
// BalanceCounts. Each kernel adds into kGridCopies copies in turn, so that neighbouring pixels
// of one bin do not wait for each other; pixels off the plane go to a spare bin and pixels
// not near grey to a spare slot past each histogram, so an addition needs no branch. Neither
// spare is ever read. Plain code: the kernels' instruction sets are their own functions'.
#pragma once

#include <cstdint>
#include <cstring>

#include "engine/balance_counts.h"

constexpr int kGridCopies = 2;
constexpr int kOffPlane = kExponentBins * kExponentBins;  // the bin of pixels off the plane
constexpr int kNeutralRow = 257;  // a histogram and the slot of pixels not near grey

// A bin as one 128-bit addition adds it: a pixel's bytes B, G, R, 1 widened to dwords.
struct CopyBin {
    uint32_t b, g, r, n;
};

struct alignas(64) GridCopy {
    CopyBin bins[kOffPlane + 1];
    uint32_t neutral[3 * kNeutralRow];  // R, G, B
};

// Adds `count` grid pixels of one colour to `copy` (a flat block, found by a kernel at once).
inline void addRunToCopy(GridCopy& copy, uint64_t& grey, int r, int g, int b, uint32_t count)
{
    const int at = exponentBinOf(exponentTable(), r, g, b);
    if (at >= 0) {
        CopyBin& bin = copy.bins[at];
        bin.b += count * uint32_t(b);
        bin.g += count * uint32_t(g);
        bin.r += count * uint32_t(r);
        bin.n += count;
    }
    if (!nearGrey(r, g, b)) return;
    copy.neutral[r] += count;
    copy.neutral[kNeutralRow + g] += count;
    copy.neutral[2 * kNeutralRow + b] += count;
    grey += count;
}

// Adds the copies' bins and histograms, `grey` near-grey pixels and `looked` grid pixels to
// `out`.
inline void foldGridCopies(const GridCopy (&copies)[kGridCopies], uint64_t grey, uint64_t looked,
                           BalanceCounts& out)
{
    ExponentBin* bins = &out.exponents[0][0];
    for (int i = 0; i < kOffPlane; ++i)
        for (const GridCopy& c : copies) {
            bins[i].n += c.bins[i].n;
            bins[i].r += c.bins[i].r;
            bins[i].g += c.bins[i].g;
            bins[i].b += c.bins[i].b;
        }
    for (int v = 0; v < 256; ++v)
        for (const GridCopy& c : copies) {
            out.neutral.r[v] += c.neutral[v];
            out.neutral.g[v] += c.neutral[kNeutralRow + v];
            out.neutral.b[v] += c.neutral[2 * kNeutralRow + v];
        }
    out.grey += grey;
    out.looked += looked;
}

// A kernel's count of the grid rows into the copies, adding its near-grey pixels to `grey`.
using CountGridRows = void (*)(const ConstPlane& rows, int x0, int x1, int step, GridCopy* copies,
                               uint64_t& grey);

// A kernel's whole grid: zeroed copies, `countRows`, the fold into `out`.
inline void countGridWith(CountGridRows countRows, const ConstPlane& gridRows, int x0, int x1,
                          int step, BalanceCounts& out)
{
    if (x1 <= x0 || gridRows.height <= 0) return;
    GridCopy copies[kGridCopies];
    std::memset(copies, 0, sizeof copies);
    uint64_t grey = 0;
    countRows(gridRows, x0, x1, step, copies, grey);
    foldGridCopies(copies, grey, uint64_t(gridRows.height) * uint64_t((x1 - x0 + step - 1) / step),
                   out);
}
