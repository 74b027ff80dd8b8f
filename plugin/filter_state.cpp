// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "plugin/filter_state.h"

#include <type_traits>

#include "plugin/engine_state.h"
#include "plugin/setting_binding.h"

static_assert(std::is_trivially_copyable_v<FilterState>, "the host may clone instances by memcpy");

void resetFilterState(FilterState& state, int processorCount, int width, int height)
{
    state.preview = nullptr;
    state.threadCount = processorCount < 1 ? 1 : processorCount;
    storeCorrectionHistory(state, identityHistory());
    state.gammaBackup = state.borderBackup = state.alignmentBackup = state.freezeBackup = 0;
    for (int& m : state.marginBackup) m = 0;
    for (int i = 0; i < kRecordSettingCount; ++i)
        storeShared(state.*kSettingBindings[i].field, kSettings[i].defaultValue);
    storeShared(state.dialogClosed, 1);
    storeShared(state.reserve, 0);
    storeShared(state.width, width);
    storeShared(state.height, height);
}
