// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// Loads the filter module the way a host does, by path, and finds its two exports.
#pragma once

#include <string>

#include "host/vdx_filter.h"

struct LoadedModule {
    void* handle = nullptr;
    VDXFilterModuleInit2Proc init = nullptr;
    VDXFilterModuleDeinitProc deinit = nullptr;
};

// False, with a reason, when the module or one of its exports is missing.
bool loadModule(const char* path, LoadedModule& module, std::string& error);
void unloadModule(LoadedModule& module);
