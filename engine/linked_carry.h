// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// What the frame pass carries from one frame to the next for a host that links the
// filter, beyond CorrectionHistory: state that has no room in the host's instance record
// (a scene detector's memory of the previous frame, say). The linked host owns it,
// snapshots and restores it with the record, and hands it to each frame; the Windows
// module has none, and its frames run with a null carry. A plain value.
#pragma once

#include "engine/balance_correction.h"
#include "engine/correction_params.h"
#include "engine/scene_cuts.h"

struct DeepRemapCache;

// What a linked host asks of the next frame beyond rendering it as usual. Not state: the
// host sets it before each frame.
enum class LinkedPass : int {
    render = 0,   // measure, derive, remap: the one-pass filter
    measure = 1,  // count, find the levels and run the cut detector; no remap, nothing drawn
    planned = 2,  // measure, then apply `planned` as the frame's values; history untouched
};

// Each linked-only engine feature that remembers a frame has its fields here, each with
// its reset value as the default member initialiser.
struct LinkedCarry {
    SceneCarry scene{};      // the cut detector (scene_cuts.h)
    BalanceCarry balance{};  // the balance correction's weighted average (balance_correction.h)
    // Deep frames: the table the workers share and keep while the curves stay the same
    // (engine/deep_remap.h). The host's storage, allocated once; a snapshot shares it,
    // which is sound since its content is keyed by the curves. Null: each worker fills
    // a table of its own every frame.
    DeepRemapCache* deepRemapCache = nullptr;
    LinkedPass pass = LinkedPass::render;
    CorrectionParams planned{};  // the values `planned` applies (disable still wins)
};
