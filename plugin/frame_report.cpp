// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "plugin/frame_report.h"

#include "plugin/instance_slot.h"

namespace
{
thread_local InstanceSlot<FrameReport> t_lastFrame{};
}  // namespace

void keepFrameReport(const void* instance, const FrameReport& report)
{
    t_lastFrame.keep(instance, report);
}

void forgetFrameReport()
{
    t_lastFrame.forget();
}

bool lastFrameReport(const void* instance, FrameReport& report)
{
    const FrameReport* kept = t_lastFrame.find(instance);
    if (kept == nullptr) return false;
    report = *kept;
    return true;
}
