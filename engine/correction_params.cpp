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

CorrectionParams deriveCurrent(const FrameSettings& settings, const ChannelLevels& l)
{
    const double midLow = midOf(l.lowR, l.lowG, l.lowB);
    const double midHigh = midOf(l.highR, l.highG, l.highB);
    const double midMedian = midOf(l.medianR, l.medianG, l.medianB);
    // 64-bit so that any script value of alignment converts without overflow.
    const double tolerance = static_cast<double>(int64_t{40} - settings.alignment);

    CorrectionParams p;
    p.value[kBlackR] = deadZone(l.lowR - midLow, tolerance);
    p.value[kBlackG] = deadZone(l.lowG - midLow, tolerance);
    p.value[kBlackB] = deadZone(l.lowB - midLow, tolerance);
    p.value[kWhiteR] = 255 + deadZone(l.highR - midHigh, tolerance);
    p.value[kWhiteG] = 255 + deadZone(l.highG - midHigh, tolerance);
    p.value[kWhiteB] = 255 + deadZone(l.highB - midHigh, tolerance);

    if (settings.gamma < 0) {
        p.value[kCurveR] = p.value[kCurveG] = p.value[kCurveB] = 1.0;
    } else {
        const double compressionFactor = static_cast<double>(settings.gamma) * 3e-5;
        const double curveGain = static_cast<double>(settings.gamma) / 2500.0;
        p.value[kCurveR] = 1 - koren(l.medianR - midMedian, compressionFactor) * curveGain;
        p.value[kCurveG] = 1 - koren(l.medianG - midMedian, compressionFactor) * curveGain;
        p.value[kCurveB] = 1 - koren(l.medianB - midMedian, compressionFactor) * curveGain;
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
    CorrectionParams current;
    if (settings.freeze) {
        std::copy(state.frozen, state.frozen + kParamCount, current.value);
    } else {
        current = deriveCurrent(settings, levels);
        std::copy(current.value, current.value + kParamCount, state.frozen);
    }

    CorrectionParams applied = current;
    for (int p = 0; p < kParamCount; ++p) {
        double* row = state.history[p];
        for (int slot = kHistoryLength - 1; slot > 0; --slot)
            row[slot] = restart ? current.value[p] : row[slot - 1];
        row[0] = current.value[p];
        // Written out term by term: the order of the additions is part of the result.
        static_assert(kHistoryLength == 5);
        if (settings.dialogClosed)
            applied.value[p] = (row[0] + row[1] + row[2] + row[3] + row[4]) / 5.0;
    }

    if (settings.disable) applied = identityCorrection();
    return applied;
}
