// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The plan of a two-pass run as text (docs/two-pass.md): what the first pass measured in
// every frame, where the scenes start, and the correction the second pass applies to
// each frame. Lines of comma-separated fields, the first naming the line's kind; '#'
// starts a comment line. A person may edit the `apply` lines (a scene's hand-set
// correction is one line over its frames); numbers are written in the shortest form
// that reads back to the same double, so a plan read and written again is unchanged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "engine/correction_params.h"
#include "engine/scene_plan.h"

// The settings a plan records, each a row of the settings table by name: the first
// kPlanLineSettings in the order of its `settings` line, then the balance correction's,
// which only a plan made with it holds (its `balance` line, with the strength), so a plan
// without it reads and writes as before it existed. Pass 2 measures with the plan's
// `analysis` settings (the region pass 1 measured), so that it can check each frame
// against the plan; the others are what the corrections were derived with.
struct PlanSetting {
    std::string_view name;
    bool analysis;
};
inline constexpr PlanSetting kPlanSettings[] = {
    {"gamma", false},   {"alignment", false}, {"border", true}, {"top", true},
    {"left", true},     {"right", true},      {"bottom", true}, {"scene-cuts", false},
    {"balance", false}, {"strength", false},
};
inline constexpr size_t kPlanSettingCount = std::size(kPlanSettings);
inline constexpr size_t kPlanLineSettings = 8;
inline constexpr size_t kPlanBalance = 8, kPlanStrength = 9;
static_assert(kPlanSettings[kPlanBalance].name == "balance" &&
              kPlanSettings[kPlanStrength].name == "strength" &&
              kPlanLineSettings == kPlanBalance && kPlanSettingCount == kPlanStrength + 1);

struct PassPlan {
    int width = 0, height = 0;
    int64_t frames = 0;         // the input's frames; measured holds them all in a whole plan
    int64_t firstMeasured = 0;  // the first measured frame (a part's, for telvo-farm)
    int settings[kPlanSettingCount] = {};  // as kPlanSettings lists them
    // With settings[kPlanBalance] on, each measured frame holds its balance estimate.
    std::string planning;  // "scene" or "smooth:N"; empty in measurements only
    std::vector<MeasuredFrame> measured;
    std::vector<CorrectionParams> applied;  // one per frame; empty in measurements only

    int setting(std::string_view name) const;
};

std::string formatPlan(const PassPlan& plan);

// Reads a plan or measurements line by line; false with `error` naming the first line
// that is wrong, read no further. A plan must measure every frame once, in order, and
// its `apply` lines cover every frame exactly once. `inputFrames` (when > 0, the frames
// the input states) bounds what the plan may hold: memory grows with the lines read,
// never with a count a line states. A line longer than kPlanLineLimit is refused.
inline constexpr size_t kPlanLineLimit = 4096;
bool readPlanText(std::istream& in, PassPlan& plan, std::string& error, int64_t inputFrames = 0);
bool parsePlan(const std::string& text, PassPlan& plan, std::string& error);

// Why a frame is refused when it does not measure as the plan says.
std::string planMismatch(int64_t frame);

// The `applied` corrections of plan.measured as plan.planning asks ("scene" or
// "smooth:N", as --planning checked it), with the plan's gamma and alignment.
void planCorrections(PassPlan& plan);
