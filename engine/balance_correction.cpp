// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "engine/balance_correction.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>

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

// The illuminant part's limits, in ln of a channel's ratio to green after the stretch, with a
// green-magenta offset counted twice (a light lies near the blue-yellow axis).
constexpr double kMagentaWeight = 2;
constexpr double kNoResidual = 0.12, kFullResidual = 0.25;  // below: what grain and scenes show
constexpr double kFullCast = 0.6, kNoCast = 0.75;           // beyond: a scene's own colour
constexpr double kFullSpread = 0.35, kNoSpread = 0.5;       // (max - min) / max of the cluster
constexpr double kFullMass = 0.3, kNoMass = 0.5;            // of the grid: one large surface
constexpr double kLeastMass = 0.02;                         // of the grid: too few to go on
constexpr double kStartRadius = 0.5, kEndRadius = 0.15;     // of the search, in the plane
constexpr int kSearchSteps = 6, kNarrowingSteps = 3;
constexpr double kHalfSqrt2 = 0.70710678118654752440;  // not every C library defines M_SQRT1_2
constexpr double kCurvesMove = 2;  // degrees the curves may move the picture's mean colour
constexpr int kShareSteps = 8;     // halvings in search of the curves' share

// The plane's coordinate of a level, as the table's but unrounded.
double exponentCoordinate(double v)
{
    v = std::clamp(v, 1.0, 254.0);
    return -std::log(-std::log((v + 0.5) / 256));
}

// Distance from (x, y) in the plane, blue-yellow plainly and green-magenta weighted.
double castSize(double x, double y)
{
    const double t = (x - y) * kHalfSqrt2, m = (x + y) * kHalfSqrt2 * kMagentaWeight;
    return std::sqrt(t * t + m * m);
}

}  // namespace

GreyCluster findGreyCluster(const BalanceCounts& c, const CorrectionParams& stretch)
{
    GreyCluster out{{0, 0, 0}, 0};
    // Start where the stretch puts grey: the levels it maps to mid-grey.
    double start[3];
    for (int ch = 0; ch < 3; ++ch) {
        const double black = stretch.value[kBlackR + ch], white = stretch.value[kWhiteR + ch];
        start[ch] = exponentCoordinate(black + (white - black) * 128 / 255);
    }
    double cx = start[0] - start[1], cy = start[2] - start[1];
    for (int step = 0; step < kSearchSteps; ++step) {
        const double radius = kStartRadius + (kEndRadius - kStartRadius) *
                                                 std::min(1.0, step / double(kNarrowingSteps));
        double sum[3] = {0, 0, 0}, n = 0;
        for (int x = 0; x < kExponentBins; ++x)
            for (int y = 0; y < kExponentBins; ++y) {
                const ExponentBin& bin = c.exponents[x][y];
                if (bin.n == 0) continue;
                const double d = castSize(double(x - kExponentBins / 2) / kExponentScale - cx,
                                          double(y - kExponentBins / 2) / kExponentScale - cy);
                if (d >= radius) continue;
                const double w = 1 - d * d / (radius * radius);
                sum[0] += w * bin.r;
                sum[1] += w * bin.g;
                sum[2] += w * bin.b;
                n += w * bin.n;
            }
        if (n == 0 || sum[0] <= 0 || sum[1] <= 0 || sum[2] <= 0) break;
        for (int ch = 0; ch < 3; ++ch) out.level[ch] = sum[ch] / n;
        out.mass = n;
        cx = exponentCoordinate(out.level[0]) - exponentCoordinate(out.level[1]);
        cy = exponentCoordinate(out.level[2]) - exponentCoordinate(out.level[1]);
    }
    return out;
}

namespace
{

// How much of the cluster's colour to take out, 0..1, from what the cluster is.
double clusterTrust(const GreyCluster& g, const BalanceCounts& c)
{
    if (c.looked == 0 || g.mass <= 0 || g.mass < kLeastMass * double(c.looked)) return 0;
    const double hi = std::max({g.level[0], g.level[1], g.level[2]});
    const double lo = std::min({g.level[0], g.level[1], g.level[2]});
    const double spread = hi > 0 ? (hi - lo) / hi : 1;
    return fade(spread, kFullSpread, kNoSpread) *
           fade(g.mass / double(c.looked), kFullMass, kNoMass);
}

// Sets the curve factors that take the cluster, after the stretch in `p`, to grey at its own
// mean level, scaled by `share`; leaves them 1 where the residual is too small or too large,
// or where the stretch moved the cluster's channels the other way.
void illuminantCurves(const GreyCluster& g, CorrectionParams& p, double share)
{
    if (share <= 0) return;
    double u[3];
    for (int ch = 0; ch < 3; ++ch) {
        const double black = p.value[kBlackR + ch], white = p.value[kWhiteR + ch];
        u[ch] = std::clamp(255 * (g.level[ch] - black) / (white - black), 8.0, 247.0);
    }
    const double size = castSize(std::log(u[0] / u[1]), std::log(u[2] / u[1]));
    const double s =
        fade(size, kFullCast, kNoCast) * (1 - fade(size, kNoResidual, kFullResidual)) * share;
    if (s == 0) return;
    const double target = (u[0] + u[1] + u[2]) / 3;
    // The stretch's move of each channel at the cluster and the curves' move, both less their
    // mean: opposed, the two estimates disagree on the light and the curves stay 1.
    double stretched[3], curved[3], meanStretched = 0, meanCurved = 0;
    for (int ch = 0; ch < 3; ++ch) {
        stretched[ch] = std::log(u[ch] / std::max(1.0, g.level[ch]));
        curved[ch] = std::log(target / u[ch]);
        meanStretched += stretched[ch] / 3;
        meanCurved += curved[ch] / 3;
    }
    double dot = 0, moved = 0;
    for (int ch = 0; ch < 3; ++ch) {
        dot += (stretched[ch] - meanStretched) * (curved[ch] - meanCurved);
        moved = std::max(moved, std::fabs(stretched[ch] - meanStretched));
    }
    if (moved > 0.01 && dot < 0) return;
    for (int ch = 0; ch < 3; ++ch) {
        const double curve = std::log(u[ch] / 255) / std::log(target / 255);
        p.value[kCurveR + ch] = 1 + s * (curve - 1);
    }
}

// The picture's mean colour, channel by channel, after a stretch and curves of the given
// exponents, from its histograms; ln of each level's place in the stretch worked out once.
class MeanColour
{
public:
    MeanColour(const ChannelHistograms& h, const CorrectionParams& stretch)
    {
        const uint64_t* channels[3] = {h.r, h.g, h.b};
        for (int c = 0; c < 3; ++c) {
            count_[c] = channels[c];
            const double black = stretch.value[kBlackR + c], white = stretch.value[kWhiteR + c];
            double n = 0, sum = 0;
            for (int v = 0; v < 256; ++v) {
                const double k = static_cast<double>(channels[c][v]);
                n += k;
                sum += k * v;
                const double t = (v - black) / (white - black);
                // Above the white point the curve's output clips at 255 whatever the exponent.
                logPlace_[c][v] = t <= 0 ? -HUGE_VAL : std::log(std::min(t, 1.0));
            }
            pixels_[c] = n;
            before_[c] = (n > 0 ? sum / n : 0) + 1;
        }
    }

    // Degrees between the mean colour before and after curves of these exponents (1 / factor).
    double angleAfter(const double exponent[3]) const
    {
        double after[3];
        for (int c = 0; c < 3; ++c) {
            double sum = 0;
            for (int v = 0; v < 256; ++v)
                if (count_[c][v] > 0 && logPlace_[c][v] > -HUGE_VAL)
                    sum += static_cast<double>(count_[c][v]) * 255 *
                           std::exp(exponent[c] * logPlace_[c][v]);
            after[c] = (pixels_[c] > 0 ? sum / pixels_[c] : 0) + 1;
        }
        double dot = 0, a = 0, b = 0;
        for (int c = 0; c < 3; ++c) {
            dot += before_[c] * after[c];
            a += before_[c] * before_[c];
            b += after[c] * after[c];
        }
        return std::acos(std::min(1.0, dot / std::sqrt(a * b))) * (180 / std::numbers::pi);
    }

private:
    const uint64_t* count_[3];  // the histograms, R, G, B
    double logPlace_[3][256];
    double pixels_[3], before_[3];
};

// Scales the curve factors of `p` towards 1 until the picture's mean colour moves no more than
// kCurvesMove degrees, or no more than the stretch alone moves it where that is more. The
// cluster search cannot tell greys under a mid-tone cast from a warm, moderately saturated
// surface filling much of the picture (a cat's fur): both make one cluster of the same size.
// A cast moves the greys but, in a picture of many colours, the mean colour little; the fur
// taken for grey moves the mean colour of the whole picture.
void limitCurves(const ChannelHistograms& counted, CorrectionParams& p)
{
    if (p.value[kCurveR] == 1 && p.value[kCurveG] == 1 && p.value[kCurveB] == 1) return;
    const MeanColour mean(counted, p);
    const auto angle = [&](double share) {
        double exponent[3];
        for (int c = 0; c < 3; ++c) exponent[c] = 1 / (1 + share * (p.value[kCurveR + c] - 1));
        return mean.angleAfter(exponent);
    };
    const double allowed = std::max(kCurvesMove, angle(0));
    if (angle(1) <= allowed) return;
    double lo = 0, hi = 1;
    for (int step = 0; step < kShareSteps; ++step) {
        const double mid = (lo + hi) / 2;
        (angle(mid) > allowed ? hi : lo) = mid;
    }
    for (int c = 0; c < 3; ++c) p.value[kCurveR + c] = 1 + lo * (p.value[kCurveR + c] - 1);
}

}  // namespace

BalanceEstimate estimateBalance(const ChannelHistograms& counted, const BalanceCounts& grey,
                                int strength)
{
    const CorrectionParams all = deriveBalanceCorrection(counted);
    const CorrectionParams near = deriveBalanceCorrection(grey.neutral);
    const CorrectionParams identity = identityCorrection();
    CorrectionParams full = identity;
    for (int p = 0; p < kParamCount; ++p) {
        const double base = identity.value[p];
        full.value[p] = base + agreed(all.value[p] - base, near.value[p] - base);
    }
    const GreyCluster cluster = findGreyCluster(grey, full);
    illuminantCurves(cluster, full, clusterTrust(cluster, grey));
    limitCurves(counted, full);

    const double share = std::clamp(strength, 0, 100) / 100.0;
    BalanceEstimate e{identity, double(grey.grey)};
    for (int p = 0; p < kParamCount; ++p)
        e.values.value[p] = identity.value[p] + share * (full.value[p] - identity.value[p]);
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
