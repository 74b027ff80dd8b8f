// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// What the last frame measured and applied, for hosts that link the filter and record
// statistics (the command line's --stats). RunProc keeps its frame's report for the
// thread it ran on; the host reads it on that thread right after RunProc returns, so no
// frame is analysed twice and instances rendering on other threads never see each
// other's values. It lives outside the instance record, whose layout is the host's.
#pragma once

#include "engine/frame_pass.h"

// Called by RunProc: `instance` (the activation's filter_data) rendered `report` on
// this thread, or rendered nothing.
void keepFrameReport(const void* instance, const FrameReport& report);
void forgetFrameReport();

// The report of the last RunProc on this thread; false when that call rendered nothing
// or was for another instance record.
bool lastFrameReport(const void* instance, FrameReport& report);
