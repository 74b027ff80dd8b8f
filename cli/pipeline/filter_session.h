// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The linked filter (linked/linked_filter.h) on FFmpeg frames in the filter's layout:
// each frame handed over bottom-up through a negative pitch.
#pragma once

#include <cstdint>
#include <string>

#include "linked/linked_filter.h"
#include "linked/plan_file.h"

struct AVFrame;

class FilterSession
{
public:
    // Every setting of the table; false with `error` when the filter cannot start.
    // With `deep`, frames are in kDeepFilterPixelFormat, 16 bits per channel.
    bool open(const SettingValues& settings, int width, int height, std::string& error,
              bool deep = false)
    {
        return filter_.open(settings, width, height, error,
                            deep ? PixelFormat::Bgra64 : PixelFormat::Bgrx32);
    }

    // The text the host shows: the filter's name with its summary, and the script line.
    std::string description() { return filter_.description(); }
    std::string scriptLine() { return filter_.scriptLine(); }

    // Both frames in the filter's layout and of the opened size; handed over bottom-up.
    // `report`, when given, receives what RunProc measured and applied; false when it
    // reported nothing.
    bool run(const AVFrame* source, AVFrame* destination, int64_t frameNumber,
             FrameReport* report = nullptr);

    // A second pass: frame N gets the plan's correction N (the plan must outlive the
    // session). A frame past the plan's end, or one that does not measure the levels the
    // plan holds for it, reports nothing, and whyNoReport says why: the plan is another
    // input's.
    void usePlan(const PassPlan& plan) { plan_ = &plan; }
    // A first pass: frames are measured only.
    void measureOnly() { measureOnly_ = true; }
    std::string whyNoReport(int64_t frameNumber) const;

    LinkedFilter& filter() { return filter_; }

private:
    LinkedFilter filter_;
    const PassPlan* plan_ = nullptr;
    bool measureOnly_ = false;
    std::string refusal_;
};
