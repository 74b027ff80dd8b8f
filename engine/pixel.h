// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// Pixels are 32-bit words 0xXXRRGGBB (bytes B, G, R, X in memory). The top byte of a
// source pixel is ignored; every pixel the filter writes has it zero.
#pragma once

#include <cstdint>
#include <cstring>

inline int GetR(int32_t pixel)
{
    return (pixel >> 16) & 0xFF;
}
inline int GetG(int32_t pixel)
{
    return (pixel >> 8) & 0xFF;
}
inline int GetB(int32_t pixel)
{
    return pixel & 0xFF;
}

inline uint32_t makePixel(int r, int g, int b)
{
    return (uint32_t(r) << 16) | (uint32_t(g) << 8) | uint32_t(b);
}

// Loads and stores through memcpy so that a row start the host did not align to four
// bytes is still defined behaviour; compilers emit plain moves.
inline uint32_t loadPixel(const uint8_t* at)
{
    uint32_t p;
    std::memcpy(&p, at, sizeof p);
    return p;
}

inline void storePixel(uint8_t* at, uint32_t p)
{
    std::memcpy(at, &p, sizeof p);
}
