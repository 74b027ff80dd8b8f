// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// --preview N: frame N before and after, side by side, as one PNG, rendered as the
// host's dialog preview renders it: with the dialog open the frame's own (un-averaged)
// values are applied and the margin outline is drawn when border is set. Both halves
// carry the histogram graph, of the input on the left and of the result on the right.
#pragma once

#include "cli/command/run_result.h"

struct CliOptions;

RunResult runPreview(const CliOptions& options);
