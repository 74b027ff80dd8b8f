// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// One filter instance driven as the host drives it: the module registered through its
// two entry points, InitProc, the script function "Config" with the script settings,
// StartProc, then RunProc once per frame.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "hosting/filter_host.h"
#include "plugin/settings_table.h"

struct AVFrame;
struct FilterState;
struct FrameReport;

class FilterSession
{
public:
    FilterSession();

    // Every setting of the table: the script settings through "Config", the others set
    // on the instance as the dialog's check boxes set them.
    bool open(const SettingValues& settings, int width, int height, std::string& error);

    // The text the host shows: the filter's name with its summary, and the script line.
    std::string description();
    std::string scriptLine();

    // Both frames in the filter's layout and of the opened size; handed over bottom-up.
    // `report`, when given, receives what RunProc measured and applied; false when it
    // reported nothing.
    bool run(const AVFrame* source, AVFrame* destination, int64_t frameNumber,
             FrameReport* report = nullptr);

    FilterState& state();

private:
    std::unique_ptr<FilterHost> host_;
    int width_ = 0, height_ = 0;
};
