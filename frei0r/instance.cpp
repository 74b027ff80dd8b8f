// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "frei0r/instance.h"

#include "frei0r/alpha.h"

Frei0rInstance::Frei0rInstance(int width, int height)
    : width_(width),
      height_(height),
      parameters_(defaultParameterValues()),
      driver_(width, height, toSettingValues(parameters_, width, height)),
      alpha_(static_cast<size_t>(width) * static_cast<size_t>(height))
{
}

void Frei0rInstance::update(double time, const uint32_t* source, uint32_t* destination)
{
    if (source == nullptr || destination == nullptr || alpha_.empty()) return;
    switch (clock_.next(time, pictureFingerprint(source, alpha_.size()))) {
        case FrameStep::Restart:
            driver_.restart();
            [[fallthrough]];
        case FrameStep::Advance:
            driver_.remember();
            break;
        case FrameStep::Repeat:
            driver_.recall();
            break;
    }
    driver_.apply(toSettingValues(parameters_, width_, height_));
    saveAlpha(source, alpha_.size(), alpha_.data());
    driver_.run(source, destination);
    restoreAlpha(alpha_.data(), destination, alpha_.size());
}
