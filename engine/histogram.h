// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// Counting the R, G and B histograms of a rectangle of a frame.
#pragma once

#include <cstdint>

#include "engine/plane.h"

struct ChannelHistograms {
    uint64_t r[256];
    uint64_t g[256];
    uint64_t b[256];
};

// Half-open rectangle of pixels [x0, x1) x [y0, y1), already cut to the frame.
struct PixelRegion {
    int x0, x1, y0, y1;
    bool empty() const { return x1 <= x0 || y1 <= y0; }
};

// Fast path with small storage (12 KiB): spreads consecutive pixels over four
// sub-histograms so that runs of one colour do not serialise on a single counter, and
// counts a block of sixteen identical pixels with one addition per channel. Zeroes
// `out` first.
void countHistograms(const ConstPlane& plane, const PixelRegion& region, ChannelHistograms& out);

// Working storage of the joint counter: green and blue counted together in one table
// indexed by the pixel's low 16 bits, so a pixel costs two increments instead of three.
// About 260 KiB, so it belongs on a worker's stack sized for it, not on the host's.
struct JointCounts {
    uint32_t greenBlue[256 * 256];  // [green * 256 + blue]
    uint32_t red[4][256];
};

// Fast path for large shares: the joint table above, otherwise as countHistograms.
// Zeroing and folding the table costs about as much as counting 100 000 pixels, so it
// pays only on large regions. Zeroes `out` first; `scratch` need not be zeroed.
void countHistogramsJoint(const ConstPlane& plane, const PixelRegion& region, JointCounts& scratch,
                          ChannelHistograms& out);

// Deep pixels (PixelFormat::Bgra64) into the same 256 bins, each 16-bit value in bin
// round(v / 257) (engine/deep_pixel.h); the four-lane counter without the one-colour
// blocks. Zeroes `out` first.
void countHistogramsDeep(const ConstPlane& plane, const PixelRegion& region,
                         ChannelHistograms& out);

// The same through the joint table, for large shares: as countHistogramsJoint.
void countHistogramsDeepJoint(const ConstPlane& plane, const PixelRegion& region,
                              JointCounts& scratch, ChannelHistograms& out);

// Reference twin of all four, for either format: one increment per pixel and channel,
// in reading order.
void countHistogramsReference(const ConstPlane& plane, const PixelRegion& region,
                              ChannelHistograms& out);
