// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The module's attach entry: remembers the instance handle the dialog template is loaded
// through, and nothing else.
#include "dialog/module_instance.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) g_hInst = instance;
    return TRUE;
}
