// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The one description of the filter's settings: the eight script settings in script
// order, then the two switches the host does not save, then the linked-only settings.
// Every form a host shows is made from this table: InitProc's defaults, the summary and
// the script line, the script function, the frame pass's settings snapshot, the dialog's
// ranges and Cancel copies, the command line's options, --help, the manual page and
// range checks, and the frei0r parameters.
//
// A linked-only setting has no FilterState field: the record is the host's, its size is
// the module's inst_data_size, and it never changes. Only hosts that link the filter
// offer such a setting (the command line, the frei0r module, the farm); they hand its
// value to RunProc through the linked frame (plugin/linked_frame.h), and the Windows
// module's InitProc, script, summary and dialog never see it. Its rows come after every
// row with a field, so the frei0r parameters keep their positions.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "engine/frame_settings.h"
#include "engine/scene_cuts.h"
#include "plugin/filter_state.h"

enum class SettingKind {
    Strength,       // a slider position
    Flag,           // 0 or 1, a check box
    MarginRows,     // rows counted from the top or the bottom edge
    MarginColumns,  // columns counted from the left or the right edge
};

struct SettingRange {
    int low, high;
};

// Where the dialog keeps a setting's copy for Cancel (an accessor, since the margins'
// copies are the elements of one array).
using BackupSlot = int& (*)(FilterState&);

struct Setting {
    const char* name;  // as the summary, the command line and parameter lists spell it
    int scriptIndex;   // argument of Config(...) and place in the summary, or kNotScripted
    int defaultValue;  // what InitProc sets, and what a host that gives no value renders with
    SettingKind kind;
    // What a host's control offers and the command line accepts; a script stores any
    // int. Strengths and flags are the dialog's range too; a margin's dialog slider runs
    // 1 .. extent - 15 of its frame dimension (dialog/dialog_rules.h).
    SettingRange range;
    const char* help;  // one line, lower case, no full stop
    // Where the engine reads it; null for a setting only a host acts on.
    int FrameSettings::*frame = nullptr;
    // The instance record's field; null for a linked-only setting.
    int FilterState::*field = nullptr;
    BackupSlot backup = nullptr;  // null: the dialog keeps no copy
};

constexpr int kNotScripted = -1;

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
inline constexpr Setting kSettings[] = {
    {.name = "gamma", .scriptIndex = 0, .defaultValue = 15, .kind = SettingKind::Strength,
     .range = {0, 40}, .help = "curve strength",
     .frame = &FrameSettings::gamma, .field = &FilterState::gamma,
     .backup = backupField<&FilterState::gammaBackup>},
    {.name = "alignment", .scriptIndex = 1, .defaultValue = 15, .kind = SettingKind::Strength,
     .range = {0, 40}, .help = "black/white point alignment strength",
     .frame = &FrameSettings::alignment, .field = &FilterState::alignment,
     .backup = backupField<&FilterState::alignmentBackup>},
    {.name = "border", .scriptIndex = 2, .defaultValue = 0, .kind = SettingKind::Flag,
     .range = {0, 1}, .help = "analyse only inside the margins",
     .frame = &FrameSettings::border, .field = &FilterState::border,
     .backup = backupField<&FilterState::borderBackup>},
    {.name = "top", .scriptIndex = 3, .defaultValue = 8, .kind = SettingKind::MarginRows,
     .range = {0, 65535}, .help = "top margin in rows",
     .frame = &FrameSettings::top, .field = &FilterState::top, .backup = marginBackup<0>},
    {.name = "left", .scriptIndex = 4, .defaultValue = 8, .kind = SettingKind::MarginColumns,
     .range = {0, 65535}, .help = "left margin in columns",
     .frame = &FrameSettings::left, .field = &FilterState::left, .backup = marginBackup<1>},
    {.name = "right", .scriptIndex = 5, .defaultValue = 8, .kind = SettingKind::MarginColumns,
     .range = {0, 65535}, .help = "right margin in columns",
     .frame = &FrameSettings::right, .field = &FilterState::right, .backup = marginBackup<2>},
    {.name = "bottom", .scriptIndex = 6, .defaultValue = 8, .kind = SettingKind::MarginRows,
     .range = {0, 65535}, .help = "bottom margin in rows",
     .frame = &FrameSettings::bottom, .field = &FilterState::bottom, .backup = marginBackup<3>},
    {.name = "freeze", .scriptIndex = 7, .defaultValue = 0, .kind = SettingKind::Flag,
     .range = {0, 1}, .help = "keep the frozen correction instead of measuring",
     .frame = &FrameSettings::freeze, .field = &FilterState::freeze,
     .backup = backupField<&FilterState::freezeBackup>},
    {.name = "disable", .scriptIndex = kNotScripted, .defaultValue = 0, .kind = SettingKind::Flag,
     .range = {0, 1}, .help = "apply the identity correction",
     .frame = &FrameSettings::disable, .field = &FilterState::disable},
    {.name = "histogram", .scriptIndex = kNotScripted, .defaultValue = 0,
     .kind = SettingKind::Flag, .range = {0, 1}, .help = "draw the histogram graph into the output",
     .frame = &FrameSettings::showHistogram, .field = &FilterState::showHistogram},
    // Linked-only settings follow here: no .field and no .backup.
    {.name = "scene-cuts", .scriptIndex = kNotScripted, .defaultValue = 0,
     .kind = SettingKind::Strength, .range = {0, kSceneCutsMax},
     .help = "restart the averaging at hard cuts: sensitivity, 0 off, 85 recommended",
     .frame = &FrameSettings::sceneCuts},
    {.name = "balance", .scriptIndex = kNotScripted, .defaultValue = 0, .kind = SettingKind::Flag,
     .range = {0, 1},
     .help = "the balance correction: removes casts from robust channel ends, leaves a "
             "scene's own colour alone",
     .frame = &FrameSettings::balance},
    {.name = "strength", .scriptIndex = kNotScripted, .defaultValue = 100,
     .kind = SettingKind::Strength, .range = {0, 100},
     .help = "with balance: how much of the balance correction is applied, in %",
     .frame = &FrameSettings::balanceStrength},
};
// clang-format on
static_assert(kSceneCutsDefault == 85, "the scene-cuts help names the recommended value");

constexpr int kSettingCount = static_cast<int>(std::size(kSettings));

constexpr int countScriptSettings()
{
    int n = 0;
    for (const Setting& s : kSettings) n += s.scriptIndex != kNotScripted ? 1 : 0;
    return n;
}
constexpr int kScriptSettingCount = countScriptSettings();

// The script settings come first, in script order, so the first kScriptSettingCount
// values of a SettingValues are the arguments of Config(...).
constexpr bool scriptSettingsComeFirst()
{
    for (int i = 0; i < kSettingCount; ++i)
        if (kSettings[i].scriptIndex != (i < kScriptSettingCount ? i : kNotScripted)) return false;
    return true;
}
static_assert(scriptSettingsComeFirst());

constexpr bool isLinkedOnly(const Setting& s)
{
    return s.field == nullptr;
}

// The rows with a record field, script or not, come before every linked-only row.
constexpr int countRecordSettings()
{
    int n = 0;
    while (n < kSettingCount && !isLinkedOnly(kSettings[n])) ++n;
    for (int i = n; i < kSettingCount; ++i)
        if (!isLinkedOnly(kSettings[i]) || kSettings[i].backup != nullptr) return -1;
    return n;
}
constexpr int kRecordSettingCount = countRecordSettings();
static_assert(kRecordSettingCount >= kScriptSettingCount, "linked-only rows come last");

// One value per setting, in table order.
using SettingValues = std::array<int, kSettingCount>;

constexpr SettingValues defaultSettingValues()
{
    SettingValues v{};
    for (int i = 0; i < kSettingCount; ++i) v[i] = kSettings[i].defaultValue;
    return v;
}

// Position of the named setting in the table, -1 for none.
constexpr int settingIndex(std::string_view name)
{
    for (int i = 0; i < kSettingCount; ++i)
        if (name == kSettings[i].name) return i;
    return -1;
}

constexpr int kSceneCutsSetting = settingIndex("scene-cuts");
static_assert(kSceneCutsSetting >= 0);
constexpr int kBalanceSetting = settingIndex("balance");
static_assert(kBalanceSetting >= 0);

// Position of the row that describes `field`, -1 for fields that are no setting.
constexpr int settingIndexOf(int FilterState::*field)
{
    for (int i = 0; i < kSettingCount; ++i)
        if (field != nullptr && kSettings[i].field == field) return i;
    return -1;
}

// The frame dimension a margin counts in, as FilterState keeps it; null for other kinds.
constexpr int FilterState::*extentOf(SettingKind kind)
{
    return kind == SettingKind::MarginRows      ? &FilterState::height
           : kind == SettingKind::MarginColumns ? &FilterState::width
                                                : nullptr;
}
