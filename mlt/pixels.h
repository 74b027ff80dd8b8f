// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// MLT's pictures to the filter's layouts and back. MLT hands rgba or rgb (R, G, B
// bytes), packed yuv422, planar yuv420p, or planar 16-bit yuv422p16; the filter takes
// B, G, R, X bytes or B, G, R, A 16-bit words. rgba and rgb go to 8-bit pixels, so they
// are exactly the command-line tool's; every YUV format goes to 16-bit ones, so a YUV
// round trip rounds once (at the way back) and a 10-bit source keeps its levels.
// Pictures are top-down here; alpha is MLT's own (a byte of rgba, or a separate plane
// the filter never touches) and stays as it was.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/plane.h"

enum class PictureKind {
    rgba,       // R, G, B, A bytes
    rgb,        // R, G, B bytes
    yuv422,     // Y0, U, Y1, V bytes
    yuv420p,    // Y, U, V planes, chroma halved both ways
    yuv422p16,  // Y, U, V planes of 16-bit words, chroma halved across
};

// How the frame's YUV maps to RGB: the matrix MLT's "colorspace" names (601, 709, 240,
// 2020) and whether the levels use the full code range.
struct YuvMatrix {
    double kr = 0.299, kb = 0.114;
    bool fullRange = false;
};
YuvMatrix yuvMatrixFor(int colorspace, bool fullRange);

// One picture as MLT lays it out: up to three planes with their strides in bytes.
struct MltPicture {
    PictureKind kind;
    int width, height;
    uint8_t* plane[3];
    ptrdiff_t stride[3];
};

// A picture of MLT's layout at `image`: planes one after the other, chroma halved across
// (and down for 4:2:0), rows without padding. (MLT 7.12's own mlt_image_format_planes
// puts yuv420p's V plane in the wrong place.)
MltPicture mltPicture(PictureKind kind, uint8_t* image, int width, int height);

// The YUV layouts share chroma between pixel pairs (and row pairs): MLT makes such frames
// of even sizes only, and an odd one is passed through untouched rather than read past
// its end.
bool fitsLayout(PictureKind kind, int width, int height);

PixelFormat workFormatOf(PictureKind kind);
// Bytes one top-down work picture of the format needs (pitch: width x pixel size).
size_t workBytes(PixelFormat format, int width, int height);

// Into `work` (top-down, pitch width x pixel size) and back. toPicture writes only the
// colour: rgba's alpha bytes are left as they were.
void toWork(const MltPicture& picture, const YuvMatrix& matrix, uint8_t* work);
void toPicture(const uint8_t* work, const YuvMatrix& matrix, const MltPicture& picture);
