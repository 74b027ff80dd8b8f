// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// What the correction carries from one frame to the next: the values of the last five
// frames, which are averaged while the dialog is closed, and the values freeze holds.
// A plain value: the host's instance record keeps it between frames and the frame pass
// updates it.
#pragma once

#include "engine/correction_params.h"

constexpr int kHistoryLength = 5;

struct CorrectionHistory {
    double history[kParamCount][kHistoryLength];  // per parameter, slot 0 newest
    double frozen[kParamCount];                   // in ParamIndex order
};

// Every slot and the frozen values set to the identity correction, as a new instance
// starts.
CorrectionHistory identityHistory();
