// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The "Setting" dialog's 27 controls as the user must see them, in tab and z order. The
// native tests build the stand-in's dialog from it; the Windows test host checks the
// compiled resource against it, so the two cannot drift apart silently.
#pragma once

enum class SettingControlKind {
    Trackbar,          // MSCTLS_TRACKBAR32: autoticks, top, tooltips, no tab stop
    PushButton,        // BUTTON, BS_PUSHBUTTON, tab stop
    CheckBox,          // BUTTON, BS_AUTOCHECKBOX, tab stop
    DisabledCheckBox,  // the same, WS_DISABLED
    GroupBox,          // BUTTON, BS_GROUPBOX
    CentredLabel,      // STATIC, SS_LEFT | SS_CENTERIMAGE
    Label,             // STATIC, SS_LEFT
};

struct SettingControl {
    int id;
    SettingControlKind kind;
    const char* caption;  // "" for none
    short x, y, cx, cy;   // dialog units
};

inline constexpr SettingControl kSettingControls[] = {
    {1001, SettingControlKind::Trackbar, "", 54, 12, 150, 24},
    {1015, SettingControlKind::PushButton, "Show preview", 10, 285, 60, 17},
    {1016, SettingControlKind::PushButton, "Ok", 98, 285, 44, 17},
    {1017, SettingControlKind::PushButton, "Cancel", 158, 285, 44, 17},
    {1002, SettingControlKind::CentredLabel, "Gamma", 12, 16, 26, 17},
    {1004, SettingControlKind::GroupBox, "", 4, 1, 204, 73},
    {1006, SettingControlKind::CheckBox, "Disable", 116, 109, 38, 16},
    {1008, SettingControlKind::CheckBox, "Border", 14, 109, 40, 16},
    {1009, SettingControlKind::CheckBox, "Show gistogramm", 116, 86, 78, 16},
    {1007, SettingControlKind::GroupBox, "", 4, 76, 100, 54},
    {1010, SettingControlKind::DisabledCheckBox, "Reserve", 14, 86, 38, 16},
    {1003, SettingControlKind::GroupBox, "", 106, 76, 102, 54},
    {1005, SettingControlKind::GroupBox, "", 4, 131, 204, 24},
    {1018, SettingControlKind::CheckBox, "Freeze", 14, 140, 88, 9},
    {1, SettingControlKind::GroupBox, "Border", 4, 159, 204, 118},
    {1019, SettingControlKind::Trackbar, "", 54, 171, 150, 24},
    {1020, SettingControlKind::Trackbar, "", 54, 195, 150, 24},
    {1021, SettingControlKind::Trackbar, "", 54, 219, 150, 24},
    {1022, SettingControlKind::Trackbar, "", 54, 243, 150, 24},
    {6, SettingControlKind::CentredLabel, "Top", 12, 177, 30, 13},
    {7, SettingControlKind::CentredLabel, "Left", 12, 201, 30, 13},
    {8, SettingControlKind::CentredLabel, "Right", 12, 225, 30, 13},
    {9, SettingControlKind::CentredLabel, "Bottom", 12, 249, 30, 13},
    {1023, SettingControlKind::Label, "IDC_STC", 164, 140, 24, 9},
    {3, SettingControlKind::Label, "Threads -", 128, 140, 30, 9},
    {4, SettingControlKind::CentredLabel, "Alignment", 12, 46, 36, 17},
    {1024, SettingControlKind::Trackbar, "", 54, 42, 150, 24},
};

static_assert(sizeof kSettingControls / sizeof kSettingControls[0] == 27);
