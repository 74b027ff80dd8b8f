// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "cli/pipeline/two_pass.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <fstream>

#include "cli/command/options.h"
#include "cli/media/filter_frames.h"
#include "cli/media/media_input.h"
#include "cli/media/output_clash.h"
#include "cli/media/output_file.h"
#include "cli/pipeline/filter_session.h"
#include "cli/report/side_outputs.h"

namespace
{

static_assert(std::ranges::all_of(kPlanSettings,
                                  [](const PlanSetting& s) { return settingIndex(s.name) >= 0; }),
              "a plan records rows of the settings table");

std::string planName(const std::string& path)
{
    return "the plan '" + path + "'";
}

}  // namespace

PassPlan planFromMeasures(const CliOptions& o, int width, int height,
                          const std::vector<FrameStats>& frames, bool whole)
{
    PassPlan plan;
    plan.width = width;
    plan.height = height;
    plan.firstMeasured = frames.empty() ? 0 : frames.front().frame;
    plan.frames = plan.firstMeasured + static_cast<int64_t>(frames.size());
    for (size_t i = 0; i < kPlanSettingCount; ++i)
        plan.settings[i] = o.settings[settingIndex(kPlanSettings[i].name)];
    for (const FrameStats& f : frames)
        plan.measured.push_back(
            MeasuredFrame{f.levels, static_cast<SceneEvent>(f.restart), f.putBack, f.balance});
    if (whole) {
        plan.planning = o.planning;
        planCorrections(plan);
    }
    return plan;
}

namespace
{

// Read line by line: a file that is no plan (a video, /dev/zero) is refused at its first
// line, and a plan may hold no more frames than the input states (`inputFrames` > 0).
bool readPlan(const std::string& path, PassPlan& plan, std::string& error, int64_t inputFrames = 0)
{
    struct stat info {
    };
    if (stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
        error = planName(path) + " is a folder, not a plan file";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot read " + planName(path);
        return false;
    }
    if (!readPlanText(in, plan, error, inputFrames)) {
        error = planName(path) + ": " + error;
        return false;
    }
    return true;
}

std::string settingText(int index, int value)
{
    if (kSettings[index].kind == SettingKind::Flag) return value != 0 ? "on" : "off";
    return std::to_string(value);
}

// A usage message for a setting the command line gives other than the plan's.
std::string settingClash(const PassPlan& plan, const CliOptions& o)
{
    for (size_t i = 0; i < kPlanSettingCount; ++i) {
        const int index = settingIndex(kPlanSettings[i].name);
        const int mine = o.settings[size_t(index)], theirs = plan.settings[i];
        if (o.given[size_t(index)] && mine != theirs)
            return "--" + std::string(kPlanSettings[i].name) + " " + settingText(index, mine) +
                   " is not the plan's " + settingText(index, theirs) +
                   ": the plan's corrections were derived with its own settings (give them "
                   "to --analyse, or edit the plan's apply lines)";
    }
    return {};
}

}  // namespace

RunResult runPlanning(const CliOptions& o)
{
    if (std::string clash =
            findOutputClash({}, {{"--analyse", o.analysePath}}, {{"--plan-from", o.planFrom}});
        !clash.empty())
        return RunResult::usage(clash);
    PassPlan plan;
    std::string error;
    if (!readPlan(o.planFrom, plan, error)) return RunResult::failure(error);
    // The measurements say which settings plan them: another one given would do nothing.
    if (std::string clash = settingClash(plan, o); !clash.empty()) return RunResult::usage(clash);
    if (plan.firstMeasured != 0 || static_cast<int64_t>(plan.measured.size()) != plan.frames)
        return RunResult::failure(planName(o.planFrom) + " measures " +
                                  std::to_string(plan.measured.size()) + " of its " +
                                  std::to_string(plan.frames) + " frames");
    plan.planning = o.planning;
    planCorrections(plan);
    OutputFile file;
    if (!writeWholeFile(file, o.analysePath, formatPlan(plan), error) || !file.commit(error))
        return RunResult::failure(error);
    return RunResult::ok();
}

bool loadPlanFor(const std::string& path, const MediaInput& input, PassPlan& plan,
                 std::string& error)
{
    if (!readPlan(path, plan, error, input.statedFrames())) return false;
    if (plan.applied.empty()) {
        error = planName(path) + " holds measurements only, no correction (plan it first)";
        return false;
    }
    const int width = input.decoder()->width, height = input.decoder()->height;
    if (plan.width != width || plan.height != height) {
        error = planName(path) + " is for " + std::to_string(plan.width) + "x" +
                std::to_string(plan.height) + " pictures, the input's are " +
                std::to_string(width) + "x" + std::to_string(height) +
                ": the plan is not this input's";
        return false;
    }
    // The settings are a hand-edited file's too: pass 2 renders with them.
    for (size_t i = 0; i < kPlanSettingCount; ++i) {
        const Setting& row = kSettings[settingIndex(kPlanSettings[i].name)];
        if (plan.settings[i] < row.range.low || plan.settings[i] > row.range.high) {
            error = planName(path) + ": its " + std::string(row.name) + " " +
                    std::to_string(plan.settings[i]) + " is outside " +
                    std::to_string(row.range.low) + ".." + std::to_string(row.range.high);
            return false;
        }
    }
    return true;
}
std::string adoptPlanSettings(const PassPlan& plan, CliOptions& o)
{
    if (std::string clash = settingClash(plan, o); !clash.empty()) return clash;
    for (size_t i = 0; i < kPlanSettingCount; ++i)
        o.settings[size_t(settingIndex(kPlanSettings[i].name))] = plan.settings[i];
    if (o.planningGiven && o.planning != plan.planning)
        return "--planning " + o.planning + " is not the plan's " + plan.planning +
               " (plan again with --analyse)";
    // No frame of pass 2 depends on another: there is no history for a cut to restart.
    o.settings[kSceneCutsSetting] = 0;
    return {};
}

bool checkPlanFrame(const PassPlan& plan, const FilterPath& path, const AVFrame* frame,
                    int64_t index, std::string& error)
{
    if (index < 0 || index >= static_cast<int64_t>(plan.measured.size())) {
        error = "the plan has no frame " + std::to_string(index) + ": it is not this input's";
        return false;
    }
    ToFilterConverter converter(frame->width, frame->height, false, path.deep);
    PictureTurner turner(path.turn, frame->width, frame->height,
                         ToFilterConverter::layoutFor(false, path.deep));
    FramePtr converted;
    if (!converter.convert(frame, converted, error) ||
        (path.turn.turns() && !turner.turn(converted, error)))
        return false;
    const int width = converted->width, height = converted->height;
    FilterSession session;
    if (!session.open(path.settings, width, height, error, path.deep)) return false;
    session.measureOnly();
    FrameReport report;
    if (!session.run(converted.get(), converted.get(), index, &report)) {
        error = session.whyNoReport(index);
        return false;
    }
    const ChannelLevels& planned = plan.measured[static_cast<size_t>(index)].levels;
    if (std::memcmp(&planned, &report.levels, sizeof planned) != 0) {
        error = planMismatch(index);
        return false;
    }
    return true;
}
