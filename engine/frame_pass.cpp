#include "engine/frame_pass.h"

#include <atomic>

#include "engine/correction_phase.h"
#include "engine/frame_settings.h"
#include "engine/overlays.h"

namespace
{

std::atomic<FrameObserver> g_observer{nullptr};
std::atomic<void*> g_observerContext{nullptr};

void report(const FilterState& state, const ChannelLevels& levels, const CorrectionParams& applied)
{
    const FrameObserver observer = g_observer.load(std::memory_order_acquire);
    if (observer != nullptr)
        observer(g_observerContext.load(std::memory_order_acquire), state,
                 FrameReport{levels, applied});
}

Plane destinationSized(const ConstPlane& source, const Plane& destination)
{
    return Plane{destination.row0, destination.pitch, source.width, source.height};
}

}  // namespace

void setFrameObserver(FrameObserver observer, void* context)
{
    // Set while no frame runs; the context goes first so a reader never pairs a new
    // observer with an old context.
    g_observerContext.store(context, std::memory_order_release);
    g_observer.store(observer, std::memory_order_release);
}

int runFramePass(FilterState& state, const ConstPlane& source, const Plane& destination,
                 RowExecutor& executor)
{
    const FrameSettings settings = loadFrameSettings(state);
    const Plane target = destinationSized(source, destination);

    const ChannelLevels levels = measureChannelLevels(source, settings);
    const CorrectionParams applied = deriveCorrectionParams(state, settings, levels);
    report(state, levels, applied);
    runCorrectionPhase(source, target, applied, settings.threadCount, executor);

    if (settings.border && !settings.dialogClosed) drawBorderOutline(target, settings);
    if (settings.showHistogram) drawHistogramGraph(target);
    return 0;
}

int runFramePassReference(FilterState& state, const ConstPlane& source, const Plane& destination)
{
    const FrameSettings settings = loadFrameSettings(state);
    const Plane target = destinationSized(source, destination);

    const ChannelLevels levels = measureChannelLevelsReference(source, settings);
    const CorrectionParams applied = deriveCorrectionParams(state, settings, levels);
    runCorrectionReference(source, target, applied);

    if (settings.border && !settings.dialogClosed) drawBorderOutlineReference(target, settings);
    if (settings.showHistogram) drawHistogramGraphReference(target);
    return 0;
}
