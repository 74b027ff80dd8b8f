// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// Cut-aware history: finds hard cuts in the histograms the analysis has already counted,
// so that the five-frame average restarts from the new scene instead of carrying the old
// scene's colour into its first four frames.
//
// A frame is summarised by 31 quantiles of each channel (the levels below which 1/32,
// 2/32, ... of its pixels lie, interpolated within a level). The distance between two
// frames is, per channel, the mean difference of their quantiles in levels (how far the
// channel's values would have to move, on average, to turn one frame into the other),
// the largest of the three; and since a fade scales every quantile alike, it is taken
// after scaling the older frame by the ratio of the two frames' quantile sums, when that
// is smaller. Grain moves it by a fraction of a level, a slow pan or zoom by a few, a
// fade hardly at all, a cut between scenes that call for different corrections by tens.
//
// A cut: this frame is more than the threshold away from the last one, and the last step
// was less than a third of this one. A dissolve moves in even steps, so after its first
// step none qualifies, and over ten frames or more its first step stays below the
// default threshold. From black, where scaling explains nothing, a frame has to move
// twice the threshold, which the first frame of a fade in over ten frames cannot.
//
// At a cut the history restarts at once, so the first frame of the new scene is
// corrected for it. A flash looks like a cut on its first frame: when the next frame, or
// the one after it, is back within half the threshold of the frame before the flash,
// the history is put back as it was before the flash, which then neither bleeds into the
// following frames nor restarts the shot.
//
// Every decision is a function of the last five frames' summaries, and the history after
// a frame depends on at most the last kSceneLookBack frames: a run that starts that many
// frames early (a farm segment's pre-roll) reaches the same state.
#pragma once

#include "engine/correction_history.h"
#include "engine/histogram.h"

constexpr int kSceneSamples = 31;  // quantiles at 1/32 .. 31/32
constexpr int kSceneLookBack = 16;
constexpr int kSceneCutsDefault = 85;  // sensitivity: threshold 16 levels (bench/quality.py)
constexpr int kSceneCutsMax = 100;

struct SceneSummary {
    float quantile[3][kSceneSamples];  // R, G, B, in levels 0..256; 0 for an empty region
};

// What the detector carries from frame to frame; a plain value of fixed size, which a
// linked host keeps in its LinkedCarry. Value-initialised it is a fresh start: `before`
// is only read after the frames it holds have been seen.
struct SceneCarry {
    SceneSummary recent[3];       // the last three frames, 0 newest
    int seen;                     // how many of `recent` hold a frame (0..3)
    double lastStep;              // distance recent[0] - recent[1]; 0 when unknown
    int cutBefore[2];             // a cut was found 1 and 2 frames ago (before any undo)
    CorrectionHistory before[2];  // the history at the start of the last and the one before
    int putBack;                  // frames the last flashUndone took back (1 or 2); else 0
};

enum class SceneEvent : int {
    none = 0,
    cut = 1,          // the history restarts from this frame
    flashUndone = 2,  // the last one or two frames were a flash: history put back
};

// Distance in levels above which a change is a cut candidate: 101 - sensitivity, the
// sensitivity clamped to 1..100; higher finds more cuts.
double sceneCutThreshold(int sensitivity);

SceneSummary summariseScene(const ChannelHistograms& counted);
// The plain distance, and the smaller of it and the distance after scaling `older`.
double sceneDistance(const SceneSummary& a, const SceneSummary& b);
double sceneStepDistance(const SceneSummary& now, const SceneSummary& older);

// Runs before the frame's values are derived: decides from this frame's `counted`
// histograms, puts `history` back when a flash has ended, and moves `carry` on. On `cut`
// the caller restarts the history from this frame's values.
SceneEvent advanceSceneCarry(SceneCarry& carry, int sensitivity, const ChannelHistograms& counted,
                             CorrectionHistory& history);
