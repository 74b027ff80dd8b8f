// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// Reads the script line the host saves, "Config(g,a,b,t,l,r,bo,f)", back into the script
// settings. Values are taken as the host's script replay takes them: any 32-bit int.
#pragma once

#include <string>

#include "plugin/settings_table.h"

// Sets the script settings of `settings` (the first kScriptSettingCount values) and
// leaves the others. False with a one-line reason (naming the offending argument and
// the expected form), and `settings` untouched, when the text is not exactly one such
// call.
bool parseConfigLine(const std::string& text, SettingValues& settings, std::string& error);
