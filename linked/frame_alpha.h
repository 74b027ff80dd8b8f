// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The filter writes every pixel's fourth component zero (its own host ignores it), while
// the hosts that link it composite with alpha: an all-zero alpha would make a clip vanish
// in an editor. So a linked host puts the input's alpha back after the filter ran, from
// the input frame when it is still there, or from a copy kept before the filter ran over
// the frame in place. Frames are top row first, any pitch; PixelFormat::Bgrx32 keeps the
// byte at offset 3 of each pixel, Bgra64 the 16-bit word at offset 6.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/plane.h"

// The alpha of every pixel of `from` into the same pixel of `to`.
void copyAlpha(const uint8_t* fromTop, ptrdiff_t fromPitch, uint8_t* toTop, ptrdiff_t toPitch,
               int width, int height, PixelFormat format);

// Keeps a frame's alpha across a filter run over that frame in place. reserve() sizes the
// storage once, so saving a frame of that size does not allocate.
class AlphaKeeper
{
public:
    void reserve(int width, int height, PixelFormat format);
    void save(const uint8_t* top, ptrdiff_t pitch, int width, int height, PixelFormat format);
    void restore(uint8_t* top, ptrdiff_t pitch, int width, int height, PixelFormat format) const;

private:
    std::vector<uint8_t> alpha_;  // the kept components, one row after another, unpadded
};
