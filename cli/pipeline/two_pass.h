// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The two passes' own steps, which their jobs (plan_jobs.h) take between the steps every
// video job takes (docs/two-pass.md): pass 1's plan from its measurements; pass 2 reads a
// plan, refuses one that is not the input's before anything is written, takes its
// settings and checks frames against it. And the planning job of --plan-from.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/command/run_result.h"
#include "cli/media/display_turn.h"
#include "cli/report/frame_stats.h"
#include "linked/plan_file.h"
#include "plugin/settings_table.h"

struct AVFrame;
struct CliOptions;
class MediaInput;

// Pass 1's plan from the frames it measured, corrections planned as --planning asks
// unless the run measured a part of the input (--start, --frames: measurements only).
PassPlan planFromMeasures(const CliOptions& o, int width, int height,
                          const std::vector<FrameStats>& frames, bool whole);

// `telvo --plan-from MEASURES --analyse PLAN`: plans from measurements of every frame
// (pass 1's parts, joined) and writes the plan.
RunResult runPlanning(const CliOptions& o);

// Pass 2: reads and checks the plan against what the input states (picture size, frame
// count); false with `error` for a plan that is not this input's or has no corrections.
bool loadPlanFor(const std::string& path, const MediaInput& input, PassPlan& plan,
                 std::string& error);

// The settings the plan was made with, so that pass 2 measures alike and says what it
// applies; a usage message when the command line names a setting or --planning other
// than the plan's (it would have no effect), else empty.
std::string adoptPlanSettings(const PassPlan& plan, CliOptions& o);

// How the pipeline hands frames to the filter: its settings, 16 bits per channel or 8,
// and the turn applied to the pictures.
struct FilterPath {
    const SettingValues& settings;
    bool deep;
    const DisplayTurn& turn;
};

// Measures `frame` (frame number `index` of the input) as the pipeline will, on the
// same path, and compares the levels with the plan's: false with `error` when they
// differ.
bool checkPlanFrame(const PassPlan& plan, const FilterPath& path, const AVFrame* frame,
                    int64_t index, std::string& error);
