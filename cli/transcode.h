// The main job: every frame of INPUT through the filter into OUTPUT.
#pragma once

#include "cli/run_result.h"

struct CliOptions;

RunResult runTranscode(const CliOptions& options);
