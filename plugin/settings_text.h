// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The settings' two text forms, both made from the settings table: the summary the host
// shows next to the filter's name, " (gamma 15, alignment 15, ...)", and the script line
// it saves and replays, "Config(15,15,0,8,8,8,8,0)". Both list the script settings in
// script order.
#pragma once

#include <cstddef>

#include "plugin/settings_table.h"

// Both return the full length the text needs, like snprintf; the buffer always ends up
// terminated when size > 0, cut when the text is longer.
int formatSummary(char* buffer, size_t size, const SettingValues& values);
int formatScriptLine(char* buffer, size_t size, const SettingValues& values);
