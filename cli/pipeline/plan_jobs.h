// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The two passes' jobs, beside transcode and preview (docs/two-pass.md): measuring the
// input into a plan, and applying a plan to it.
#pragma once

#include "cli/command/run_result.h"

struct CliOptions;

// `telvo INPUT --analyse PLAN`: every frame measured (no remap, no output), the plan
// written, planned when the whole input was measured.
RunResult runMeasure(const CliOptions& options);

// `telvo INPUT OUTPUT --plan PLAN`: each frame gets its planned correction; a plan that is
// not the input's, or settings it would ignore, are refused before anything is written.
RunResult runApplyPlan(const CliOptions& options);
