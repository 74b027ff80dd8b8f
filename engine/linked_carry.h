// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// What the frame pass carries from one frame to the next for a host that links the
// filter, beyond CorrectionHistory: state that has no room in the host's instance record
// (a scene detector's memory of the previous frame, say). The linked host owns it,
// snapshots and restores it with the record, and hands it to each frame; the Windows
// module has none, and its frames run with a null carry. A plain value.
#pragma once

#include "engine/scene_cuts.h"

// Each linked-only engine feature that remembers a frame has its fields here, each with
// its reset value as the default member initialiser.
struct LinkedCarry {
    SceneCarry scene{};  // the cut detector (scene_cuts.h)
};
