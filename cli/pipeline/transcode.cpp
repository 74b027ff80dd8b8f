// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "cli/pipeline/transcode.h"

#include "cli/pipeline/video_run.h"
#include "linked/pre_roll.h"

RunResult runTranscode(const CliOptions& options)
{
    VideoRun run(options);
    if (std::string usage = run.checkOutputs(); !usage.empty()) return RunResult::usage(usage);
    std::string error;
    if (!run.openInput(error) || !run.start(preRollFrames(options.settings), error) ||
        !run.choosePath(error) || !run.openFilter(error) || !run.openOutput(error) ||
        !run.run(error) || !run.commit(error))
        return RunResult::failure(error);
    run.report(run.doneText());
    return RunResult::ok();
}
