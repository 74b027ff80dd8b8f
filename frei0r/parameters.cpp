// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "frei0r/parameters.h"

#include <cmath>
#include <cstdio>

#include "frei0r/frei0r_api.h"

namespace
{

// Margin defaults are the table's pixels on the host's classic 640 x 480 frame, kept as
// that share of the picture at any other size (8 pixels: 18 rows and 24 columns at
// 1920 x 1080).
constexpr int kReferenceWidth = 640;
constexpr int kReferenceHeight = 480;

int extent(SettingKind kind, int width, int height)
{
    switch (kind) {
        case SettingKind::MarginRows:
            return height;
        case SettingKind::MarginColumns:
            return width;
        default:
            return 0;
    }
}

// The frei0r value of a setting: the inverse of toSettingValues at the reference size.
double valueOf(const Setting& s, int setting)
{
    switch (s.kind) {
        case SettingKind::Flag:
            return setting != 0 ? 1.0 : 0.0;
        case SettingKind::Strength:
            return static_cast<double>(setting - s.range.low) / (s.range.high - s.range.low);
        default:
            return static_cast<double>(setting) / extent(s.kind, kReferenceWidth, kReferenceHeight);
    }
}

// The table's help line, with what a frei0r value means for the setting.
void explain(const Setting& s, char* text, size_t size)
{
    switch (s.kind) {
        case SettingKind::Strength:
            std::snprintf(text, size, "%s, %d..%d: value x %d", s.help, s.range.low, s.range.high,
                          s.range.high - s.range.low);
            break;
        case SettingKind::MarginRows:
            std::snprintf(text, size, "%s: value x the frame height", s.help);
            break;
        case SettingKind::MarginColumns:
            std::snprintf(text, size, "%s: value x the frame width", s.help);
            break;
        default:
            std::snprintf(text, size, "%s", s.help);
            break;
    }
}

struct ParameterTable {
    ParameterTable()
    {
        for (int i = 0; i < kParameterCount; ++i) {
            const Setting& s = kSettings[i];
            explain(s, explanations[i], sizeof explanations[i]);
            info[i] = {s.name, s.kind == SettingKind::Flag ? F0R_PARAM_BOOL : F0R_PARAM_DOUBLE,
                       explanations[i], valueOf(s, s.defaultValue)};
        }
    }
    char explanations[kParameterCount][128];
    std::array<ParameterInfo, kParameterCount> info;
};

const ParameterTable& parameterTable()
{
    static const ParameterTable table;
    return table;
}

}  // namespace

const ParameterInfo* parameterInfo(int index)
{
    if (index < 0 || index >= kParameterCount) return nullptr;
    return &parameterTable().info[index];
}

ParameterValues defaultParameterValues()
{
    ParameterValues values;
    for (int i = 0; i < kParameterCount; ++i) values[i] = parameterTable().info[i].defaultValue;
    return values;
}

bool storeParameter(ParameterValues& values, int index, double value)
{
    if (index < 0 || index >= kParameterCount || std::isnan(value)) return false;
    if (kSettings[index].kind == SettingKind::Flag)
        values[index] = value >= 0.5 ? 1.0 : 0.0;
    else
        values[index] = value < 0.0 ? 0.0 : value > 1.0 ? 1.0 : value;
    return true;
}

SettingValues toSettingValues(const ParameterValues& values, int width, int height)
{
    SettingValues settings{};
    for (int i = 0; i < kParameterCount; ++i) {
        const Setting& s = kSettings[i];
        const double v = values[i];
        switch (s.kind) {
            case SettingKind::Flag:
                settings[i] = v >= 0.5 ? 1 : 0;
                break;
            case SettingKind::Strength:
                settings[i] =
                    static_cast<int>(std::lround(s.range.low + v * (s.range.high - s.range.low)));
                break;
            default:
                settings[i] = static_cast<int>(std::lround(v * extent(s.kind, width, height)));
                break;
        }
    }
    return settings;
}
