// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The dialog's window-system calls: the real USER32/COMCTL32 on Windows, the in-memory
// stand-in elsewhere, so the same procedure is built and tested on both.
#pragma once

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
// commctrl.h needs the declarations of windows.h.
// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on
#else
#include "dialog/win32_subset.h"
#endif
