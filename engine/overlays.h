// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// Overlays drawn into the corrected frame: the red outline of the analysis margins and
// the oblique histogram graph of the output. Row 0 is the picture's bottom row, so the
// graph stands at the lower left with its bars rising. Nothing outside the frame is
// read or written, whatever the margins.
#pragma once

#include <cstdint>

#include "engine/histogram.h"
#include "engine/plane.h"

struct FrameSettings;

constexpr uint32_t kOutlineColour = 0xFF0000;
constexpr uint32_t kGridColour = 0xFFFFFF;
constexpr uint32_t kRedBarColour = 0xFF6464;
constexpr uint32_t kGreenBarColour = 0x64FF64;
constexpr uint32_t kBlueBarColour = 0x6464FF;

// One-pixel outline enclosing columns left+1 .. W-right and rows bottom+1 .. H-top;
// its corner pixels are not drawn, and edges outside the frame are skipped.
void drawBorderOutline(const Plane& frame, const FrameSettings& settings);

// Counts the frame's output histograms and draws the grid and bars. Bars are
// count / 30 - 1 pixels tall; red lies in front of green, green in front of blue.
void drawHistogramGraph(const Plane& frame);

// The same graph from output histograms the caller already holds; they must equal a
// count of every pixel of the frame as it stands now.
void drawHistogramGraph(const Plane& frame, const ChannelHistograms& output);

// Reference twins: every pixel of the frame tested against every rule.
void drawBorderOutlineReference(const Plane& frame, const FrameSettings& settings);
void drawHistogramGraphReference(const Plane& frame);
