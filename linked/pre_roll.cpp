// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "linked/pre_roll.h"

#include <algorithm>

#include "engine/correction_history.h"
#include "engine/scene_cuts.h"

int preRollFrames(const SettingValues& settings)
{
    const int history = kHistoryLength - 1;
    return settings[kSceneCutsSetting] > 0 ? std::max(history, kSceneLookBack) : history;
}
