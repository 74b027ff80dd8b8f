// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "engine/balance_correction.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace
{

constexpr double kTailShare = 1.0 / 4000;  // of the pixels lie beyond each end
constexpr double kMinSpan = 16;
constexpr double kFullSpanLog = 0.36, kNoSpanLog = 0.5;  // ln of the widest / a channel's span
constexpr double kFullLift = 30, kNoLift = 50;           // levels a low end is pulled down

// Bin v covers the levels v - 0.5 .. v + 0.5; an end is read inside its bin as if the bin's
// pixels were spread evenly over it. Whole levels would make the ends, and with them the
// correction, step by a level at a time as grain moves a few pixels across a bin edge.
void channelEnds(const uint64_t h[256], double& low, double& high)
{
    uint64_t total = 0;
    for (int v = 0; v < 256; ++v) total += h[v];
    low = 0;
    high = 255;
    if (total == 0) return;
    const double tail = static_cast<double>(total) * kTailShare;
    uint64_t sum = 0;
    for (int v = 0; v < 256; ++v) {
        const double before = static_cast<double>(sum);
        sum += h[v];
        if (static_cast<double>(sum) >= tail) {
            low = v - 0.5 + (tail - before) / static_cast<double>(h[v]);
            break;
        }
    }
    sum = 0;
    for (int v = 255; v >= 0; --v) {
        const double before = static_cast<double>(sum);
        sum += h[v];
        if (static_cast<double>(sum) >= tail) {
            high = v + 0.5 - (tail - before) / static_cast<double>(h[v]);
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
        if (toLow == e.low[c] && toHigh == e.high[c]) continue;  // stays put: exactly 0 and 255
        const double span = 255 * (e.high[c] - e.low[c]) / (toHigh - toLow);
        p.value[kBlackR + c] = e.low[c] - toLow * span / 255;
        p.value[kWhiteR + c] = p.value[kBlackR + c] + span;
    }
    return p;
}

namespace
{

// Of two deviations from the identity, the part both agree on.
double agreed(double a, double b)
{
    if ((a > 0) != (b > 0) || a == 0 || b == 0) return 0;
    return std::fabs(a) < std::fabs(b) ? a : b;
}

}  // namespace

BalanceEstimate estimateBalance(const ChannelHistograms& counted, const BalanceCounts& grey,
                                int strength)
{
    const CorrectionParams all = deriveBalanceCorrection(counted);
    const CorrectionParams near = deriveBalanceCorrection(grey.neutral);
    const CorrectionParams identity = identityCorrection();
    const double share = std::clamp(strength, 0, 100) / 100.0;
    BalanceEstimate e{identity, 0};
    for (int p = 0; p < kParamCount; ++p) {
        const double base = identity.value[p];
        e.values.value[p] = base + share * agreed(all.value[p] - base, near.value[p] - base);
    }
    e.weight = double(grey.grey);
    return e;
}

CorrectionParams smoothBalance(BalanceCarry& carry, const BalanceEstimate& frame, bool restart)
{
    if (restart) carry.held = 0;
    for (int k = BalanceCarry::kFrames - 1; k > 0; --k) {
        carry.recent[k] = carry.recent[k - 1];
        carry.weight[k] = carry.weight[k - 1];
    }
    carry.recent[0] = frame.values;
    carry.weight[0] = frame.weight;
    carry.held = std::min(carry.held + 1, BalanceCarry::kFrames);

    double total = 0;
    for (int k = 0; k < carry.held; ++k) total += carry.weight[k];
    CorrectionParams out{};
    for (int p = 0; p < kParamCount; ++p) {
        double sum = 0;
        for (int k = 0; k < carry.held; ++k)
            sum += carry.recent[k].value[p] * (total > 0 ? carry.weight[k] : 1.0);
        out.value[p] = sum / (total > 0 ? total : double(carry.held));
    }
    return out;
}
