// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "engine/balance_counts.h"

#include <cmath>
#include <cstring>

#include "engine/deep_pixel.h"

const int16_t* exponentTable()
{
    struct Table {
        int16_t v[256];
    };
    static const Table table = [] {
        Table t{};
        for (int v = 0; v < 256; ++v)
            t.v[v] = int16_t(std::lround(-kExponentScale * std::log(-std::log((v + 0.5) / 256))));
        return t;
    }();
    return table.v;
}

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
    // A run of one colour, a flat area, is added at once: one pixel after another into the
    // same bins would make each addition wait for the one before.
    const int16_t* table = exponentTable();
    const bool deep = format == PixelFormat::Bgra64;
    uint32_t run = 0, count = 0;
    for (int x = 0; x < width; x += step) {
        int r, g, b;
        if (deep) {
            uint64_t p;
            std::memcpy(&p, px + 8 * x, 8);
            r = binOfDeep(deepR(p));
            g = binOfDeep(deepG(p));
            b = binOfDeep(deepB(p));
        } else {
            b = px[4 * x];
            g = px[4 * x + 1];
            r = px[4 * x + 2];
        }
        const uint32_t colour = uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(b);
        ++c.looked;
        if (count > 0 && colour == run) {
            ++count;
            continue;
        }
        if (count > 0)
            addGridPixels(c, table, int(run >> 16), int(run >> 8 & 0xFF), int(run & 0xFF), count);
        run = colour;
        count = 1;
    }
    if (count > 0)
        addGridPixels(c, table, int(run >> 16), int(run >> 8 & 0xFF), int(run & 0xFF), count);
}

void countBalanceGridScalar(const ConstPlane& gridRows, int x0, int x1, int step,
                            BalanceCounts& out)
{
    const size_t offset = static_cast<size_t>(x0) * gridRows.bytesPerPixel();
    for (int y = 0; y < gridRows.height; ++y)
        countBalanceRow(out, gridRows.row(y) + offset, x1 - x0, step, gridRows.format);
}

void countBalanceReference(const ConstPlane& plane, const PixelRegion& region, BalanceCounts& out)
{
    out = BalanceCounts{};
    if (region.empty() || plane.row0 == nullptr) return;
    const int step = balanceGridStep(int64_t(region.x1 - region.x0) * (region.y1 - region.y0));
    const bool deep = plane.format == PixelFormat::Bgra64;
    const int16_t* table = exponentTable();
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
            addGridPixels(out, table, r, g, b, 1);
        }
    }
}
