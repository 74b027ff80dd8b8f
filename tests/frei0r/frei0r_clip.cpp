// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "tests/frei0r/frei0r_clip.h"

#include "plugin/setting_binding.h"

Frame clipFrame(int width, int height, int index)
{
    Frame frame = naturalPixels(width, height, 1000u + static_cast<uint32_t>(index));
    for (size_t i = 0; i < frame.size(); ++i)
        frame[i] = (frame[i] & 0x00FFFFFFu) | static_cast<uint32_t>((i * 37 + index) % 256) << 24;
    return frame;
}

Frame colours(const Frame& frame)
{
    Frame out(frame);
    for (uint32_t& p : out) p &= 0x00FFFFFFu;
    return out;
}

double Frei0rModule::value(int index) const
{
    double value = -1.0;
    f0r_get_param_value(instance_, &value, index);
    return value;
}

Frame Frei0rModule::update(double time, const Frame& frame)
{
    Frame out(frame.size(), kUnwritten);
    f0r_update(instance_, time, frame.data(), out.data());
    return out;
}

ReferenceFilter::ReferenceFilter(int width, int height, const SettingValues& settings)
    : width_(width), height_(height), filter_(width, height)
{
    configure(settings);
    filter_.host.start(width, height);
}

void ReferenceFilter::configure(const SettingValues& v)
{
    filter_.host.callScript("Config", v.data(), kScriptSettingCount);
    storeSwitches(filter_.state(), v);
}

Frame ReferenceFilter::run(const Frame& topDown)
{
    Frame out(topDown.size());
    const ptrdiff_t pitch = 4 * static_cast<ptrdiff_t>(width_);
    const ptrdiff_t lastRow = pitch * (height_ - 1);
    filter_.host.run(reinterpret_cast<const uint8_t*>(topDown.data()) + lastRow, -pitch,
                     reinterpret_cast<uint8_t*>(out.data()) + lastRow, -pitch, width_, height_);
    return out;
}
