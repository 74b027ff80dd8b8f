// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "mlt/properties.h"

#include <algorithm>
#include <cmath>

void setDefaultProperties(mlt_properties properties)
{
    for (const Setting& row : kSettings)
        mlt_properties_set_int(properties, row.name, row.defaultValue);
}

namespace
{

// A margin of `value` pixels of the project's frame, in pixels of the rendered one
// (nearest, halves up), so a preview at half size analyses the same part of the picture.
int scaledMargin(int value, int rendered, int project)
{
    if (project <= 0 || rendered == project) return value;
    return static_cast<int>(std::floor(static_cast<double>(value) * rendered / project + 0.5));
}

}  // namespace

SettingValues settingsAt(mlt_properties properties, const SettingsPlace& place)
{
    SettingValues values{};
    for (int i = 0; i < kSettingCount; ++i) {
        const Setting& row = kSettings[i];
        int v = row.defaultValue;
        if (mlt_properties_get(properties, row.name) != nullptr)
            v = mlt_properties_anim_get_int(properties, row.name, place.position, place.length);
        if (row.kind == SettingKind::MarginRows)
            v = scaledMargin(v, place.height, place.profileHeight);
        else if (row.kind == SettingKind::MarginColumns)
            v = scaledMargin(v, place.width, place.profileWidth);
        values[i] = std::clamp(v, row.range.low, row.range.high);
    }
    return values;
}
