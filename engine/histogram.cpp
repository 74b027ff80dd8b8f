#include "engine/histogram.h"

#include <cstring>

#include "engine/pixel.h"

namespace
{

constexpr int kLanes = 4;

// 32-bit lanes keep the working set at 12 KiB; they are flushed into the 64-bit totals
// long before a lane could overflow.
struct LaneCounts {
    uint32_t r[kLanes][256];
    uint32_t g[kLanes][256];
    uint32_t b[kLanes][256];
};

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

}  // namespace

void countHistograms(const ConstPlane& plane, const PixelRegion& region, ChannelHistograms& out)
{
    std::memset(&out, 0, sizeof out);
    if (region.empty()) return;

    LaneCounts lanes;
    std::memset(&lanes, 0, sizeof lanes);
    constexpr uint64_t kFlushAfter = uint64_t(1) << 30;  // pixels per lane well below 2^32
    uint64_t pending = 0;
    const int width = region.x1 - region.x0;

    for (int y = region.y0; y < region.y1; ++y) {
        const uint8_t* px = plane.pixel(region.x0, y);
        int x = 0;
        for (; x + kLanes <= width; x += kLanes, px += 4 * kLanes) {
            // All four loads before any increment: the counters are 32-bit words like
            // the pixels, so the compiler may not move a load past an increment, and
            // interleaving them serialises the loop (about 2.5x slower).
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
        for (int lane = 0; x < width; ++x, ++lane, px += 4) countPixel(lanes, lane, loadPixel(px));
        pending += static_cast<uint64_t>(width);
        if (pending >= kFlushAfter) {
            flushLanes(lanes, out);
            pending = 0;
        }
    }
    flushLanes(lanes, out);
}

void countHistogramsReference(const ConstPlane& plane, const PixelRegion& region,
                              ChannelHistograms& out)
{
    std::memset(&out, 0, sizeof out);
    for (int y = region.y0; y < region.y1; ++y) {
        for (int x = region.x0; x < region.x1; ++x) {
            const int32_t p = static_cast<int32_t>(loadPixel(plane.pixel(x, y)));
            ++out.r[GetR(p)];
            ++out.g[GetG(p)];
            ++out.b[GetB(p)];
        }
    }
}
