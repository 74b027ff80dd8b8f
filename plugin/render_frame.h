// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The frame pass of one instance record: its settings read once, its history carried,
// the engine run on the platform's threads. RunProc calls it for the host with no linked
// frame; a host that links the filter calls it directly with one, and gets the frame's
// report back in the same call.
#pragma once

#include "engine/frame_pass.h"
#include "plugin/filter_state.h"
#include "plugin/linked_frame.h"

// Both planes of the source's size, in the source's pixel format (the host's frames are
// always PixelFormat::Bgrx32). `linked` null: every linked-only setting at its default,
// no carried state, the plain request.
FrameReport renderFrame(FilterState& state, const LinkedFrame* linked, const ConstPlane& source,
                        const Plane& destination);
