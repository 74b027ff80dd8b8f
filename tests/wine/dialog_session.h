// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// Plays a user in the module's real modal dialog. Steps run one by one from the host
// window's queue while the dialog manager's modal loop is running, so messages a step
// posts (keys, the close box) are delivered before the next step looks at the result.
#pragma once

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <functional>
#include <vector>

// A step returns false to be run again a little later (waiting for something outside).
using DialogStep = std::function<bool(HWND dialog)>;

// The top-level window that owns the dialog; created once.
HWND sessionHostWindow();

// Calls `configure` (which shows the modal dialog) and plays `steps` in it. Returns what
// `configure` returned; a step that never runs, or a dialog still open after the last
// step, is a failed check.
int runDialogSession(const std::function<int(HWND parent)>& configure,
                     std::vector<DialogStep> steps);

// The user's actions, as the window system delivers them.
void pressKey(HWND control, UINT key);  // key down and up, sent to the control
void postKey(HWND control, UINT key);   // key down through the dialog's message loop
void click(HWND dialog, int id);        // a mouse click on a button
