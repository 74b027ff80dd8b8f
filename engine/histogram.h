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

// Fast path: spreads consecutive pixels over four sub-histograms so that runs of one
// colour do not serialise on a single counter. Zeroes `out` first.
void countHistograms(const ConstPlane& plane, const PixelRegion& region, ChannelHistograms& out);

// Reference twin: one increment per pixel and channel, in reading order.
void countHistogramsReference(const ConstPlane& plane, const PixelRegion& region,
                              ChannelHistograms& out);
