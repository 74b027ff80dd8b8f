// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// Planning the second pass of a two-pass run from the first pass's measurements: where
// the scenes start and which correction each frame gets.
//
// A scene starts at frame 0 and at every cut the detector found and did not take back as
// a flash. `scene` planning gives every frame of a scene one correction, derived as one
// frame's would be from the per-level median of the scene's measured levels: a flash or
// a passer-by in a few frames moves a median hardly at all, where a mean would follow.
// `smooth` planning gives each frame the mean of the corrections of the frames up to
// half a window either side, never reaching across a scene's start; a one-pass run only
// looks back, this window is centred and so does not lag.
//
// With the balance correction (`settings.balance`) the frames' own balance estimates take
// the levels' place: `scene` gives a scene the median of its frames' estimates, each value's
// weighted by how many near-grey pixels the frame's estimate rests on (as one pass weights
// its average), and `smooth` the weighted mean of the window; then `balanceStrength` applies.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/balance_correction.h"
#include "engine/channel_levels.h"
#include "engine/correction_params.h"
#include "engine/frame_settings.h"
#include "engine/scene_cuts.h"

// What the first pass keeps of one frame.
struct MeasuredFrame {
    ChannelLevels levels;
    SceneEvent event = SceneEvent::none;
    int putBack = 0;  // with flashUndone: the frames taken back (1 or 2)
    // With the balance correction: the frame's own estimate at full strength, unsmoothed.
    BalanceEstimate balance{identityCorrection(), 0};
};

// The first frame of each scene, ascending; frame 0 always.
std::vector<int64_t> sceneStarts(const std::vector<MeasuredFrame>& frames);

// Each of the nine levels' median over `count` frames (the mean of the middle two for an
// even count); zero levels for no frame.
ChannelLevels medianLevels(const ChannelLevels* levels, size_t count);

// One frame's correction from `levels` with the strengths of `settings`: no history,
// no freeze, no disable.
CorrectionParams correctionFromLevels(const FrameSettings& settings, const ChannelLevels& levels);

// Each value's median over `count` estimates, weighted by their weights: the smallest value
// with at least half the total weight at or below it (the mean of it and the next when exactly
// half is), so equal weights give the plain median; every weight 0 counts as equal weights.
CorrectionParams weightedMedian(const BalanceEstimate* estimates, size_t count);

// One correction per frame. `starts` as sceneStarts gives them; `window` >= 1 frames.
std::vector<CorrectionParams> planScenes(const FrameSettings& settings,
                                         const std::vector<MeasuredFrame>& frames,
                                         const std::vector<int64_t>& starts);
std::vector<CorrectionParams> planSmooth(const FrameSettings& settings,
                                         const std::vector<MeasuredFrame>& frames,
                                         const std::vector<int64_t>& starts, int window);
