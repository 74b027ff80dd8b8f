// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "engine/correction_phase.h"

#include <algorithm>

#include "engine/correction_params.h"
#include "engine/kernel_table.h"
#include "engine/pixel.h"

namespace
{

void curvesOf(const CorrectionParams& p, ChannelCurve& r, ChannelCurve& g, ChannelCurve& b)
{
    // One division per channel and frame; identity curves give exactly 1.
    r = {p.value[kBlackR], p.value[kWhiteR], 1.0 / p.value[kCurveR]};
    g = {p.value[kBlackG], p.value[kWhiteG], 1.0 / p.value[kCurveG]};
    b = {p.value[kBlackB], p.value[kWhiteB], 1.0 / p.value[kCurveB]};
}

}  // namespace

void progres(void* taskPointer)
{
    const WorkerTask& task = *static_cast<const WorkerTask*>(taskPointer);
    const RemapTables& tables = *task.tables;
    for (int32_t y = task.threadIndex; y < task.frameHeight; y += task.threadCount) {
        const uint8_t* in = task.source + static_cast<ptrdiff_t>(y) * task.sourcePitch;
        uint8_t* out = task.destination + static_cast<ptrdiff_t>(y) * task.destinationPitch;
        task.remapRow(tables, in, out, task.frameWidth);
    }
}

void runCorrectionPhase(const ConstPlane& source, const Plane& destination,
                        const CorrectionParams& applied, int threadCount, RowExecutor& executor,
                        RemapTables& tables)
{
    ChannelCurve r, g, b;
    curvesOf(applied, r, g, b);
    buildRemapTables(r, g, b, tables);
    const RemapRowFunction remapRow = kernelsFor(cpuLevel()).remapRow;

    const int workers = std::clamp(threadCount, 1, kMaxWorkers);
    const bool empty = source.empty() || destination.row0 == nullptr;
    WorkerTask tasks[kMaxWorkers];
    WorkerJob jobs[kMaxWorkers];

    for (int i = 0; i < workers; ++i) {
        tasks[i] = WorkerTask{source.row0,
                              destination.row0,
                              empty ? 0 : source.height,
                              empty ? 0 : source.width,
                              workers,
                              i,
                              source.pitch,
                              destination.pitch,
                              &tables,
                              remapRow};
        jobs[i] = WorkerJob{progres, &tasks[i], nullptr};
    }
    executor.run(jobs, workers, 0);
}

void runCorrectionReference(const ConstPlane& source, const Plane& destination,
                            const CorrectionParams& applied)
{
    if (source.empty() || destination.row0 == nullptr) return;
    ChannelCurve r, g, b;
    curvesOf(applied, r, g, b);
    for (int y = 0; y < source.height; ++y) {
        for (int x = 0; x < source.width; ++x) {
            const int32_t p = static_cast<int32_t>(loadPixel(source.pixel(x, y)));
            storePixel(destination.pixel(x, y), makePixel(remapComponentReference(GetR(p), r),
                                                          remapComponentReference(GetG(p), g),
                                                          remapComponentReference(GetB(p), b)));
        }
    }
}
