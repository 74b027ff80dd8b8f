// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// YUV frames in the layouts OBS delivers to asynchronous filters, converted row by row
// into the filter's layout (BGRX bytes, or 16-bit BGRA words for 10-bit video) and back
// into the same planes. Chroma is taken as it is stored for the way in (each sample
// covers its pixels) and, for the way back, the mean of the pixels a sample covers:
// both are linear, so a frame the filter leaves alone comes back within a code of itself.
// Scratch rows are the caller's (YuvScratch, sized once per frame size): no allocation
// per frame.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "obs/yuv_matrix.h"

enum class YuvPacking {
    Planar,      // Y, U and V planes
    SemiPlanar,  // Y, then U V pairs
    Packed422,   // one plane of groups of two pixels, 4 bytes each
};

struct YuvLayout {
    YuvPacking packing;
    int bits;          // 8, or 10 for 16-bit samples
    int sampleShift;   // 10-bit samples: 6 when they sit in the word's top bits (P010)
    int chromaShiftX;  // 1 for 4:2:x
    int chromaShiftY;  // 1 for 4:2:0
    int y0, u, y1, v;  // Packed422: byte offsets inside a group
};

inline constexpr YuvLayout kI420{YuvPacking::Planar, 8, 0, 1, 1, 0, 0, 0, 0};
inline constexpr YuvLayout kNV12{YuvPacking::SemiPlanar, 8, 0, 1, 1, 0, 0, 0, 0};
inline constexpr YuvLayout kI422{YuvPacking::Planar, 8, 0, 1, 0, 0, 0, 0, 0};
inline constexpr YuvLayout kI444{YuvPacking::Planar, 8, 0, 0, 0, 0, 0, 0, 0};
inline constexpr YuvLayout kYUY2{YuvPacking::Packed422, 8, 0, 1, 0, 0, 1, 2, 3};
inline constexpr YuvLayout kUYVY{YuvPacking::Packed422, 8, 0, 1, 0, 1, 0, 3, 2};
inline constexpr YuvLayout kYVYU{YuvPacking::Packed422, 8, 0, 1, 0, 0, 3, 2, 1};
inline constexpr YuvLayout kP010{YuvPacking::SemiPlanar, 10, 6, 1, 1, 0, 0, 0, 0};
inline constexpr YuvLayout kI010{YuvPacking::Planar, 10, 0, 1, 1, 0, 0, 0, 0};
inline constexpr YuvLayout kI210{YuvPacking::Planar, 10, 0, 1, 0, 0, 0, 0, 0};

// A frame's planes as OBS holds them (top row first).
struct YuvPlanes {
    uint8_t* data[3];
    ptrdiff_t pitch[3];
    int width, height;
};

// The filter's layout for a YUV layout: 4 bytes a pixel for 8-bit codes, 8 (16-bit
// words) for deeper ones.
inline int workBytesPerPixel(const YuvLayout& layout)
{
    return layout.bits > 8 ? 8 : 4;
}

class YuvScratch
{
public:
    void reserve(int width);

    // One row each of codes (chroma per pixel) and two rows of R, G and B as floats:
    // the chroma's share of each pixel on the way in (row 0), the pixels of a chroma
    // row's two rows on the way back.
    struct Rows {
        std::vector<uint16_t> y, u, v;
        std::vector<float> r[2], g[2], b[2];
    };

private:
    friend void yuvToWork(const YuvLayout&, const YuvPlanes&, const CodeMatrix&, uint8_t*,
                          ptrdiff_t, YuvScratch&);
    friend void workToYuv(const YuvLayout&, const uint8_t*, ptrdiff_t, const CodeMatrix&,
                          const YuvPlanes&, YuvScratch&);
    Rows rows_;
};

// The whole frame into `work` (top row first, `workPitch` bytes apart). `m` is scaled for
// the layout's bits and the work layout's (8 or 16).
void yuvToWork(const YuvLayout& layout, const YuvPlanes& frame, const CodeMatrix& m, uint8_t* work,
               ptrdiff_t workPitch, YuvScratch& scratch);

// And back into the frame's planes.
void workToYuv(const YuvLayout& layout, const uint8_t* work, ptrdiff_t workPitch,
               const CodeMatrix& m, const YuvPlanes& frame, YuvScratch& scratch);
