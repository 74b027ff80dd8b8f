// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "obs/settings_data.h"

#include <algorithm>

void setSettingDefaults(obs_data_t* data)
{
    for (const Setting& s : kSettings) {
        if (s.kind == SettingKind::Flag)
            obs_data_set_default_bool(data, s.name, s.defaultValue != 0);
        else
            obs_data_set_default_int(data, s.name, s.defaultValue);
    }
}

obs_properties_t* makeSettingProperties(const char* (*label)(const char* name))
{
    obs_properties_t* props = obs_properties_create();
    for (const Setting& s : kSettings) {
        // The label from the locale file, keyed by the row's name; the row's help line
        // as the tooltip.
        const char* text = label(s.name);
        obs_property_t* p = nullptr;
        switch (s.kind) {
            case SettingKind::Flag:
                p = obs_properties_add_bool(props, s.name, text);
                break;
            case SettingKind::Strength:
                p = obs_properties_add_int_slider(props, s.name, text, s.range.low, s.range.high,
                                                  1);
                break;
            case SettingKind::MarginRows:
            case SettingKind::MarginColumns:
                p = obs_properties_add_int(props, s.name, text, s.range.low, s.range.high, 1);
                obs_property_int_set_suffix(p, " px");
                break;
        }
        obs_property_set_long_description(p, s.help);
    }
    return props;
}

SettingValues readSettingValues(obs_data_t* data)
{
    SettingValues values{};
    for (int i = 0; i < kSettingCount; ++i) {
        const Setting& s = kSettings[i];
        if (s.kind == SettingKind::Flag) {
            values[i] = obs_data_get_bool(data, s.name) ? 1 : 0;
        } else {
            // A hand-edited scene collection may hold anything.
            const long long v = obs_data_get_int(data, s.name);
            values[i] = static_cast<int>(std::clamp<long long>(v, s.range.low, s.range.high));
        }
    }
    return values;
}
