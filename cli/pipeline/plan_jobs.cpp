// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "cli/pipeline/plan_jobs.h"

#include "cli/pipeline/two_pass.h"
#include "cli/pipeline/video_run.h"
#include "engine/scene_cuts.h"
#include "linked/pre_roll.h"

namespace
{

// Pass 1 discards the frames and runs the cut detector at the default sensitivity unless
// one is given (0 keeps its meaning, off: one scene unless the plan is edited).
CliOptions asFirstPass(const CliOptions& given)
{
    CliOptions o = given;
    o.output.assign(1, '-');
    o.format = std::string_view("null");
    if (!o.given[kSceneCutsSetting]) o.settings[kSceneCutsSetting] = kSceneCutsDefault;
    return o;
}

}  // namespace

RunResult runMeasure(const CliOptions& options)
{
    VideoRun run(asFirstPass(options));
    const CliOptions& o = run.options();
    if (std::string usage = run.checkOutputs({{"--analyse", o.analysePath}}); !usage.empty())
        return RunResult::usage(usage);
    std::string error;
    if (!run.openInput(error) || !run.start(preRollFrames(o.settings), error) ||
        !run.choosePath(error) || !run.openFilter(error))
        return RunResult::failure(error);
    run.filter().measureOnly();
    if (!run.run(error)) return RunResult::failure(error);
    const bool whole = run.range().start == 0 && run.range().count < 0;
    const PassPlan plan =
        planFromMeasures(o, run.input().decoder()->width, run.input().decoder()->height,
                         run.stats().frames(), whole);
    OutputFile planFile;
    if (!writeWholeFile(planFile, o.analysePath, formatPlan(plan), error) ||
        !run.commit(error, &planFile))
        return RunResult::failure(error);
    run.report("measured, plan written to " + o.analysePath);
    return RunResult::ok();
}

RunResult runApplyPlan(const CliOptions& options)
{
    VideoRun run(options);
    CliOptions& o = run.options();
    if (std::string usage = run.checkOutputs({}, {{"--plan", o.planPath}}); !usage.empty())
        return RunResult::usage(usage);
    std::string error;
    PassPlan plan;
    if (!run.openInput(error) || !loadPlanFor(o.planPath, run.input(), plan, error))
        return RunResult::failure(error);
    if (std::string usage = adoptPlanSettings(plan, o); !usage.empty())
        return RunResult::usage(usage);
    // No frame of pass 2 depends on another: no pre-roll.
    if (!run.start(0, error) || !run.choosePath(error)) return RunResult::failure(error);
    // Checked again on every frame as it is filtered; a frame a seek landed on before the
    // range may decode incomplete (an open GOP), so only an output frame here.
    if (run.startsOnRange() && !checkPlanFrame(plan, {run.filterSettings(), run.deep(), run.turn()},
                                               &run.firstFrame(), run.firstIndex(), error))
        return RunResult::failure("'" + o.planPath + "': " + error);
    if (!run.openFilter(error)) return RunResult::failure(error);
    run.filter().usePlan(plan);
    if (!run.openOutput(error) || !run.run(error)) return RunResult::failure(error);
    if (run.counts().inputEnded && run.counts().decoded != plan.frames)
        return RunResult::failure("the input has " + std::to_string(run.counts().decoded) +
                                  " frames, the plan '" + o.planPath + "' " +
                                  std::to_string(plan.frames) + ": the plan is not this input's");
    if (!run.commit(error)) return RunResult::failure(error);
    run.report(run.doneText());
    return RunResult::ok();
}
