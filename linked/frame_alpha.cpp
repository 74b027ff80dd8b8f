// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "linked/frame_alpha.h"

#include <cstring>

namespace
{

struct AlphaLayout {
    int offset;  // of the alpha component within a pixel
    int size;    // its bytes
    int stride;  // bytes per pixel
};

AlphaLayout layoutOf(PixelFormat format)
{
    return format == PixelFormat::Bgra64 ? AlphaLayout{6, 2, 8} : AlphaLayout{3, 1, 4};
}

// Walks the alpha components of a frame's rows: each(pixel address, index of the pixel).
template <typename Byte, typename Each>
void forEachAlpha(Byte* top, ptrdiff_t pitch, int width, int height, AlphaLayout a, Each each)
{
    size_t index = 0;
    for (int y = 0; y < height; ++y) {
        Byte* row = top + static_cast<ptrdiff_t>(y) * pitch + a.offset;
        for (int x = 0; x < width; ++x, ++index)
            each(row + static_cast<ptrdiff_t>(x) * a.stride, index);
    }
}

}  // namespace

void copyAlpha(const uint8_t* fromTop, ptrdiff_t fromPitch, uint8_t* toTop, ptrdiff_t toPitch,
               int width, int height, PixelFormat format)
{
    const AlphaLayout a = layoutOf(format);
    for (int y = 0; y < height; ++y) {
        const uint8_t* from = fromTop + static_cast<ptrdiff_t>(y) * fromPitch + a.offset;
        uint8_t* to = toTop + static_cast<ptrdiff_t>(y) * toPitch + a.offset;
        for (int x = 0; x < width; ++x)
            std::memcpy(to + static_cast<ptrdiff_t>(x) * a.stride,
                        from + static_cast<ptrdiff_t>(x) * a.stride, static_cast<size_t>(a.size));
    }
}

void AlphaKeeper::reserve(int width, int height, PixelFormat format)
{
    if (width <= 0 || height <= 0) return;
    alpha_.resize(static_cast<size_t>(width) * static_cast<size_t>(height) *
                  static_cast<size_t>(layoutOf(format).size));
}

void AlphaKeeper::save(const uint8_t* top, ptrdiff_t pitch, int width, int height,
                       PixelFormat format)
{
    reserve(width, height, format);
    const AlphaLayout a = layoutOf(format);
    uint8_t* kept = alpha_.data();
    forEachAlpha(top, pitch, width, height, a, [&](const uint8_t* p, size_t i) {
        std::memcpy(kept + i * static_cast<size_t>(a.size), p, static_cast<size_t>(a.size));
    });
}

void AlphaKeeper::restore(uint8_t* top, ptrdiff_t pitch, int width, int height,
                          PixelFormat format) const
{
    const AlphaLayout a = layoutOf(format);
    if (width <= 0 || height <= 0 ||
        alpha_.size() <
            static_cast<size_t>(width) * static_cast<size_t>(height) * static_cast<size_t>(a.size))
        return;
    const uint8_t* kept = alpha_.data();
    forEachAlpha(top, pitch, width, height, a, [&](uint8_t* p, size_t i) {
        std::memcpy(p, kept + i * static_cast<size_t>(a.size), static_cast<size_t>(a.size));
    });
}
