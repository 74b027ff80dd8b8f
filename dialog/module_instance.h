// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The module's instance handle, stored by DllMain at process attach; the dialog template
// is loaded through it.
#pragma once

#include "dialog/win32_api.h"

extern HINSTANCE g_hInst;
