// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "engine/scene_cuts.h"

#include <algorithm>
#include <cmath>

namespace
{

// Each level's pixels are taken as spread evenly over [level, level + 1).
void summariseChannel(const uint64_t counts[256], float out[kSceneSamples])
{
    uint64_t total = 0;
    for (int v = 0; v < 256; ++v) total += counts[v];
    uint64_t below = 0;  // pixels under level v
    int v = 0;
    for (int i = 0; i < kSceneSamples; ++i) {
        const double target = double(total) * (i + 1) / (kSceneSamples + 1);
        while (v < 255 && double(below + counts[v]) < target) below += counts[v++];
        const double inside = counts[v] ? (target - double(below)) / double(counts[v]) : 0.0;
        out[i] = total ? static_cast<float>(v + inside) : 0.0f;
    }
}

double quantileSum(const SceneSummary& s)
{
    double sum = 0.0;
    for (const auto& channel : s.quantile)
        for (float q : channel) sum += q;
    return sum;
}

// Per channel the mean of |a - gain * b| over the quantiles; the largest channel's.
double scaledDistance(const SceneSummary& a, const SceneSummary& b, double gain)
{
    double largest = 0.0;
    for (int ch = 0; ch < 3; ++ch) {
        double sum = 0.0;
        for (int i = 0; i < kSceneSamples; ++i)
            sum += std::fabs(double(a.quantile[ch][i]) - gain * double(b.quantile[ch][i]));
        largest = std::max(largest, sum / kSceneSamples);
    }
    return largest;
}

struct Decision {
    SceneEvent event;
    int restore;  // index into SceneCarry::before when the event is flashUndone
    bool cut;     // this frame is a cut candidate (kept even when a flash was undone)
    double step;  // distance to the last frame; 0 when there is none
};

// The flash tests use the cut flags as found, not as they ended up after an undo, so
// every decision depends on a fixed window of frames only.
Decision decide(const SceneCarry& c, double threshold, const SceneSummary& now)
{
    Decision d{SceneEvent::none, 0, false, 0.0};
    if (c.seen == 0) return d;
    d.step = sceneStepDistance(now, c.recent[0]);
    d.cut = d.step > threshold && d.step > 3.0 * c.lastStep;
    const double near = threshold * 0.5;
    if (c.seen >= 2 && c.cutBefore[0] && sceneDistance(now, c.recent[1]) < near) {
        d.event = SceneEvent::flashUndone;  // one frame of flash
        d.restore = 0;
    } else if (c.seen >= 3 && c.cutBefore[1] && !c.cutBefore[0] &&
               sceneDistance(c.recent[0], c.recent[2]) >= near &&
               sceneDistance(now, c.recent[2]) < near) {
        d.event = SceneEvent::flashUndone;  // two frames of flash
        d.restore = 1;
    } else if (d.cut) {
        d.event = SceneEvent::cut;
    }
    return d;
}

}  // namespace

double sceneCutThreshold(int sensitivity)
{
    return kSceneCutsMax + 1 - std::clamp(sensitivity, 1, kSceneCutsMax);
}

SceneSummary summariseScene(const ChannelHistograms& counted)
{
    SceneSummary s;
    summariseChannel(counted.r, s.quantile[0]);
    summariseChannel(counted.g, s.quantile[1]);
    summariseChannel(counted.b, s.quantile[2]);
    return s;
}

double sceneDistance(const SceneSummary& a, const SceneSummary& b)
{
    return scaledDistance(a, b, 1.0);
}

// A frame below one level on average has no shape to scale: black. From black, the first
// frame of a fade in is a dim copy of the picture, over ten frames at most a tenth of
// full scale (25.5 levels), where a cut brings the picture itself; halving the distance
// asks twice the threshold of it.
double sceneStepDistance(const SceneSummary& now, const SceneSummary& older)
{
    const double plain = sceneDistance(now, older);
    const double olderSum = quantileSum(older);
    if (olderSum < 3 * kSceneSamples) return 0.5 * plain;
    return std::min(plain, scaledDistance(now, older, quantileSum(now) / olderSum));
}

SceneEvent advanceSceneCarry(SceneCarry& carry, int sensitivity, const ChannelHistograms& counted,
                             CorrectionHistory& history)
{
    const SceneSummary now = summariseScene(counted);
    const Decision d = decide(carry, sceneCutThreshold(sensitivity), now);
    if (d.event == SceneEvent::flashUndone) history = carry.before[d.restore];

    carry.before[1] = carry.before[0];
    carry.before[0] = history;
    carry.recent[2] = carry.recent[1];
    carry.recent[1] = carry.recent[0];
    carry.recent[0] = now;
    carry.seen = std::min(carry.seen + 1, 3);
    carry.lastStep = d.step;
    carry.cutBefore[1] = carry.cutBefore[0];
    carry.cutBefore[0] = d.cut;
    carry.putBack = d.event == SceneEvent::flashUndone ? d.restore + 1 : 0;
    return d.event;
}
