// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "plugin/frame_report.h"

namespace
{

struct LastFrame {
    const void* instance;  // null: nothing rendered
    FrameReport report;
};

// Zero-initialised plain data: no constructor or destructor runs per thread.
thread_local LastFrame t_lastFrame{};

}  // namespace

void keepFrameReport(const void* instance, const FrameReport& report)
{
    t_lastFrame = LastFrame{instance, report};
}

void forgetFrameReport()
{
    t_lastFrame.instance = nullptr;
}

bool lastFrameReport(const void* instance, FrameReport& report)
{
    if (instance == nullptr || t_lastFrame.instance != instance) return false;
    report = t_lastFrame.report;
    return true;
}
