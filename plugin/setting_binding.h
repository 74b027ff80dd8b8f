// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// Where the plug-in keeps each setting of the table (plugin/settings_table.h): the
// FrameSettings field the engine reads, the instance record's field, and the dialog's
// copy for Cancel. One binding per row, in table order; only the plug-in, the dialog and
// the linked filter see it, so the hosts above stay free of the record's layout.
#pragma once

#include "engine/frame_settings.h"
#include "engine/scene_cuts.h"
#include "plugin/filter_state.h"
#include "plugin/settings_table.h"

// Where the dialog keeps a setting's copy for Cancel (an accessor, since the margins'
// copies are the elements of one array).
using BackupSlot = int& (*)(FilterState&);

struct SettingBinding {
    const char* name;                     // the row's, checked below
    int FrameSettings::*frame = nullptr;  // where the engine reads it; null: only a host acts
    int FilterState::*field = nullptr;    // the record's field; null for a linked-only setting
    BackupSlot backup = nullptr;          // null: the dialog keeps no copy
};

template <int FilterState::*kBackup>
int& backupField(FilterState& state)
{
    return state.*kBackup;
}

template <int kSlot>
int& marginBackup(FilterState& state)
{
    return state.marginBackup[kSlot];
}

// clang-format off
inline constexpr SettingBinding kSettingBindings[] = {
    {"gamma", &FrameSettings::gamma, &FilterState::gamma, backupField<&FilterState::gammaBackup>},
    {"alignment", &FrameSettings::alignment, &FilterState::alignment,
     backupField<&FilterState::alignmentBackup>},
    {"border", &FrameSettings::border, &FilterState::border,
     backupField<&FilterState::borderBackup>},
    {"top", &FrameSettings::top, &FilterState::top, marginBackup<0>},
    {"left", &FrameSettings::left, &FilterState::left, marginBackup<1>},
    {"right", &FrameSettings::right, &FilterState::right, marginBackup<2>},
    {"bottom", &FrameSettings::bottom, &FilterState::bottom, marginBackup<3>},
    {"freeze", &FrameSettings::freeze, &FilterState::freeze,
     backupField<&FilterState::freezeBackup>},
    {"disable", &FrameSettings::disable, &FilterState::disable},
    {"histogram", &FrameSettings::showHistogram, &FilterState::showHistogram},
    {"scene-cuts", &FrameSettings::sceneCuts},
    {"balance", &FrameSettings::balance},
    {"strength", &FrameSettings::balanceStrength},
};
// clang-format on

// One binding per row, in the table's order, with a record field exactly where the row
// is not linked-only.
constexpr bool bindingsMatchTheTable()
{
    if (std::size(kSettingBindings) != std::size(kSettings)) return false;
    for (int i = 0; i < kSettingCount; ++i) {
        if (std::string_view(kSettingBindings[i].name) != kSettings[i].name) return false;
        if ((kSettingBindings[i].field == nullptr) != isLinkedOnly(kSettings[i])) return false;
        if (isLinkedOnly(kSettings[i]) && kSettingBindings[i].backup != nullptr) return false;
    }
    return true;
}
static_assert(bindingsMatchTheTable());
static_assert(kSettings[kSceneCutsSetting].range.high == kSceneCutsMax);
static_assert(kSceneCutsDefault == 85, "the scene-cuts help names the recommended value");

// Position of the row that describes `field`, -1 for fields that are no setting.
constexpr int settingIndexOf(int FilterState::*field)
{
    for (int i = 0; i < kSettingCount; ++i)
        if (field != nullptr && kSettingBindings[i].field == field) return i;
    return -1;
}

// The frame dimension a margin counts in, as FilterState keeps it; null for other kinds.
constexpr int FilterState::*extentOf(SettingKind kind)
{
    return kind == SettingKind::MarginRows      ? &FilterState::height
           : kind == SettingKind::MarginColumns ? &FilterState::width
                                                : nullptr;
}

// Every setting as the record holds it now, each shared field read once; the linked-only
// ones, which the record does not hold, at their defaults.
SettingValues loadSettingValues(const FilterState& state);

// The kScriptSettingCount values of a Config(...) call, in script order, stored
// unchecked as the host's script function stores them.
void storeScriptSettings(FilterState& state, const int* values);

// The record's settings the script does not carry (the host's switches), as the dialog's
// check boxes store them.
void storeSwitches(FilterState& state, const SettingValues& values);
