// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// Checks the module's compiled "Setting" dialog resource, byte for byte as Windows reads
// it, against the control table the native tests use.
#pragma once

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

void checkSettingTemplate(HMODULE module);
