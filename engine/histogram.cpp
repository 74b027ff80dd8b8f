// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "engine/histogram.h"

#include <cstring>

#include "engine/deep_pixel.h"
#include "engine/pixel.h"
#include "engine/pixel_bins.h"

namespace
{

constexpr int kLanes = 4;
constexpr int kBlock = 16;  // pixels tested at once for a single colour
constexpr uint32_t kColourBits = 0xFFFFFF;

// 32-bit counters are flushed into the 64-bit totals long before one could overflow: a
// counter grows by at most the pixels counted since the last flush, which stays below
// kFlushAfter plus one row (< 2^31 + 2^31).
constexpr uint64_t kFlushAfter = uint64_t(1) << 31;

// 32-bit lanes keep the working set at 12 KiB.
struct LaneCounts {
    uint32_t r[kLanes][256];
    uint32_t g[kLanes][256];
    uint32_t b[kLanes][256];
};

// True when the block's sixteen pixels share their colour (the top byte is ignored).
// The first and last are compared first: on natural pictures that alone fails, and the
// branch is then predicted the same way block after block.
inline bool oneColour(const uint8_t* px)
{
    const uint32_t first = loadPixel(px);
    if (((first ^ loadPixel(px + 4 * (kBlock - 1))) & kColourBits) != 0) return false;
    uint32_t differs = 0;
    for (int i = 1; i < kBlock - 1; ++i) differs |= first ^ loadPixel(px + 4 * i);
    return (differs & kColourBits) == 0;
}

void flushLanes(LaneCounts& lanes, ChannelHistograms& out)
{
    for (int lane = 0; lane < kLanes; ++lane) {
        for (int v = 0; v < 256; ++v) {
            out.r[v] += lanes.r[lane][v];
            out.g[v] += lanes.g[lane][v];
            out.b[v] += lanes.b[lane][v];
        }
    }
    std::memset(&lanes, 0, sizeof lanes);
}

inline void countPixel(LaneCounts& lanes, int lane, uint32_t p)
{
    ++lanes.r[lane][(p >> 16) & 0xFF];
    ++lanes.g[lane][(p >> 8) & 0xFF];
    ++lanes.b[lane][p & 0xFF];
}

// Four pixels into the four lanes. All four loads come before any increment: the
// counters are 32-bit words like the pixels, so the compiler may not move a load past
// an increment, and interleaving them serialises the loop (about 2.5x slower).
inline void countFour(LaneCounts& lanes, const uint8_t* px)
{
    const uint32_t p0 = loadPixel(px), p1 = loadPixel(px + 4);
    const uint32_t p2 = loadPixel(px + 8), p3 = loadPixel(px + 12);
    ++lanes.r[0][(p0 >> 16) & 0xFF];
    ++lanes.r[1][(p1 >> 16) & 0xFF];
    ++lanes.r[2][(p2 >> 16) & 0xFF];
    ++lanes.r[3][(p3 >> 16) & 0xFF];
    ++lanes.g[0][(p0 >> 8) & 0xFF];
    ++lanes.g[1][(p1 >> 8) & 0xFF];
    ++lanes.g[2][(p2 >> 8) & 0xFF];
    ++lanes.g[3][(p3 >> 8) & 0xFF];
    ++lanes.b[0][p0 & 0xFF];
    ++lanes.b[1][p1 & 0xFF];
    ++lanes.b[2][p2 & 0xFF];
    ++lanes.b[3][p3 & 0xFF];
}

inline void countDeepPixel(LaneCounts& lanes, int lane, const uint8_t* px)
{
    const uint64_t p = loadDeepPixel(px);
    ++lanes.r[lane][binOfDeep(deepR(p))];
    ++lanes.g[lane][binOfDeep(deepG(p))];
    ++lanes.b[lane][binOfDeep(deepB(p))];
}

// As countFour, loads first, for deep pixels.
inline void countFourDeep(LaneCounts& lanes, const uint8_t* px)
{
    uint64_t p[kLanes];
    for (int i = 0; i < kLanes; ++i) p[i] = loadDeepPixel(px + 8 * i);
    for (int i = 0; i < kLanes; ++i) ++lanes.r[i][binOfDeep(deepR(p[i]))];
    for (int i = 0; i < kLanes; ++i) ++lanes.g[i][binOfDeep(deepG(p[i]))];
    for (int i = 0; i < kLanes; ++i) ++lanes.b[i][binOfDeep(deepB(p[i]))];
}

// Folds the joint table into the green and blue totals: row g of the table sums to
// green[g], column b to blue[b].
void flushJoint(JointCounts& joint, ChannelHistograms& out)
{
    for (int g = 0; g < 256; ++g) {
        const uint32_t* row = joint.greenBlue + 256 * g;
        uint64_t sum = 0;
        for (int b = 0; b < 256; ++b) {
            sum += row[b];
            out.b[b] += row[b];
        }
        out.g[g] += sum;
    }
    for (int lane = 0; lane < kLanes; ++lane)
        for (int v = 0; v < 256; ++v) out.r[v] += joint.red[lane][v];
    std::memset(&joint, 0, sizeof joint);
}

// Eight pixels: the same load-first order as countFour; the joint table is large
// enough that neighbouring pixels rarely share a counter, so it needs no lanes.
inline void countEightJoint(JointCounts& joint, const uint8_t* px)
{
    uint32_t p[8];
    for (int i = 0; i < 8; ++i) p[i] = loadPixel(px + 4 * i);
    for (int i = 0; i < 8; ++i) ++joint.greenBlue[p[i] & 0xFFFF];
    for (int i = 0; i < 8; ++i) ++joint.red[i % kLanes][(p[i] >> 16) & 0xFF];
}

inline void countDeepJoint(JointCounts& joint, uint64_t p, int lane)
{
    ++joint.greenBlue[binOfDeep(deepG(p)) * 256 + binOfDeep(deepB(p))];
    ++joint.red[lane][binOfDeep(deepR(p))];
}

// Eight deep pixels, loads first, as countEightJoint.
inline void countEightDeepJoint(JointCounts& joint, const uint8_t* px)
{
    uint64_t p[8];
    for (int i = 0; i < 8; ++i) p[i] = loadDeepPixel(px + 8 * i);
    for (int i = 0; i < 8; ++i) countDeepJoint(joint, p[i], i % kLanes);
}

// Walks the region row by row: a block of one colour is added with one addition per
// channel, other blocks and each row's tail go to the counter's own loops, and the
// counter's 32-bit words are flushed into the totals before one could overflow.
template <class Counter>
void countRegion(const ConstPlane& plane, const PixelRegion& region, Counter& counter,
                 ChannelHistograms& out)
{
    std::memset(&out, 0, sizeof out);
    if (region.empty()) return;

    counter.clear();
    uint64_t pending = 0;
    const int width = region.x1 - region.x0;

    for (int y = region.y0; y < region.y1; ++y) {
        const uint8_t* px = plane.pixel(region.x0, y);
        int x = 0;
        for (; x + kBlock <= width; x += kBlock, px += 4 * kBlock) {
            if (oneColour(px))
                counter.addRun(loadPixel(px), kBlock);
            else
                counter.countBlock(px);
        }
        counter.countTail(px, width - x);
        pending += static_cast<uint64_t>(width);
        if (pending >= kFlushAfter) {
            counter.flush(out);
            pending = 0;
        }
    }
    counter.flush(out);
}

struct LaneCounter {
    LaneCounts& lanes;

    void clear() { std::memset(&lanes, 0, sizeof lanes); }
    void addRun(uint32_t p, uint32_t n)
    {
        lanes.r[0][(p >> 16) & 0xFF] += n;
        lanes.g[0][(p >> 8) & 0xFF] += n;
        lanes.b[0][p & 0xFF] += n;
    }
    void countBlock(const uint8_t* px)
    {
        for (int i = 0; i < kBlock; i += kLanes) countFour(lanes, px + 4 * i);
    }
    void countTail(const uint8_t* px, int n)
    {
        int x = 0;
        for (; x + kLanes <= n; x += kLanes, px += 4 * kLanes) countFour(lanes, px);
        for (int lane = 0; x < n; ++x, ++lane, px += 4) countPixel(lanes, lane, loadPixel(px));
    }
    void flush(ChannelHistograms& out) { flushLanes(lanes, out); }
};

struct JointCounter {
    JointCounts& joint;

    void clear() { std::memset(&joint, 0, sizeof joint); }
    void addRun(uint32_t p, uint32_t n)
    {
        joint.greenBlue[p & 0xFFFF] += n;
        joint.red[0][(p >> 16) & 0xFF] += n;
    }
    void countBlock(const uint8_t* px)
    {
        countEightJoint(joint, px);
        countEightJoint(joint, px + 32);
    }
    void countTail(const uint8_t* px, int n)
    {
        for (int x = 0; x < n; ++x, px += 4) addRun(loadPixel(px), 1);
    }
    void flush(ChannelHistograms& out) { flushJoint(joint, out); }
};

}  // namespace

void countHistograms(const ConstPlane& plane, const PixelRegion& region, ChannelHistograms& out)
{
    LaneCounts lanes;
    LaneCounter counter{lanes};
    countRegion(plane, region, counter, out);
}

void countHistogramsJoint(const ConstPlane& plane, const PixelRegion& region, JointCounts& scratch,
                          ChannelHistograms& out)
{
    JointCounter counter{scratch};
    countRegion(plane, region, counter, out);
}

void countHistogramsDeep(const ConstPlane& plane, const PixelRegion& region, ChannelHistograms& out)
{
    std::memset(&out, 0, sizeof out);
    if (region.empty()) return;
    LaneCounts lanes;
    std::memset(&lanes, 0, sizeof lanes);
    uint64_t pending = 0;
    const int width = region.x1 - region.x0;
    for (int y = region.y0; y < region.y1; ++y) {
        const uint8_t* px = plane.pixel(region.x0, y);
        int x = 0;
        for (; x + kLanes <= width; x += kLanes, px += 8 * kLanes) countFourDeep(lanes, px);
        for (int lane = 0; x < width; ++x, ++lane, px += 8) countDeepPixel(lanes, lane, px);
        pending += static_cast<uint64_t>(width);
        if (pending >= kFlushAfter) {
            flushLanes(lanes, out);
            pending = 0;
        }
    }
    flushLanes(lanes, out);
}

void countHistogramsDeepJoint(const ConstPlane& plane, const PixelRegion& region,
                              JointCounts& scratch, ChannelHistograms& out)
{
    std::memset(&out, 0, sizeof out);
    if (region.empty()) return;
    std::memset(&scratch, 0, sizeof scratch);
    uint64_t pending = 0;
    const int width = region.x1 - region.x0;
    for (int y = region.y0; y < region.y1; ++y) {
        const uint8_t* px = plane.pixel(region.x0, y);
        int x = 0;
        for (; x + 8 <= width; x += 8, px += 64) countEightDeepJoint(scratch, px);
        for (; x < width; ++x, px += 8) countDeepJoint(scratch, loadDeepPixel(px), 0);
        pending += static_cast<uint64_t>(width);
        if (pending >= kFlushAfter) {
            flushJoint(scratch, out);
            pending = 0;
        }
    }
    flushJoint(scratch, out);
}

void countHistogramsReference(const ConstPlane& plane, const PixelRegion& region,
                              ChannelHistograms& out)
{
    std::memset(&out, 0, sizeof out);
    for (int y = region.y0; y < region.y1; ++y) {
        for (int x = region.x0; x < region.x1; ++x) {
            int bins[3];
            pixelBins(plane, x, y, bins);
            ++out.r[bins[0]];
            ++out.g[bins[1]];
            ++out.b[bins[2]];
        }
    }
}
