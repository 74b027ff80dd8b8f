// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "engine/correction_params.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "engine/channel_levels.h"
#include "engine/correction_history.h"
#include "engine/frame_settings.h"

namespace
{

double midOf(double a, double b, double c)
{
    return (std::min({a, b, c}) + std::max({a, b, c})) * 0.5;
}

// Offset of a deviation beyond the tolerance q. The order of the two tests decides the
// result when q < 0 (alignment above 40): then both hold and the second wins.
double deadZone(double x, double q)
{
    double offset = 0;
    if (-x > q) offset = -(-x - q);
    if (x > q) offset = x - q;
    return offset;
}

// The middle of one level's three channels, which start at `first` (kLowR, kHighR, ...).
double midOf(const ChannelLevels& l, int first)
{
    return midOf(l.value[first], l.value[first + 1], l.value[first + 2]);
}

CorrectionParams deriveCurrent(const FrameSettings& settings, const ChannelLevels& l)
{
    const double midLow = midOf(l, kLowR), midHigh = midOf(l, kHighR);
    const double midMedian = midOf(l, kMedianR);
    // 64-bit so that any script value of alignment converts without overflow.
    const double tolerance = static_cast<double>(int64_t{40} - settings.alignment);
    const double compressionFactor = static_cast<double>(settings.gamma) * 3e-5;
    const double curveGain = static_cast<double>(settings.gamma) / 2500.0;

    CorrectionParams p;
    for (int c = 0; c < 3; ++c) {
        p.value[kBlackR + c] = deadZone(l.value[kLowR + c] - midLow, tolerance);
        p.value[kWhiteR + c] = 255 + deadZone(l.value[kHighR + c] - midHigh, tolerance);
        p.value[kCurveR + c] =
            settings.gamma < 0
                ? 1.0
                : 1 - koren(l.value[kMedianR + c] - midMedian, compressionFactor) * curveGain;
    }
    return p;
}

}  // namespace

CorrectionParams identityCorrection()
{
    return CorrectionParams{{0.0, 0.0, 0.0, 255.0, 255.0, 255.0, 1.0, 1.0, 1.0}};
}

CorrectionHistory identityHistory()
{
    const CorrectionParams identity = identityCorrection();
    CorrectionHistory h;
    for (int p = 0; p < kParamCount; ++p) {
        for (double& slot : h.history[p]) slot = identity.value[p];
        h.frozen[p] = identity.value[p];
    }
    return h;
}

double koren(double a, double f)
{
    const double t = std::fabs(a) * f;
    const double r = std::sqrt(t);
    return a / (r + 1);
}

CorrectionParams deriveCorrectionParams(CorrectionHistory& state, const FrameSettings& settings,
                                        const ChannelLevels& levels, bool restart)
{
    const CorrectionParams measured =
        settings.freeze ? identityCorrection() : deriveCurrent(settings, levels);
    return settleCorrectionParams(state, settings, measured, restart);
}

CorrectionParams settleCorrectionParams(CorrectionHistory& state, const FrameSettings& settings,
                                        const CorrectionParams& measured, bool restart)
{
    CorrectionParams current = measured;
    if (settings.freeze)
        std::copy(state.frozen, state.frozen + kParamCount, current.value);
    else
        std::copy(current.value, current.value + kParamCount, state.frozen);

    CorrectionParams applied = current;
    for (int p = 0; p < kParamCount; ++p) {
        double* row = state.history[p];
        for (int slot = kHistoryLength - 1; slot > 0; --slot)
            row[slot] = restart ? current.value[p] : row[slot - 1];
        row[0] = current.value[p];
        // Written out term by term: the order of the additions is part of the result.
        static_assert(kHistoryLength == 5);
        if (settings.averageHistory)
            applied.value[p] = (row[0] + row[1] + row[2] + row[3] + row[4]) / 5.0;
    }

    if (settings.disable) applied = identityCorrection();
    return applied;
}
