// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// Peak clipping threshold of one channel histogram: the largest whole t in 1..M (M the
// tallest bin) for which the mass standing above t, sum of max(0, h[i] - t), is more
// than half of the counted pixels; 1 when no t qualifies. 0 means "do not clip"
// (nothing was counted).
#pragma once

#include <cstdint>

// Closed form: bins sorted by height make the mass above t a piecewise linear function
// of t, solved segment by segment. 256 log 256 work whatever the pixel count.
uint64_t peakThreshold(const uint64_t histogram[256]);

// Reference twin: steps t down from M one value at a time, adding the number of bins
// above t, as the defining description does. Costs up to M steps of 256 comparisons.
uint64_t peakThresholdStepped(const uint64_t histogram[256]);
