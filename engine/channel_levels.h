// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// Histogram analysis of a source frame: per channel a low level, a high level and a
// median, each a bin number held as a double.
//
// Each histogram is flattened by clipping its peaks (see peak_threshold.h), smoothed by
// a five-point least-squares line fit, and read: the low level is where the smoothed
// mass counted up from bin 1 first reaches L = (smallest channel total) / 50, the high
// level likewise down from bin 254, the median where the mass counted up from bin 0
// first exceeds half of the channel's own total.
//
// Ties between a running sum and its bound happen in ordinary frames (an all-black
// frame is one), so the last bit matters: the smoothing multiplies exact integer sums
// by the constants 0.2 and 0.1 (never divides by 5 or 10), sums run bin by bin in the
// stated order, the levels compare with >= L and the median with > S * 0.5.
#pragma once

#include <cstdint>

#include "engine/histogram.h"
#include "engine/plane.h"

struct FrameSettings;

// Per-channel values are spelled one way in the engine: an array indexed by named
// constants, as CorrectionParams::value[kBlackR].
// clang-format off
enum LevelIndex {
    kLowR, kLowG, kLowB,           // 1..127; 127 when the search ran out
    kHighR, kHighG, kHighB,        // 128..254; 128 when the search ran out
    kMedianR, kMedianG, kMedianB,  // 0..255; 0 for an empty region
    kLevelCount
};
// clang-format on

struct ChannelLevels {
    double value[kLevelCount];  // in LevelIndex order
};

// The rows and columns the analysis counts: the whole frame, or with `border` set the
// rows bottom-1 <= y < height-top and columns left-1 <= x < width-right, cut to the
// frame. Margins may be any int; the arithmetic is 64-bit so nothing overflows.
PixelRegion analysisRegion(int width, int height, const FrameSettings& settings);

using ThresholdFunction = uint64_t (*)(const uint64_t histogram[256]);

// Clipping, smoothing and level search on counted histograms.
ChannelLevels levelsFromHistograms(const ChannelHistograms& counted, ThresholdFunction threshold);

// The analysis of the reference pass: plain counting on one thread, stepped threshold.
// The frame pass counts on its workers instead (analysis_phase.h).
ChannelLevels measureChannelLevelsReference(const ConstPlane& source,
                                            const FrameSettings& settings);
