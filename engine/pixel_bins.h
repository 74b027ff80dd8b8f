// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The plain per-pixel access the reference paths share across pixel formats: a pixel's
// three 8-bit histogram bins, and an overlay colour written in the plane's format.
#pragma once

#include "engine/deep_pixel.h"
#include "engine/pixel.h"
#include "engine/plane.h"

// Bins red, green, blue of pixel (x, y).
inline void pixelBins(const ConstPlane& plane, int x, int y, int bins[3])
{
    const uint8_t* at = plane.pixel(x, y);
    if (plane.format == PixelFormat::Bgra64) {
        const uint64_t p = loadDeepPixel(at);
        bins[0] = binOfDeep(deepR(p));
        bins[1] = binOfDeep(deepG(p));
        bins[2] = binOfDeep(deepB(p));
        return;
    }
    const int32_t p = static_cast<int32_t>(loadPixel(at));
    bins[0] = GetR(p);
    bins[1] = GetG(p);
    bins[2] = GetB(p);
}

// An 8-bit colour 0xRRGGBB stored at `at` in `format` (each byte times 257 when deep).
inline void storeColour(uint8_t* at, PixelFormat format, uint32_t colour)
{
    if (format == PixelFormat::Bgra64)
        storeDeepPixel(at, deepFromPixel(colour));
    else
        storePixel(at, colour);
}
