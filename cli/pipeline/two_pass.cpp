// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "cli/pipeline/two_pass.h"

#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

#include "cli/command/options.h"
#include "cli/media/filter_frames.h"
#include "cli/media/media_input.h"
#include "cli/media/output_file.h"
#include "cli/pipeline/filter_session.h"
#include "cli/report/side_outputs.h"

namespace
{

constexpr int kPlanAnalysis[] = {settingIndex("border"), settingIndex("top"), settingIndex("left"),
                                 settingIndex("right"), settingIndex("bottom")};

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
    const SettingValues& s = o.settings;
    plan.gamma = s[settingIndex("gamma")];
    plan.alignment = s[settingIndex("alignment")];
    int* analysis[] = {&plan.border, &plan.top, &plan.left, &plan.right, &plan.bottom};
    for (size_t i = 0; i < std::size(kPlanAnalysis); ++i) *analysis[i] = s[kPlanAnalysis[i]];
    plan.sceneCuts = s[kSceneCutsSetting];
    for (const FrameStats& f : frames)
        plan.measured.push_back(
            MeasuredFrame{f.levels, static_cast<SceneEvent>(f.restart), f.putBack});
    if (whole) {
        plan.planning = o.planning;
        planCorrections(plan);
    }
    return plan;
}

namespace
{

bool readPlan(const std::string& path, PassPlan& plan, std::string& error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot read " + planName(path);
        return false;
    }
    std::stringstream text;
    text << in.rdbuf();
    if (!parsePlan(text.str(), plan, error)) {
        error = planName(path) + ": " + error;
        return false;
    }
    return true;
}

}  // namespace

RunResult runPlanning(const CliOptions& o)
{
    PassPlan plan;
    std::string error;
    if (!readPlan(o.planFrom, plan, error)) return RunResult::failure(error);
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
    if (!readPlan(path, plan, error)) return false;
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
    if (input.statedFrames() > 0 && input.statedFrames() != plan.frames) {
        error = planName(path) + " has " + std::to_string(plan.frames) +
                " frames, the input states " + std::to_string(input.statedFrames()) +
                ": the plan is not this input's";
        return false;
    }
    return true;
}

void adoptPlanSettings(const PassPlan& plan, CliOptions& o)
{
    const int analysis[] = {plan.border, plan.top, plan.left, plan.right, plan.bottom};
    for (size_t i = 0; i < std::size(kPlanAnalysis); ++i)
        o.settings[kPlanAnalysis[i]] = analysis[i];
    o.settings[kSceneCutsSetting] = 0;
}

bool checkPlanFrame(const PassPlan& plan, const CliOptions& o, const AVFrame* frame, int64_t index,
                    std::string& error)
{
    if (index < 0 || index >= static_cast<int64_t>(plan.measured.size())) {
        error = "the plan has no frame " + std::to_string(index) + ": it is not this input's";
        return false;
    }
    ToFilterConverter converter(frame->width, frame->height);
    FramePtr converted;
    if (!converter.convert(frame, converted, error)) return false;
    FilterSession session;
    if (!session.open(o.settings, frame->width, frame->height, error)) return false;
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
