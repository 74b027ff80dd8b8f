// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The one description of the filter's settings: the eight script settings in script
// order, then the two switches the host does not save. Every form a host shows is made
// from this table: InitProc's defaults, the summary and the script line, the script
// function, the command line's options, --help, the manual page and range checks, the
// dialog's ranges and the frei0r parameters. A new setting is a row here and its
// FilterState field (and, for the engine to see it, its FrameSettings field).
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

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

struct Setting {
    const char* name;  // as the summary, the command line and parameter lists spell it
    int scriptIndex;   // argument of Config(...) and place in the summary, or kNotScripted
    int defaultValue;  // what InitProc sets
    SettingKind kind;
    // What a host's control offers and the command line accepts; a script stores any
    // int. Strengths and flags are the dialog's range too; a margin's dialog slider runs
    // 1 .. extent - 15 of its frame dimension (dialog/dialog_rules.h).
    SettingRange range;
    const char* help;  // one line, lower case, no full stop
    int FilterState::*field;
};

constexpr int kNotScripted = -1;

// clang-format off
inline constexpr Setting kSettings[] = {
    {"gamma",     0, 15, SettingKind::Strength, {0, 40}, "curve strength", &FilterState::gamma},
    {"alignment", 1, 15, SettingKind::Strength, {0, 40}, "black/white point alignment strength",
     &FilterState::alignment},
    {"border",    2, 0, SettingKind::Flag, {0, 1}, "analyse only inside the margins",
     &FilterState::border},
    {"top",       3, 8, SettingKind::MarginRows, {0, 65535}, "top margin in rows", &FilterState::top},
    {"left",      4, 8, SettingKind::MarginColumns, {0, 65535}, "left margin in columns",
     &FilterState::left},
    {"right",     5, 8, SettingKind::MarginColumns, {0, 65535}, "right margin in columns",
     &FilterState::right},
    {"bottom",    6, 8, SettingKind::MarginRows, {0, 65535}, "bottom margin in rows",
     &FilterState::bottom},
    {"freeze",    7, 0, SettingKind::Flag, {0, 1}, "keep the frozen correction instead of measuring",
     &FilterState::freeze},
    {"disable",   kNotScripted, 0, SettingKind::Flag, {0, 1}, "apply the identity correction",
     &FilterState::disable},
    {"histogram", kNotScripted, 0, SettingKind::Flag, {0, 1},
     "draw the histogram graph into the output", &FilterState::showHistogram},
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

// Position of the row that describes `field`, -1 for fields that are no setting.
constexpr int settingIndexOf(int FilterState::*field)
{
    for (int i = 0; i < kSettingCount; ++i)
        if (kSettings[i].field == field) return i;
    return -1;
}

// The frame dimension a margin counts in, as FilterState keeps it; null for other kinds.
constexpr int FilterState::*extentOf(SettingKind kind)
{
    return kind == SettingKind::MarginRows      ? &FilterState::height
           : kind == SettingKind::MarginColumns ? &FilterState::width
                                                : nullptr;
}
