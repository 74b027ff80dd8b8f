#include "engine/frame_pass.h"

#include "engine/correction_phase.h"
#include "engine/overlays.h"

namespace
{

Plane destinationSized(const ConstPlane& source, const Plane& destination)
{
    return Plane{destination.row0, destination.pitch, source.width, source.height};
}

}  // namespace

FrameReport runFramePass(const FrameSettings& settings, CorrectionHistory& history,
                         const ConstPlane& source, const Plane& destination, RowExecutor& executor)
{
    const Plane target = destinationSized(source, destination);

    const ChannelLevels levels = measureChannelLevels(source, settings);
    const CorrectionParams applied = deriveCorrectionParams(history, settings, levels);
    runCorrectionPhase(source, target, applied, settings.threadCount, executor);

    if (settings.border && !settings.dialogClosed) drawBorderOutline(target, settings);
    if (settings.showHistogram) drawHistogramGraph(target);
    return FrameReport{levels, applied};
}

FrameReport runFramePassReference(const FrameSettings& settings, CorrectionHistory& history,
                                  const ConstPlane& source, const Plane& destination)
{
    const Plane target = destinationSized(source, destination);

    const ChannelLevels levels = measureChannelLevelsReference(source, settings);
    const CorrectionParams applied = deriveCorrectionParams(history, settings, levels);
    runCorrectionReference(source, target, applied);

    if (settings.border && !settings.dialogClosed) drawBorderOutlineReference(target, settings);
    if (settings.showHistogram) drawHistogramGraphReference(target);
    return FrameReport{levels, applied};
}
