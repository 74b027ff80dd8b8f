// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "engine/correction_phase.h"

#include <algorithm>

#include "engine/correction_params.h"
#include "engine/deep_pixel.h"
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

template <typename Row>
void eachRow(const WorkerTask& task, Row row)
{
    for (int32_t y = task.threadIndex; y < task.frameHeight; y += task.threadCount) {
        const uint8_t* in = task.source + static_cast<ptrdiff_t>(y) * task.sourcePitch;
        uint8_t* out = task.destination + static_cast<ptrdiff_t>(y) * task.destinationPitch;
        row(in, out, task.frameWidth);
    }
}

void runDeepCorrectionReference(const ConstPlane& source, const Plane& destination,
                                const ChannelCurve& r, const ChannelCurve& g, const ChannelCurve& b)
{
    for (int y = 0; y < source.height; ++y) {
        for (int x = 0; x < source.width; ++x) {
            const uint64_t p = loadDeepPixel(source.pixel(x, y));
            storeDeepPixel(destination.pixel(x, y),
                           makeDeepPixel(remapDeepComponentReference(deepR(p), r),
                                         remapDeepComponentReference(deepG(p), g),
                                         remapDeepComponentReference(deepB(p), b)));
        }
    }
}

}  // namespace

void progresDeep(void* taskPointer)
{
    const WorkerTask& task = *static_cast<const WorkerTask*>(taskPointer);
    DeepRemapMemo memo;
    clearDeepRemapMemo(memo);
    eachRow(task, [&](const uint8_t* in, uint8_t* out, int width) {
        task.remapDeepRow(*task.deepCurves, memo, in, out, width);
    });
}

void progresDeepShared(void* taskPointer)
{
    const WorkerTask& task = *static_cast<const WorkerTask*>(taskPointer);
    eachRow(task, [&](const uint8_t* in, uint8_t* out, int width) {
        task.remapDeepRow(*task.deepCurves, *task.sharedMemo, in, out, width);
    });
}

void progresDeepOnCaller(void* taskPointer)
{
    const WorkerTask& task = *static_cast<const WorkerTask*>(taskPointer);
    eachRow(task, [&](const uint8_t* in, uint8_t* out, int width) {
        remapDeepRowDirect(*task.deepCurves, in, out, width);
    });
}

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
                        RemapTables& tables, DeepRemapCache* deepCache)
{
    ChannelCurve r, g, b;
    curvesOf(applied, r, g, b);
    buildRemapTables(r, g, b, tables);
    const KernelTable& kernels = kernelsFor(cpuLevel());
    const DeepCurves deep = deepCurves(r, g, b);
    const bool isDeep = source.format == PixelFormat::Bgra64;
    const bool shared = isDeep && deepCache != nullptr;
    if (shared) prepareDeepRemapCache(deep, *deepCache);

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
                              kernels.remapRow,
                              &deep,
                              kernels.remapDeepRow,
                              shared ? &deepCache->memo : nullptr};
        jobs[i] = shared   ? WorkerJob{progresDeepShared, &tasks[i], nullptr}
                  : isDeep ? WorkerJob{progresDeep, &tasks[i], progresDeepOnCaller}
                           : WorkerJob{progres, &tasks[i], nullptr};
    }
    executor.run(jobs, workers, isDeep && !shared ? kDeepRemapStackBytes : 0);
}

void runCorrectionReference(const ConstPlane& source, const Plane& destination,
                            const CorrectionParams& applied)
{
    if (source.empty() || destination.row0 == nullptr) return;
    ChannelCurve r, g, b;
    curvesOf(applied, r, g, b);
    if (source.format == PixelFormat::Bgra64) {
        runDeepCorrectionReference(source, destination, r, g, b);
        return;
    }
    for (int y = 0; y < source.height; ++y) {
        for (int x = 0; x < source.width; ++x) {
            const int32_t p = static_cast<int32_t>(loadPixel(source.pixel(x, y)));
            storePixel(destination.pixel(x, y), makePixel(remapComponentReference(GetR(p), r),
                                                          remapComponentReference(GetG(p), g),
                                                          remapComponentReference(GetB(p), b)));
        }
    }
}
