// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "engine/scene_cuts.h"

#include <algorithm>
#include <cmath>

namespace
{

constexpr int kLevelsPerSample = 8;

void summariseChannel(const uint64_t counts[256], float out[kSceneSamples])
{
    uint64_t total = 0;
    for (int v = 0; v < 256; ++v) total += counts[v];
    uint64_t below = 0;
    for (int i = 0; i < kSceneSamples; ++i) {
        for (int v = i * kLevelsPerSample; v < (i + 1) * kLevelsPerSample; ++v) below += counts[v];
        // An empty region has no distribution; all zeros keeps it at distance 0 from itself.
        out[i] = total ? static_cast<float>(double(below) / double(total)) : 0.0f;
    }
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
    d.step = sceneDistance(now, c.recent[0]);
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
    return 0.5 * (kSceneCutsMax + 1 - std::clamp(sensitivity, 1, kSceneCutsMax));
}

SceneSummary summariseScene(const ChannelHistograms& counted)
{
    SceneSummary s;
    summariseChannel(counted.r, s.cumulative[0]);
    summariseChannel(counted.g, s.cumulative[1]);
    summariseChannel(counted.b, s.cumulative[2]);
    return s;
}

double sceneDistance(const SceneSummary& a, const SceneSummary& b)
{
    double largest = 0.0;
    for (int ch = 0; ch < 3; ++ch) {
        double area = 0.0;
        for (int i = 0; i < kSceneSamples; ++i)
            area += std::fabs(double(a.cumulative[ch][i]) - double(b.cumulative[ch][i]));
        largest = std::max(largest, area * kLevelsPerSample);
    }
    return largest;
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
    return d.event;
}
