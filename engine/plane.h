// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// A view of a frame buffer of 32-bit pixels. Row 0 is the first row the host's bitmap
// points at, which is the picture's bottom row; row y starts `pitch` * y bytes further
// on. The pitch may exceed 4 * width (padding, a window into a larger frame) or be
// negative (a top-down buffer seen bottom-up, pointer on its last row).
#pragma once

#include <cstddef>
#include <cstdint>

template <typename Byte>
struct PlaneOf {
    Byte* row0;
    ptrdiff_t pitch;
    int width;
    int height;

    Byte* row(int y) const { return row0 + static_cast<ptrdiff_t>(y) * pitch; }
    Byte* pixel(int x, int y) const { return row(y) + static_cast<ptrdiff_t>(x) * 4; }
    bool empty() const { return width <= 0 || height <= 0 || row0 == nullptr; }
};

using ConstPlane = PlaneOf<const uint8_t>;
using Plane = PlaneOf<uint8_t>;

inline ConstPlane asConst(const Plane& p)
{
    return {p.row0, p.pitch, p.width, p.height};
}
