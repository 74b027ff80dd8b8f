// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The module's parameters as frei0r hosts see them: one per row of the settings table, in
// its order, so FFmpeg's positional list starts gamma, alignment, border, top, left,
// right, bottom, freeze, disable, histogram, and the linked-only settings follow. Hosts
// set them by position (FFmpeg) or by name (GStreamer, MLT); every value is a double in
// 0..1, booleans included.
#pragma once

#include <array>

#include "plugin/settings_table.h"

constexpr int kParameterCount = kSettingCount;

struct ParameterInfo {
    const char* name;
    int type;  // F0R_PARAM_DOUBLE, or F0R_PARAM_BOOL for a flag
    const char* explanation;
    double defaultValue;
};

// Made once from the settings table; null for an index outside it.
const ParameterInfo* parameterInfo(int index);

// The values as last set, each within 0..1; booleans are exactly 0 or 1.
using ParameterValues = std::array<double, kParameterCount>;

ParameterValues defaultParameterValues();

// Stores one value a host sets. Out-of-range values are clamped to 0..1 (infinities
// included), booleans become 0 or 1 at the frei0r threshold of 0.5; a NaN or an index
// outside the table changes nothing. False when nothing was stored.
bool storeParameter(ParameterValues& values, int index, double value);

// The settings for one frame of the instance's size. Strengths: round(value x 40).
// Margins: round(value x height) for rows and round(value x width) for columns, so a
// setting covers the same part of the picture on a proxy as on the full-size clip.
SettingValues toSettingValues(const ParameterValues& values, int width, int height);
