// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// PNG bytes from a picture in the filter's layout (top row first), through FFmpeg's
// own PNG encoder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

bool encodePng(const uint8_t* topRow, ptrdiff_t pitch, int width, int height, std::string& bytes,
               std::string& error);
