// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The settings table as MLT properties: one property per row, named as the row, holding
// the table's value (margins in pixels of the project's frame). Every property may be
// animated (MLT's keyframe strings, "0=15;50=30"); a frame renders with the values at its
// own position, so a keyframed strength is what the editor shows at each frame.
#pragma once

#include <framework/mlt.h>

#include "plugin/settings_table.h"

// The table's defaults, set on a new filter.
void setDefaultProperties(mlt_properties properties);

// Where a frame sits: its position in the filter and the filter's length (for
// animation), and the sizes margins are scaled between.
struct SettingsPlace {
    int position = 0, length = 0;
    int profileWidth = 0, profileHeight = 0;  // the project's frame, which margins count in
    int width = 0, height = 0;                // the frame as rendered (a preview may be smaller)
};

// The settings at one place: each value read at the position and clamped to the row's
// range; margins scaled from the project's frame to the rendered one.
SettingValues settingsAt(mlt_properties properties, const SettingsPlace& place);
