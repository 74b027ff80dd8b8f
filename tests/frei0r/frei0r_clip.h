// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// Frames for the frei0r tests, and the filter driven directly through the host layer as
// the reference the module must match: the same frames, top row first, handed over
// bottom-up, with the settings given through Config as a script would.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "frei0r/frei0r_api.h"
#include "plugin/settings_table.h"
#include "tests/support/test_support.h"

using Frame = std::vector<uint32_t>;

// Picture-like frames that differ from one to the next, with an alpha pattern.
Frame clipFrame(int width, int height, int index);

// The colours of a frame, alpha cleared.
Frame colours(const Frame& frame);

// One instance of the module, held as a host holds it, through the frei0r entry points.
class Frei0rModule
{
public:
    Frei0rModule(unsigned width, unsigned height) : instance_(f0r_construct(width, height)) {}
    ~Frei0rModule() { f0r_destruct(instance_); }
    Frei0rModule(const Frei0rModule&) = delete;
    Frei0rModule& operator=(const Frei0rModule&) = delete;

    f0r_instance_t get() const { return instance_; }
    void set(int index, double value) { f0r_set_param_value(instance_, &value, index); }
    double value(int index) const;
    // The output for one frame; pixels the module leaves unwritten keep kUnwritten.
    Frame update(double time, const Frame& frame);

    static constexpr uint32_t kUnwritten = 0xDEADBEEF;

private:
    f0r_instance_t instance_;
};

// A parameter's position, found by its name.
constexpr int parameter(std::string_view name)
{
    return settingIndex(name);
}

class ReferenceFilter
{
public:
    ReferenceFilter(int width, int height, const SettingValues& settings = defaultSettingValues());
    // The script settings through Config, the switches as the dialog's check boxes set them.
    void configure(const SettingValues& settings);
    // The filter's output for the next frame (alpha cleared, as the filter leaves it).
    Frame run(const Frame& topDown);

private:
    int width_, height_;
    TestFilter filter_;
};
