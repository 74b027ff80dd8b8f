// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The filter's properties as OBS shows and saves them, one per row of the settings
// table under the row's name: strengths as sliders, flags as check boxes, margins as
// pixel counts of the frame. OBS keeps them in the scene collection; a value it has not
// stored is the row's default.
#pragma once

#include <obs-module.h>

#include "plugin/settings_table.h"

void setSettingDefaults(obs_data_t* data);
// `label` looks a row's name up in the module's locale (obs_module_text).
obs_properties_t* makeSettingProperties(const char* (*label)(const char* name));
SettingValues readSettingValues(obs_data_t* data);
