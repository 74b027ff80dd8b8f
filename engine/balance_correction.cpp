// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "engine/balance_correction.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace
{

constexpr uint64_t kTailShare = 200;  // the ends leave 1/200 of the pixels beyond them
constexpr double kMinSpan = 16;
constexpr double kFullSpanLog = 0.36, kNoSpanLog = 0.5;  // ln of the widest / a channel's span
constexpr double kFullLift = 30, kNoLift = 50;           // levels a low end is pulled down

// Integer comparison (count * 200 >= total), so the ends do not depend on rounding.
void channelEnds(const uint64_t h[256], double& low, double& high)
{
    uint64_t total = 0;
    for (int v = 0; v < 256; ++v) total += h[v];
    low = 0;
    high = 255;
    if (total == 0) return;
    uint64_t sum = 0;
    for (int v = 0; v < 256; ++v) {
        sum += h[v];
        if (sum * kTailShare >= total) {
            low = v;
            break;
        }
    }
    sum = 0;
    for (int v = 255; v >= 0; --v) {
        sum += h[v];
        if (sum * kTailShare >= total) {
            high = v;
            break;
        }
    }
}

double fade(double x, double full, double none)
{
    return std::clamp((none - x) / (none - full), 0.0, 1.0);
}

}  // namespace

ChannelEnds robustEnds(const ChannelHistograms& counted)
{
    ChannelEnds e;
    channelEnds(counted.r, e.low[0], e.high[0]);
    channelEnds(counted.g, e.low[1], e.high[1]);
    channelEnds(counted.b, e.low[2], e.high[2]);
    return e;
}

double balanceStrength(const ChannelEnds& e)
{
    const double lowest = std::min({e.low[0], e.low[1], e.low[2]});
    const double highest = std::max({e.high[0], e.high[1], e.high[2]});
    double narrowest = highest - lowest, liftedMost = 0;
    for (int c = 0; c < 3; ++c) {
        narrowest = std::min(narrowest, e.high[c] - e.low[c]);
        liftedMost = std::max(liftedMost, e.low[c] - lowest);
    }
    if (narrowest < kMinSpan) return 0;
    const double spanLog = std::log((highest - lowest) / narrowest);
    return std::min(fade(spanLog, kFullSpanLog, kNoSpanLog), fade(liftedMost, kFullLift, kNoLift));
}

CorrectionParams deriveBalanceCorrection(const ChannelHistograms& counted)
{
    const ChannelEnds e = robustEnds(counted);
    const double s = balanceStrength(e);
    const double lowest = std::min({e.low[0], e.low[1], e.low[2]});
    const double highest = std::max({e.high[0], e.high[1], e.high[2]});

    CorrectionParams p = identityCorrection();
    if (s == 0) return p;
    for (int c = 0; c < 3; ++c) {
        // Where this channel's ends go: towards the widest ends by the strength. At strength
        // 0 the targets are the ends themselves and the values come out exactly 0 and 255.
        const double toLow = e.low[c] + s * (lowest - e.low[c]);
        const double toHigh = e.high[c] + s * (highest - e.high[c]);
        const double span = 255 * (e.high[c] - e.low[c]) / (toHigh - toLow);
        p.value[kBlackR + c] = e.low[c] - toLow * span / 255;
        p.value[kWhiteR + c] = p.value[kBlackR + c] + span;
    }
    return p;
}
