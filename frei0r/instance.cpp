// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "frei0r/instance.h"

#include <string>

Frei0rInstance::Frei0rInstance(int width, int height)
    : width_(width), height_(height), parameters_(defaultParameterValues())
{
    std::string error;
    if (!filter_.open(toSettingValues(parameters_, width, height), width, height, error)) return;
    filter_.takeSnapshot(beforeFrame_);
    alpha_.reserve(width, height, PixelFormat::Bgrx32);
}

void Frei0rInstance::update(double time, const uint32_t* source, uint32_t* destination)
{
    const size_t pixels = static_cast<size_t>(width_) * static_cast<size_t>(height_);
    if (source == nullptr || destination == nullptr || pixels == 0 || !filter_.isOpen()) return;
    switch (clock_.next(time, pictureFingerprint(source, pixels))) {
        case FrameStep::Restart:
            filter_.restart();
            [[fallthrough]];
        case FrameStep::Advance:
            filter_.takeSnapshot(beforeFrame_);
            break;
        case FrameStep::Repeat:
            filter_.restoreSnapshot(beforeFrame_);
            break;
    }
    filter_.apply(toSettingValues(parameters_, width_, height_));
    // frei0r rows are width x 4 bytes; the host may pass one buffer as both frames.
    const ptrdiff_t pitch = 4 * static_cast<ptrdiff_t>(width_);
    const auto* in = reinterpret_cast<const uint8_t*>(source);
    auto* out = reinterpret_cast<uint8_t*>(destination);
    alpha_.save(in, pitch, width_, height_, PixelFormat::Bgrx32);
    filter_.runTopDown(in, pitch, out, pitch);
    alpha_.restore(out, pitch, width_, height_, PixelFormat::Bgrx32);
}
