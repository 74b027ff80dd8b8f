// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// Deep pixels are 64-bit words 0xAAAARRRRGGGGBBBB (16-bit words B, G, R, A in memory,
// each little-endian). The A word of a source pixel is ignored; every deep pixel the
// filter writes has it zero, as the 32-bit format clears its X byte.
//
// The analysis measures deep frames on the same 256-bin histograms as 32-bit ones: a
// 16-bit value v falls in bin round(v / 257), computed as (v * 255 + 32895) >> 16
// (equal for all 65536 values, and no division). So a value 257 * n, the 16-bit spelling
// of the 8-bit value n, lands in bin n, and a frame of such values measures exactly as
// its 8-bit twin.
#pragma once

#include <cstdint>
#include <cstring>

inline int deepB(uint64_t pixel)
{
    return static_cast<int>(pixel & 0xFFFF);
}
inline int deepG(uint64_t pixel)
{
    return static_cast<int>((pixel >> 16) & 0xFFFF);
}
inline int deepR(uint64_t pixel)
{
    return static_cast<int>((pixel >> 32) & 0xFFFF);
}

inline uint64_t makeDeepPixel(int r, int g, int b)
{
    return (uint64_t(r) << 32) | (uint64_t(g) << 16) | uint64_t(b);
}

// The 8-bit bin of a 16-bit value: round(v / 257).
inline int binOfDeep(int v)
{
    return (v * 255 + 32895) >> 16;
}

// An 8-bit colour 0xXXRRGGBB spelled in 16 bits per channel (each byte times 257).
inline uint64_t deepFromPixel(uint32_t p)
{
    return makeDeepPixel(int((p >> 16) & 0xFF) * 257, int((p >> 8) & 0xFF) * 257,
                         int(p & 0xFF) * 257);
}

// Through memcpy, as loadPixel: the host's rows need not be aligned.
inline uint64_t loadDeepPixel(const uint8_t* at)
{
    uint64_t p;
    std::memcpy(&p, at, sizeof p);
    return p;
}

inline void storeDeepPixel(uint8_t* at, uint64_t p)
{
    std::memcpy(at, &p, sizeof p);
}
