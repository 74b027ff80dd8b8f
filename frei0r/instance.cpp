// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "frei0r/instance.h"

#include <string>

#include "frei0r/alpha.h"

Frei0rInstance::Frei0rInstance(int width, int height)
    : width_(width),
      height_(height),
      parameters_(defaultParameterValues()),
      alpha_(static_cast<size_t>(width) * static_cast<size_t>(height))
{
    std::string error;
    if (filter_.open(toSettingValues(parameters_, width, height), width, height, error))
        filter_.takeSnapshot(beforeFrame_);
}

void Frei0rInstance::update(double time, const uint32_t* source, uint32_t* destination)
{
    if (source == nullptr || destination == nullptr || alpha_.empty()) return;
    switch (clock_.next(time, pictureFingerprint(source, alpha_.size()))) {
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
    saveAlpha(source, alpha_.size(), alpha_.data());
    const ptrdiff_t pitch = 4 * static_cast<ptrdiff_t>(width_);
    const ptrdiff_t lastRow = pitch * (height_ - 1);
    filter_.run(reinterpret_cast<const uint8_t*>(source) + lastRow, -pitch,
                reinterpret_cast<uint8_t*>(destination) + lastRow, -pitch);
    restoreAlpha(alpha_.data(), destination, alpha_.size());
}
