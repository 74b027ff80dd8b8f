// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// How far back a frame's correction reaches: a run that starts at frame N and first
// renders this many earlier frames, showing none of them, gives frame N and every later
// frame exactly as a run from the start does. The five-frame history reaches back four
// frames; the cut detector, when it is on, further (engine/scene_cuts.h).
#pragma once

#include "plugin/settings_table.h"

int preRollFrames(const SettingValues& settings);
