// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The frame pass: analyse the source, settle the frame's correction, remap every pixel
// into the destination, draw the overlays. Both planes have the source's size; the
// destination's own size is never consulted.
#pragma once

#include "engine/balance_correction.h"
#include "engine/channel_levels.h"
#include "engine/correction_history.h"
#include "engine/correction_params.h"
#include "engine/frame_settings.h"
#include "engine/linked_carry.h"
#include "engine/plane.h"
#include "engine/row_executor.h"
#include "engine/scene_cuts.h"

// What one frame measured and applied, for hosts that record statistics.
struct FrameReport {
    ChannelLevels levels;
    CorrectionParams applied;  // after freeze, averaging and disable
    SceneEvent scene;          // none unless settings.sceneCuts is on
    int putBack = 0;           // with flashUndone: the frames taken back (1 or 2)
    // A measured frame with settings.balance: its own balance estimate at full strength, for
    // a plan (scene_plan.h); the identity with weight 0 otherwise.
    BalanceEstimate balance{identityCorrection(), 0};
};

// Renders one frame with `settings`, carrying `history` (and `links.carry`, when the host
// keeps one) on to the next frame; the workers run on `executor`. The pixel format is the
// source plane's; the destination is read in it too. Nothing in a frame is an error.
// The cut detector (settings.sceneCuts > 0) needs a carry: without one it stays off;
// with it off the carry only forgets the frames it has seen. The request picks the pass:
// `measure` counts on the workers and reports levels and the detector's event without
// touching `history` or `destination` (and, with settings.balance, the frame's balance
// estimate); `planned` reports the measured levels and applies the request's values.
FrameReport runFramePass(const FrameSettings& settings, CorrectionHistory& history,
                         const FrameLinks& links, const ConstPlane& source,
                         const Plane& destination, RowExecutor& executor);

// Reference twin of the whole pass: plain counting, stepped threshold, the curve
// formula per component on one thread, overlays tested pixel by pixel. Same history
// updates, same report, same bytes.
FrameReport runFramePassReference(const FrameSettings& settings, CorrectionHistory& history,
                                  const FrameLinks& links, const ConstPlane& source,
                                  const Plane& destination);
