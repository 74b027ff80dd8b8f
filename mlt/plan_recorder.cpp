// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "mlt/plan_recorder.h"

#include <algorithm>
#include <cstdio>
#include <fstream>

void PlanRecorder::start(const std::string& path, int64_t frames, int width, int height,
                         const SettingValues& settings)
{
    int recorded[kPlanSettingCount];
    for (size_t i = 0; i < kPlanSettingCount; ++i)
        recorded[i] = settings[static_cast<size_t>(settingIndex(kPlanSettings[i].name))];
    if (path == path_ && frames == plan_.frames && width == plan_.width && height == plan_.height &&
        std::equal(recorded, recorded + kPlanSettingCount, plan_.settings))
        return;
    path_ = path;
    plan_ = PassPlan{};
    plan_.width = width;
    plan_.height = height;
    plan_.frames = frames;
    std::copy(recorded, recorded + kPlanSettingCount, plan_.settings);
    plan_.measured.assign(static_cast<size_t>(frames), MeasuredFrame{});
    seen_.assign(static_cast<size_t>(frames), false);
    missing_ = frames;
}

bool PlanRecorder::record(int64_t position, const FrameReport& report)
{
    if (position < 0 || position >= plan_.frames) return false;
    const auto at = static_cast<size_t>(position);
    plan_.measured[at] = MeasuredFrame{report.levels, report.scene, report.putBack, report.balance};
    if (seen_[at]) return false;
    seen_[at] = true;
    return --missing_ == 0;
}

bool PlanRecorder::write(std::string& error)
{
    plan_.planning = "scene";
    planCorrections(plan_);
    // Written beside and renamed, so a reader never sees half a plan.
    const std::string partial = path_ + ".partial";
    {
        std::ofstream out(partial, std::ios::binary | std::ios::trunc);
        out << formatPlan(plan_);
        if (!out.flush()) {
            error = "cannot write the plan " + path_;
            std::remove(partial.c_str());
            return false;
        }
    }
    if (std::rename(partial.c_str(), path_.c_str()) != 0) {
        error = "cannot write the plan " + path_;
        std::remove(partial.c_str());
        return false;
    }
    return true;
}
