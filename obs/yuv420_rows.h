// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// Hand-vectorised conversions for 4:2:0 frames: NV12 and I420 (what webcams and capture
// cards deliver most), and with AVX-512 the 10-bit P010 and I010. They compute exactly
// what the row loops in yuv_frame.cpp compute (the same float operations in the same
// order, none contracted), many pixels at a time, and two rows at a time so each chroma
// sample is worked out once. They cover the frame's columns in whole blocks (16 pixels
// for AVX2, 32 for AVX-512) and return how many columns they converted; a narrower
// variant or the row loops convert the rest. Only for a processor with the variant's
// instruction set (engine/cpu_level.h).
#pragma once

#include <cstddef>
#include <cstdint>

#include "obs/yuv_frame.h"
#include "obs/yuv_matrix.h"

// NV12 or I420: 8-bit, chroma halved both ways, planar or semi-planar.
inline bool isYuv420Bytes(const YuvLayout& l)
{
    return l.bits == 8 && l.chromaShiftX == 1 && l.chromaShiftY == 1 &&
           l.packing != YuvPacking::Packed422;
}

// P010 or I010: 10-bit codes in 16-bit samples, chroma halved both ways.
inline bool isYuv420Words(const YuvLayout& l)
{
    return l.bits == 10 && l.chromaShiftX == 1 && l.chromaShiftY == 1 &&
           l.packing != YuvPacking::Packed422;
}

int yuv420ToWorkAvx2(const YuvLayout& layout, const YuvPlanes& frame, const CodeMatrix& m,
                     uint8_t* work, ptrdiff_t workPitch);
int workToYuv420Avx2(const YuvLayout& layout, const uint8_t* work, ptrdiff_t workPitch,
                     const CodeMatrix& m, const YuvPlanes& frame);

int yuv420ToWorkAvx512(const YuvLayout& layout, const YuvPlanes& frame, const CodeMatrix& m,
                       uint8_t* work, ptrdiff_t workPitch);
int workToYuv420Avx512(const YuvLayout& layout, const uint8_t* work, ptrdiff_t workPitch,
                       const CodeMatrix& m, const YuvPlanes& frame);
// P010 and I010 into the filter's 16-bit words and back (AVX-512 only).
int yuv420WordsToWorkAvx512(const YuvLayout& layout, const YuvPlanes& frame, const CodeMatrix& m,
                            uint8_t* work, ptrdiff_t workPitch);
int workToYuv420WordsAvx512(const YuvLayout& layout, const uint8_t* work, ptrdiff_t workPitch,
                            const CodeMatrix& m, const YuvPlanes& frame);
