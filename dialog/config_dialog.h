// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The "Setting" dialog's procedure. It keeps no state of its own: the dialog window holds
// the instance's FilterState address in DWLP_USER, set at WM_INITDIALOG.
#pragma once

#include "dialog/win32_api.h"

INT_PTR CALLBACK ConfigDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
