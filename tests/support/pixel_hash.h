// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// FNV-1a over the bytes of a picture's pixels, row 0 first: a checksum that is the same
// on every platform, for comparing whole frames across builds and runs.
#pragma once

#include <cstdint>
#include <vector>

inline uint64_t hashPixels(const std::vector<uint32_t>& pixels)
{
    uint64_t h = 1469598103934665603ull;
    for (uint32_t p : pixels) {
        for (int byte = 0; byte < 4; ++byte) {
            h ^= (p >> (8 * byte)) & 0xFF;
            h *= 1099511628211ull;
        }
    }
    return h;
}
