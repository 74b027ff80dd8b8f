// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// One frei0r instance: a frame size fixed at creation (hosts create a new instance when
// the size changes), the parameters as last set, and the linked filter it drives, with
// frames top row first as frei0r stores them.
#pragma once

#include <cstdint>
#include <vector>

#include "frei0r/frame_clock.h"
#include "frei0r/parameters.h"
#include "linked/frame_alpha.h"
#include "linked/linked_filter.h"

class Frei0rInstance
{
public:
    Frei0rInstance(int width, int height);
    bool ok() const { return filter_.isOpen(); }

    ParameterValues& parameters() { return parameters_; }

    // One frame of the instance's size, top row first. The output takes the corrected
    // colours and the input's alpha unchanged. A change of parameters applies from this
    // frame on.
    void update(double time, const uint32_t* source, uint32_t* destination);

private:
    int width_, height_;
    ParameterValues parameters_;
    FrameClock clock_;
    LinkedFilter filter_;
    LinkedSnapshot beforeFrame_;  // the state before the last new frame, for a repeat
    AlphaKeeper alpha_;           // the input's alpha, kept while the filter clears it
};
