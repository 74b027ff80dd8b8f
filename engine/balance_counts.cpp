// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "engine/balance_counts.h"

#include <cstring>

#include "engine/deep_pixel.h"

int balanceGridStep(int64_t pixels)
{
    constexpr int64_t kWanted = int64_t(1) << 17;
    int s = 1;
    if (pixels < 2 * kWanted) return 1;
    while (pixels / ((s + 1) * int64_t(s + 1)) >= kWanted) ++s;
    return s;
}

void countBalanceRow(BalanceCounts& c, const uint8_t* px, int width, int step, PixelFormat format)
{
    if (format == PixelFormat::Bgra64) {
        for (int x = 0; x < width; x += step) {
            uint64_t p;
            std::memcpy(&p, px + 8 * x, 8);
            const int r = binOfDeep(deepR(p)), g = binOfDeep(deepG(p)), b = binOfDeep(deepB(p));
            ++c.looked;
            if (nearGrey(r, g, b)) addNearGrey(c, r, g, b);
        }
        return;
    }
    for (int x = 0; x < width; x += step) {
        const uint8_t* q = px + 4 * x;
        const int b = q[0], g = q[1], r = q[2];
        ++c.looked;
        if (nearGrey(r, g, b)) addNearGrey(c, r, g, b);
    }
}

void addBalanceCounts(BalanceCounts& c, const BalanceCounts& o)
{
    for (int v = 0; v < 256; ++v) {
        c.neutral.r[v] += o.neutral.r[v];
        c.neutral.g[v] += o.neutral.g[v];
        c.neutral.b[v] += o.neutral.b[v];
    }
    c.looked += o.looked;
    c.grey += o.grey;
}

void countBalanceReference(const ConstPlane& plane, const PixelRegion& region, BalanceCounts& out)
{
    out = BalanceCounts{};
    if (region.empty() || plane.row0 == nullptr) return;
    const int step = balanceGridStep(int64_t(region.x1 - region.x0) * (region.y1 - region.y0));
    const bool deep = plane.format == PixelFormat::Bgra64;
    for (int y = region.y0; y < region.y1; y += step) {
        const uint8_t* row = plane.row(y);
        for (int x = region.x0; x < region.x1; x += step) {
            int r, g, b;
            if (deep) {
                uint64_t p;
                std::memcpy(&p, row + 8 * x, 8);
                r = binOfDeep(deepR(p));
                g = binOfDeep(deepG(p));
                b = binOfDeep(deepB(p));
            } else {
                b = row[4 * x];
                g = row[4 * x + 1];
                r = row[4 * x + 2];
            }
            ++out.looked;
            if (nearGrey(r, g, b)) addNearGrey(out, r, g, b);
        }
    }
}
