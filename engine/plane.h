// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// A view of a frame buffer. Row 0 is the first row the host's bitmap points at, which
// is the picture's bottom row; row y starts `pitch` * y bytes further on. The pitch may
// exceed the row's bytes (padding, a window into a larger frame) or be negative (a
// top-down buffer seen bottom-up, pointer on its last row).
//
// Two pixel formats share every phase of the frame pass: the host's 32-bit pixels
// (engine/pixel.h) and, for hosts that link the filter and feed it deeper video, 64-bit
// pixels of 16 bits per channel (engine/deep_pixel.h).
#pragma once

#include <cstddef>
#include <cstdint>

enum class PixelFormat : uint8_t {
    Bgrx32,  // bytes B, G, R, X: the host's format
    Bgra64,  // 16-bit little-endian words B, G, R, A
};

template <typename Byte>
struct PlaneOf {
    Byte* row0;
    ptrdiff_t pitch;
    int width;
    int height;
    PixelFormat format = PixelFormat::Bgrx32;

    int bytesPerPixel() const { return format == PixelFormat::Bgra64 ? 8 : 4; }
    Byte* row(int y) const { return row0 + static_cast<ptrdiff_t>(y) * pitch; }
    Byte* pixel(int x, int y) const { return row(y) + static_cast<ptrdiff_t>(x) * bytesPerPixel(); }
    bool empty() const { return width <= 0 || height <= 0 || row0 == nullptr; }
};

using ConstPlane = PlaneOf<const uint8_t>;
using Plane = PlaneOf<uint8_t>;

inline ConstPlane asConst(const Plane& p)
{
    return {p.row0, p.pitch, p.width, p.height, p.format};
}
