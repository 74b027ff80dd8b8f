// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The main job: every frame of INPUT through the filter into OUTPUT.
#pragma once

#include "cli/command/run_result.h"

struct CliOptions;

RunResult runTranscode(const CliOptions& options);
