// The frame pass: analyse the source, settle the frame's correction, remap every pixel
// into the destination, draw the overlays. Both planes have the source's size; the
// destination's own size is never consulted.
#pragma once

#include "engine/channel_levels.h"
#include "engine/correction_params.h"
#include "engine/plane.h"
#include "engine/row_executor.h"

struct FilterState;

// What one frame measured and applied, for hosts that record statistics.
struct FrameReport {
    ChannelLevels levels;
    CorrectionParams applied;  // after freeze, averaging and disable
};

// Called by the frame pass itself, on the pass's thread, after the correction values
// are settled and before the workers start. Process-wide; null switches it off.
using FrameObserver = void (*)(void* context, const FilterState& state, const FrameReport& report);
void setFrameObserver(FrameObserver observer, void* context);

// Always returns 0: nothing in a frame is an error. The workers run on `executor`.
int runFramePass(FilterState& state, const ConstPlane& source, const Plane& destination,
                 RowExecutor& executor);

// Reference twin of the whole pass: plain counting, stepped threshold, the curve
// formula per component on one thread, overlays tested pixel by pixel. Same state
// updates, same bytes.
int runFramePassReference(FilterState& state, const ConstPlane& source, const Plane& destination);
