// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// frei0r hosts composite with the alpha byte of every pixel, which the filter clears (its
// own host ignores it): an all-zero alpha would make the clip vanish in an editor. So the
// input's alpha is put back into the output. Pixels are 32-bit words with alpha in bits
// 24-31, which is frei0r's BGRA byte order on a little-endian machine.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

static_assert(std::endian::native == std::endian::little,
              "BGRA8888 frames read as 32-bit words need a little-endian machine");

// Copied out before the filter runs, so source and destination may be one buffer.
void saveAlpha(const uint32_t* frame, size_t count, uint8_t* alpha);
void restoreAlpha(const uint8_t* alpha, uint32_t* frame, size_t count);
