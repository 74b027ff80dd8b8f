// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "mlt/planned_frames.h"

#include <cmath>
#include <fstream>
#include <sstream>

bool PlannedFrames::load(const std::string& path, std::string& error)
{
    if (path == path_) {
        error = error_;
        return error_.empty();
    }
    path_ = path;
    error_.clear();
    plan_ = PassPlan{};
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    if (!file)
        error_ = "cannot read the plan " + path;
    else if (!parsePlan(text.str(), plan_, error_))
        error_ = path + ": " + error_;
    else if (plan_.applied.empty())
        error_ = path + " holds measurements only: plan them with telvo --plan-from";
    error = error_;
    return error_.empty();
}

const CorrectionParams* PlannedFrames::at(int64_t position) const
{
    if (!error_.empty() || position < 0 || position >= static_cast<int64_t>(plan_.applied.size()))
        return nullptr;
    return &plan_.applied[static_cast<size_t>(position)];
}

SettingValues PlannedFrames::adopt(SettingValues values, int width, int height) const
{
    for (size_t i = 0; i < kPlanSettingCount; ++i) {
        const int index = settingIndex(kPlanSettings[i].name);
        if (index < 0) continue;
        int v = plan_.settings[i];
        const SettingKind kind = kSettings[index].kind;
        const int extent = kind == SettingKind::MarginRows ? height : width;
        const int planExtent = kind == SettingKind::MarginRows ? plan_.height : plan_.width;
        if ((kind == SettingKind::MarginRows || kind == SettingKind::MarginColumns) &&
            planExtent > 0 && extent != planExtent)
            v = static_cast<int>(std::floor(static_cast<double>(v) * extent / planExtent + 0.5));
        values[static_cast<size_t>(index)] = v;
    }
    values[kSceneCutsSetting] = 0;
    return values;
}
