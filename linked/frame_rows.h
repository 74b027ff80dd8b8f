// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// Hosts that link the filter store frames top row first (FFmpeg, frei0r, OBS, MLT); the
// filter's row 0 is the picture's bottom row. Pointing at the last row and stepping by
// the negated pitch presents such a frame bottom-up without a copy.
#pragma once

#include <cstddef>

template <typename Byte>
Byte* bottomRowOf(Byte* top, ptrdiff_t pitch, int height)
{
    return height > 0 ? top + static_cast<ptrdiff_t>(height - 1) * pitch : top;
}
