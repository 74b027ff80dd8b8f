// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The linked filter (linked/linked_filter.h) on FFmpeg frames in the filter's layout:
// each frame handed over bottom-up through a negative pitch.
#pragma once

#include <cstdint>
#include <string>

#include "linked/linked_filter.h"

struct AVFrame;

class FilterSession
{
public:
    // Every setting of the table; false with `error` when the filter cannot start.
    bool open(const SettingValues& settings, int width, int height, std::string& error)
    {
        return filter_.open(settings, width, height, error);
    }

    // The text the host shows: the filter's name with its summary, and the script line.
    std::string description() { return filter_.description(); }
    std::string scriptLine() { return filter_.scriptLine(); }

    // Both frames in the filter's layout and of the opened size; handed over bottom-up.
    // `report`, when given, receives what RunProc measured and applied; false when it
    // reported nothing.
    bool run(const AVFrame* source, AVFrame* destination, int64_t frameNumber,
             FrameReport* report = nullptr);

    LinkedFilter& filter() { return filter_; }

private:
    LinkedFilter filter_;
};
