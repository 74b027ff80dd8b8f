// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The frei0r module's one tie to the host layer: a filter instance registered through
// the module's two entry points and driven as every other host drives it (InitProc, the
// script function Config, StartProc, RunProc). frei0r frames are top-down with a pitch
// of width x 4; they are handed over bottom-up through a negative pitch, as the
// command-line host does, so margins and the graph land where the host puts them.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "plugin/settings_table.h"

class FilterHost;

class FilterDriver
{
public:
    FilterDriver(int width, int height, const SettingValues& settings);
    ~FilterDriver();
    FilterDriver(const FilterDriver&) = delete;
    FilterDriver& operator=(const FilterDriver&) = delete;

    bool ok() const;

    // Gives the instance the settings: the script settings through Config, the others as
    // the dialog's check boxes set them. Nothing happens when they are those it holds.
    void apply(const SettingValues& settings);
    // A freshly created instance: InitProc, the current settings, StartProc.
    void restart();
    // Keeps a copy of the instance record (history included), and brings it back.
    void remember();
    void recall();

    // One frame; both buffers hold width x height pixels, top row first.
    void run(const uint32_t* source, uint32_t* destination);

private:
    void applyAll(const SettingValues& settings);

    std::unique_ptr<FilterHost> host_;
    int width_, height_;
    SettingValues applied_{};
    std::vector<uint8_t> remembered_;
    SettingValues rememberedSettings_{};
};
