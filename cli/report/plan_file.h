// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The plan of a two-pass run as text (docs/two-pass.md): what the first pass measured in
// every frame, where the scenes start, and the correction the second pass applies to
// each frame. Lines of comma-separated fields, the first naming the line's kind; '#'
// starts a comment line. A person may edit the `apply` lines (a scene's hand-set
// correction is one line over its frames); numbers are written in the shortest form
// that reads back to the same double, so a plan read and written again is unchanged.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/correction_params.h"
#include "engine/scene_plan.h"

struct PassPlan {
    int width = 0, height = 0;
    int64_t frames = 0;         // the input's frames; measured holds them all in a whole plan
    int64_t firstMeasured = 0;  // the first measured frame (a part's, for telvo-farm)
    // The analysis settings pass 1 measured with (pass 2 measures alike, for the check)
    // and the strengths and the planning the corrections were derived with.
    int gamma = 0, alignment = 0, border = 0, top = 0, left = 0, right = 0, bottom = 0;
    int sceneCuts = 0;
    std::string planning;  // "scene" or "smooth:N"; empty in measurements only
    std::vector<MeasuredFrame> measured;
    std::vector<CorrectionParams> applied;  // one per frame; empty in measurements only
};

std::string formatPlan(const PassPlan& plan);

// Reads a plan or measurements; false with `error` naming the line. A plan must measure
// every frame once, in order, and its `apply` lines cover every frame exactly once.
bool parsePlan(const std::string& text, PassPlan& plan, std::string& error);

// Why a frame is refused when it does not measure as the plan says.
std::string planMismatch(int64_t frame);

// The `applied` corrections of plan.measured as plan.planning asks ("scene" or
// "smooth:N", as --planning checked it), with plan.gamma and plan.alignment.
void planCorrections(PassPlan& plan);
