// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// How many frames before a wanted one must be run, not shown, for it to come out as in a
// whole run: the averaging's four, or the cut detector's look-back when it is on.
#pragma once

#include <algorithm>

#include "engine/correction_history.h"
#include "engine/scene_cuts.h"
#include "plugin/settings_table.h"

inline int preRollFrames(const SettingValues& settings)
{
    const int history = kHistoryLength - 1;
    return settings[kSceneCutsSetting] > 0 ? std::max(history, kSceneLookBack) : history;
}
