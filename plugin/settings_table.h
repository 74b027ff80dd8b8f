// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The one description of the filter's settings: the eight script settings in script
// order, then the two switches the host does not save, then the linked-only settings.
// Every form a host shows is made from this table: InitProc's defaults, the summary and
// the script line, the script function, the frame pass's settings snapshot, the dialog's
// ranges and Cancel copies, the command line's options, --help, the manual page and
// range checks, and the frei0r, OBS and MLT parameters.
//
// This half is what every host may see: names, places, defaults, kinds, ranges and help,
// in plain types. Where the instance record and the engine keep each setting is the
// plug-in's business (plugin/setting_binding.h).
//
// A linked-only setting has no place in the instance record: the record is the host's,
// its size is the module's inst_data_size, and it stays so. Only hosts that link the
// filter offer such a setting (the command line, the frei0r, OBS and MLT modules, the
// farm); they hand its value to the frame pass with each frame, and the Windows module's
// InitProc, script, summary and dialog never see it. Its rows come after every other
// row, so the frei0r parameters keep their positions.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

enum class SettingKind {
    Strength,       // a slider position
    Flag,           // 0 or 1, a check box
    MarginRows,     // rows counted from the top or the bottom edge
    MarginColumns,  // columns counted from the left or the right edge
};

struct SettingRange {
    int low, high;
};

struct Setting {
    const char* name;  // as the summary, the command line and parameter lists spell it
    int scriptIndex;   // argument of Config(...) and place in the summary, or kNotScripted
    int defaultValue;  // what InitProc sets, and what a host that gives no value renders with
    SettingKind kind;
    // What a host's control offers and the command line accepts; a script stores any
    // int. Strengths and flags are the dialog's range too; a margin's dialog slider runs
    // 1 .. extent - 15 of its frame dimension (dialog/dialog_rules.h).
    SettingRange range;
    const char* help;         // one line, lower case, no full stop
    bool linkedOnly = false;  // no place in the host's record: only linking hosts offer it
};

constexpr int kNotScripted = -1;

// clang-format off
inline constexpr Setting kSettings[] = {
    {.name = "gamma", .scriptIndex = 0, .defaultValue = 15, .kind = SettingKind::Strength,
     .range = {0, 40}, .help = "curve strength"},
    {.name = "alignment", .scriptIndex = 1, .defaultValue = 15, .kind = SettingKind::Strength,
     .range = {0, 40}, .help = "black/white point alignment strength"},
    {.name = "border", .scriptIndex = 2, .defaultValue = 0, .kind = SettingKind::Flag,
     .range = {0, 1}, .help = "analyse only inside the margins"},
    {.name = "top", .scriptIndex = 3, .defaultValue = 8, .kind = SettingKind::MarginRows,
     .range = {0, 65535}, .help = "top margin in rows"},
    {.name = "left", .scriptIndex = 4, .defaultValue = 8, .kind = SettingKind::MarginColumns,
     .range = {0, 65535}, .help = "left margin in columns"},
    {.name = "right", .scriptIndex = 5, .defaultValue = 8, .kind = SettingKind::MarginColumns,
     .range = {0, 65535}, .help = "right margin in columns"},
    {.name = "bottom", .scriptIndex = 6, .defaultValue = 8, .kind = SettingKind::MarginRows,
     .range = {0, 65535}, .help = "bottom margin in rows"},
    {.name = "freeze", .scriptIndex = 7, .defaultValue = 0, .kind = SettingKind::Flag,
     .range = {0, 1}, .help = "keep the frozen correction instead of measuring"},
    {.name = "disable", .scriptIndex = kNotScripted, .defaultValue = 0, .kind = SettingKind::Flag,
     .range = {0, 1}, .help = "apply the identity correction"},
    {.name = "histogram", .scriptIndex = kNotScripted, .defaultValue = 0,
     .kind = SettingKind::Flag, .range = {0, 1}, .help = "draw the histogram graph into the output"},
    // Linked-only settings follow here.
    {.name = "scene-cuts", .scriptIndex = kNotScripted, .defaultValue = 0,
     .kind = SettingKind::Strength, .range = {0, 100},
     .help = "restart the averaging at hard cuts: sensitivity, 0 off, 85 recommended",
     .linkedOnly = true},
    {.name = "balance", .scriptIndex = kNotScripted, .defaultValue = 0, .kind = SettingKind::Flag,
     .range = {0, 1},
     .help = "the balance correction: removes casts from robust channel ends, leaves a "
             "scene's own colour alone",
     .linkedOnly = true},
    {.name = "strength", .scriptIndex = kNotScripted, .defaultValue = 100,
     .kind = SettingKind::Strength, .range = {0, 100},
     .help = "with balance: how much of the balance correction is applied, in %",
     .linkedOnly = true},
};
// clang-format on

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
    return s.linkedOnly;
}

// The rows the record holds, script or not, come before every linked-only row.
constexpr int countRecordSettings()
{
    int n = 0;
    while (n < kSettingCount && !isLinkedOnly(kSettings[n])) ++n;
    for (int i = n; i < kSettingCount; ++i)
        if (!isLinkedOnly(kSettings[i])) return -1;
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
