// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// An in-memory stand-in for the USER32 / COMCTL32 calls of dialog/win32_subset.h, so the
// dialog procedure runs in native tests.
//
// The dialog manager is modelled in memory: each control keeps its check state, enable
// state, text and trackbar range, position and tick frequency; trackbars clamp as the
// common controls do (range ends are signed 16-bit, a position is clamped to the
// minimum first, then to the maximum). DialogBoxParamA builds the controls of a
// template registered by the caller, sends WM_INITDIALOG and then hands the open dialog
// to a session function that plays the user, until EndDialog.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "dialog/win32_api.h"

// What tests use to play the user and look at the controls.
namespace standin
{

enum class ControlKind { Trackbar, PushButton, CheckBox, GroupBox, Label };

struct ControlItem {
    int id;
    ControlKind kind;
    const char* caption;
    bool disabled;
};

struct ControlState {
    ControlKind kind;
    bool enabled;
    UINT checked;
    std::string text;
    int rangeMin = 0;  // trackbar defaults as the common controls create them
    int rangeMax = 100;
    int position = 0;
    int ticFrequency = 1;
};

// One message sent to a control, in order, for checking the procedure's steps.
struct SentMessage {
    int id;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

// Templates DialogBoxParamA can build, by resource id.
void registerDialog(int resourceId, std::vector<ControlItem> controls);

// Plays the user while the dialog is open; called once after WM_INITDIALOG. A session
// that returns without the dialog having ended leaves DialogBoxParamA returning -1.
void setSession(std::function<void(HWND dialog)> session);

// The next DialogBoxParamA fails with -1 without creating a window.
void failNextDialog();

// The user's actions, each delivered as the dialog manager would deliver it.
void dragTrackbar(HWND dialog, int id, int position, WORD code = TB_THUMBTRACK);
void clickButton(HWND dialog, int id);  // auto check boxes toggle; disabled ones ignore it
void pressEscape(HWND dialog);          // IDCANCEL, as for the caption's close box too
void pressEnter(HWND dialog);           // IDOK, the default command
void send(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The dialog last created; it can still be examined after it has ended.
HWND lastDialog();
bool hasEnded(HWND dialog);
const ControlState& control(HWND dialog, int id);
const std::vector<SentMessage>& sentMessages(HWND dialog);
HINSTANCE lastInstance();
HWND lastParent();

// Union of the classes registered through InitCommonControlsEx since the last reset.
DWORD registeredControlClasses();

// Forgets every dialog, template, session and registration.
void reset();

}  // namespace standin
