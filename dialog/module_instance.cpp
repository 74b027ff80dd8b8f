// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "dialog/module_instance.h"

HINSTANCE g_hInst = nullptr;
