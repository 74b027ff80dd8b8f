// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The tone curve at 16 bits per channel: for a 16-bit value v,
//   t = (v / 257 - black) * inv,   out = round(pow(t, exponent) * 65535),
// clamped to 0..65535 with NaN -> 0, where inv = 1 / (white - black): the 8-bit curve
// (engine/remap.h) with the input taken on its continuous 8-bit scale and the output
// scaled to 16 bits, the same reciprocal and the same edge conventions.
//
// For v = 257 * n, v / 257 is exactly n, so t and pow(t, exponent) are the 8-bit curve's
// own; the outputs are round(255 p) and round(65535 p) of one p. Hence
// |out16 - 257 * out8| <= 128 (half an 8-bit step), with equality to 257 * out8 wherever
// the 8-bit curve clamps, and out16's 8-bit bin (round(out16 / 257)) is out8 or, where
// 255 p lies within 1/514 of a half, its neighbour.
//
// The row kernel fills a table lazily: a frame touches only the values it holds (1024
// per channel for 10-bit RGB), so building a full 65536-entry table (196 608 powers per
// frame, about 6 ms) would cost far more than it saves. The table is the workers' own
// (on their stacks), or, where the linked host keeps a DeepRemapCache, one shared by
// the workers and kept from frame to frame while the curves stay the same.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/remap.h"

inline uint16_t channelWordFromReal(double s)
{
    return channelFromReal<uint16_t>(s);
}

// The curve of one 16-bit component, reciprocal span given.
uint16_t remapDeepComponent(int v, double black, double reciprocalSpan, double exponent);

// Reference twin: the curve straight from the channel's three values.
uint16_t remapDeepComponentReference(int v, const ChannelCurve& curve);

// The frame's three curves with their reciprocal spans, as the kernels use them.
struct DeepCurves {
    ChannelCurve curve[3];  // blue, green, red: the pixel's word order
    double reciprocal[3];   // 1 / (white - black) of each
};

DeepCurves deepCurves(const ChannelCurve& r, const ChannelCurve& g, const ChannelCurve& b);

// A table: an entry is the curve's output for that input, or kUnfilled until a worker
// first meets the input. Entries are read and written with relaxed atomic accesses
// (plain moves on x86), so workers may share one: two that fill an entry at once write
// the same value. 768 KiB, so a worker's own lives on its stack, sized for it
// (kDeepRemapStackBytes), set to unfilled once per frame.
struct DeepRemapMemo {
    static constexpr uint32_t kUnfilled = 0xFFFFFFFF;
    alignas(64) uint32_t entry[3][65536];
};

// The linked host's shared table, with the curves it was filled for: cleared only when a
// frame's curves differ from those (bit for bit), so a steady correction fills it once.
struct DeepRemapCache {
    ChannelCurve curve[3]{};  // blue, green, red
    bool holds = false;       // false: nothing filled yet
    DeepRemapMemo memo;
};

// Makes `cache` hold `curves`' table: kept when it already does, cleared otherwise.
void prepareDeepRemapCache(const DeepCurves& curves, DeepRemapCache& cache);
constexpr size_t kDeepRemapStackBytes = size_t(2) << 20;

void clearDeepRemapMemo(DeepRemapMemo& memo);

// One row of deep pixels through the curves: out pixel x = the three curves of in pixel
// x, A word cleared. `in` and `out` may be the same row, or must not overlap.
using RemapDeepRowFunction = void (*)(const DeepCurves& curves, DeepRemapMemo& memo,
                                      const uint8_t* in, uint8_t* out, int width);
void remapDeepRowScalar(const DeepCurves& curves, DeepRemapMemo& memo, const uint8_t* in,
                        uint8_t* out, int width);
// The same through AVX-512 gathers of the table's entries; only ever called where
// detectedCpuLevel() is Avx512Vbmi (engine/kernel_table.h chooses).
void remapDeepRowAvx512(const DeepCurves& curves, DeepRemapMemo& memo, const uint8_t* in,
                        uint8_t* out, int width);

// The same row without a table, for a worker that runs on the host's stack.
void remapDeepRowDirect(const DeepCurves& curves, const uint8_t* in, uint8_t* out, int width);
