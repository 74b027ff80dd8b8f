// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// What a host that links the filter brings to a frame beyond the settings and the
// CorrectionHistory, in three kinds that live differently:
// - LinkedCarry: state carried from frame to frame that has no room in the host's
//   instance record (the cut detector's memory of the last frames). The linked host owns
//   it, snapshots and restores it with the record, and resets it on a restart.
// - FrameRequest: what the host asks of this one frame (render, only measure, or apply
//   planned values). Not state: the host says it for every frame.
// - DeepRemapCache (engine/deep_remap.h): storage the host lends the workers for deep
//   frames; its content is keyed by the curves, so it is neither state nor request.
// The Windows module brings none of them: FrameLinks{} renders exactly as the host's
// own frames are rendered.
#pragma once

#include "engine/balance_correction.h"
#include "engine/correction_params.h"
#include "engine/scene_cuts.h"

struct DeepRemapCache;

// Each linked-only engine feature that remembers a frame has its fields here, each with
// its reset value as the default member initialiser. A plain value.
struct LinkedCarry {
    SceneCarry scene{};      // the cut detector (scene_cuts.h)
    BalanceCarry balance{};  // the balance correction's weighted average (balance_correction.h)
};

enum class LinkedPass : int {
    render = 0,   // measure, derive, remap: the one-pass filter
    measure = 1,  // count, find the levels and run the cut detector; no remap, nothing drawn
    planned = 2,  // measure, then apply the request's `planned` values; history untouched
};

struct FrameRequest {
    LinkedPass pass = LinkedPass::render;
    CorrectionParams planned = identityCorrection();  // what `planned` applies (disable still wins)
};

struct FrameLinks {
    LinkedCarry* carry = nullptr;  // null: no carried state (the cut detector stays off)
    FrameRequest request{};
    DeepRemapCache* deepRemapCache = nullptr;  // null: each worker fills a table of its own
};
