// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The dialog's rules as plain functions, free of any window: trackbar ranges, the margin
// rule, the Cancel backups and what ConfigProc reports.
#pragma once

#include <cstdint>

struct FilterState;

// The margin trackbars run from kMarginMinimum to marginMaximum(extent) = extent - 15.
// Computed in 32-bit two's complement, so a script-sized extent wraps as it would in the
// original int arithmetic instead of being undefined.
constexpr int32_t kMarginMinimum = 1;
int32_t marginMaximum(int32_t extent);

// TBM_SETRANGE's packed argument: minimum in the low 16 bits, maximum in the high 16.
// Only the low 16 bits of each survive, as on Windows.
uint32_t packedTrackbarRange(int32_t minimum, int32_t maximum);

// The margin rule, applied after one margin was moved to `position`: when fewer than 10
// rows (or columns) would stay between it and the `opposite` margin in a frame of
// `extent`, the opposite margin yields to extent - 10 - position. The moved margin always
// keeps its position. Signed 32-bit arithmetic, wrapping instead of overflowing, so
// margins and sizes from a script cannot make it undefined.
struct MarginYield {
    bool yields;
    int32_t opposite;  // the opposite margin's value after the rule
};
MarginYield applyMarginRule(int32_t extent, int32_t position, int32_t opposite);

// Copies of the settings whose table row names a backup (the eight script settings),
// taken when the dialog opens and put back by Cancel. disable, showHistogram and reserve
// have no copy.
void takeBackups(FilterState& state);
void restoreBackups(FilterState& state);

// The dialog's result (Ok: the button's id; Cancel: 0; not created: -1) as ConfigProc
// reports it to the host: 0 when the user accepted, 1 otherwise.
int configResult(int64_t dialogResult);
