// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "plugin/setting_binding.h"

#include "plugin/shared_field.h"

SettingValues loadSettingValues(const FilterState& state)
{
    SettingValues values;
    for (int i = 0; i < kSettingCount; ++i) {
        const int FilterState::*field = kSettingBindings[i].field;
        values[i] = field == nullptr ? kSettings[i].defaultValue : loadShared(state.*field);
    }
    return values;
}

void storeScriptSettings(FilterState& state, const int* values)
{
    for (int i = 0; i < kScriptSettingCount; ++i)
        storeShared(state.*kSettingBindings[i].field, values[i]);
}

void storeSwitches(FilterState& state, const SettingValues& values)
{
    for (int i = kScriptSettingCount; i < kRecordSettingCount; ++i)
        storeShared(state.*kSettingBindings[i].field, values[i]);
}
