// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "frei0r/alpha.h"

void saveAlpha(const uint32_t* frame, size_t count, uint8_t* alpha)
{
    for (size_t i = 0; i < count; ++i) alpha[i] = static_cast<uint8_t>(frame[i] >> 24);
}

void restoreAlpha(const uint8_t* alpha, uint32_t* frame, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        frame[i] = (frame[i] & 0x00FFFFFFu) | (static_cast<uint32_t>(alpha[i]) << 24);
}
