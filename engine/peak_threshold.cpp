// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "engine/peak_threshold.h"

#include <algorithm>
#include <functional>

uint64_t peakThreshold(const uint64_t histogram[256])
{
    uint64_t sorted[256];
    std::copy(histogram, histogram + 256, sorted);
    std::sort(sorted, sorted + 256, std::greater<>());
    if (sorted[0] == 0) return 0;

    uint64_t total = 0;
    for (uint64_t c : sorted) total += c;

    // With the k tallest bins above t (sorted[k-1] > t >= sorted[k]) the mass above t
    // is prefix - k * t, and 2 * (prefix - k * t) > total holds for
    // t <= (2 * prefix - total - 1) / (2 * k). Segments are visited from high t to low,
    // so the first hit is the largest t.
    uint64_t prefix = 0;
    for (int k = 1; k <= 256; ++k) {
        prefix += sorted[k - 1];
        const uint64_t segmentHigh = sorted[k - 1] - 1;
        const uint64_t segmentLow = std::max<uint64_t>(k < 256 ? sorted[k] : 0, 1);
        if (sorted[k - 1] == 0 || segmentHigh < segmentLow) continue;
        if (2 * prefix <= total) continue;  // even t = 0 would not put more than half above
        const uint64_t best = (2 * prefix - total - 1) / (2 * static_cast<uint64_t>(k));
        const uint64_t t = std::min(segmentHigh, best);
        if (t >= segmentLow) return t;
    }
    return 1;
}

uint64_t peakThresholdStepped(const uint64_t histogram[256])
{
    uint64_t total = 0;
    uint64_t tallest = 0;
    for (int i = 0; i < 256; ++i) {
        total += histogram[i];
        tallest = std::max(tallest, histogram[i]);
    }
    if (tallest == 0) return 0;
    uint64_t above = 0;
    for (uint64_t t = tallest; t >= 1; --t) {
        for (int i = 0; i < 256; ++i) above += histogram[i] > t ? 1 : 0;
        if (2 * above > total) return t;
    }
    return 1;
}
