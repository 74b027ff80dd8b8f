// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// FilterState as the engine sees it. The record keeps the host's fixed layout; the engine
// works on its own plain records, and these copy between the two.
#pragma once

#include "engine/correction_history.h"
#include "engine/frame_settings.h"

struct FilterState;

// The settings snapshot for one frame, each shared field read once.
FrameSettings loadFrameSettings(const FilterState& state);

// The record's `history` and `frozen`, which only the frame pass and InitProc touch.
CorrectionHistory loadCorrectionHistory(const FilterState& state);
void storeCorrectionHistory(FilterState& state, const CorrectionHistory& history);
