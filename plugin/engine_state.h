// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// FilterState as the engine sees it. The record keeps the host's fixed layout; the engine
// works on its own plain records, and these copy between the two.
#pragma once

#include "engine/correction_history.h"
#include "engine/frame_settings.h"
#include "plugin/filter_state.h"
#include "plugin/settings_table.h"

// The settings snapshot for one frame, made from the settings table: each shared field
// read once, and the linked-only settings taken from `linked` (every setting in table
// order, as a host that links the filter holds them), or their defaults without one.
FrameSettings loadFrameSettings(const FilterState& state, const SettingValues* linked = nullptr);

// The record's `history` and `frozen`, which only the frame pass and InitProc touch.
CorrectionHistory loadCorrectionHistory(const FilterState& state);
void storeCorrectionHistory(FilterState& state, const CorrectionHistory& history);
