// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "plugin/render_frame.h"

#include "platform/thread_executor.h"
#include "plugin/engine_state.h"

FrameReport renderFrame(FilterState& state, const LinkedFrame* linked, const ConstPlane& source,
                        const Plane& destination)
{
    CorrectionHistory history = loadCorrectionHistory(state);
    const FrameSettings settings = loadFrameSettings(state, linked ? linked->values : nullptr);
    const FrameReport report =
        runFramePass(settings, history, linked ? linked->links : FrameLinks{}, source, destination,
                     threadExecutor());
    storeCorrectionHistory(state, history);
    return report;
}
