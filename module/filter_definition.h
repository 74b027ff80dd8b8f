// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The module's one filter definition and its script object: the one place where the
// plug-in's callbacks (plugin/) and the configuration dialog (dialog/) meet.
#pragma once

#include "host/vdx_filter.h"

// The definition registered with the host: name, instance size and the callbacks.
extern VDXFilterDefinition g_myFilterDef;
// What the host's script language sees: one function, Config, in script_functions.
extern VDXScriptObject script_obj;
extern const VDXScriptFunctionDef script_functions[];

// What the host's add-filter call returned; handed back at removal.
extern VDXFilterDefinition* g_registeredFilterDef;
