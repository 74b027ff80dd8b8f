// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The correction phase: every destination pixel from the source pixel at the same
// position, through the frame's three curves, on one worker thread per processor.
// Worker i takes rows i, i + n, i + 2n, ... (interleaved, so the workers' shares differ
// by at most one row whatever the frame height).
#pragma once

#include <cstdint>

#include "engine/deep_remap.h"
#include "engine/plane.h"
#include "engine/remap.h"
#include "engine/remap_row.h"
#include "engine/row_executor.h"

struct CorrectionParams;

struct WorkerTask {
    const uint8_t* source;  // row 0 of the source
    uint8_t* destination;   // row 0 of the destination
    int32_t frameHeight;
    int32_t frameWidth;
    int32_t threadCount;    // the row step
    int32_t threadIndex;    // the first row
    ptrdiff_t sourcePitch;  // bytes from row y to row y + 1
    ptrdiff_t destinationPitch;
    const RemapTables* tables;  // built once per frame from the nine correction values
    RemapRowFunction remapRow;  // the kernel cpuLevel() allowed when the frame began
    // Deep frames (PixelFormat::Bgra64) only: the curves and their row kernel.
    const DeepCurves* deepCurves;
    RemapDeepRowFunction remapDeepRow;
    DeepRemapMemo* sharedMemo;  // the linked host's table, or null: the worker's own
};

// Worker entry: remaps the task's rows. Its one argument is the WorkerTask.
void progres(void* task);

// The same for deep frames: on a worker's own stack with a DeepRemapMemo, or, on the
// host's, with the curve computed per component.
void progresDeep(void* task);
void progresDeepOnCaller(void* task);
// Through the table the workers share (WorkerTask::sharedMemo).
void progresDeepShared(void* task);

// Builds the frame's tables into `tables` (the caller's, so that the overlays can read
// them; a deep frame is remapped through its DeepCurves instead, in `deepCache` when the
// host keeps one), fills one task per worker (threadCount, bounded to 1..kMaxWorkers) and
// hands them to the executor as one job each; returns when every row has been written.
// Every worker uses the row kernel of cpuLevel(), asked once per frame.
void runCorrectionPhase(const ConstPlane& source, const Plane& destination,
                        const CorrectionParams& applied, int threadCount, RowExecutor& executor,
                        RemapTables& tables, DeepRemapCache* deepCache = nullptr);

// Reference twin: one thread, the curve formula evaluated for every component.
void runCorrectionReference(const ConstPlane& source, const Plane& destination,
                            const CorrectionParams& applied);
