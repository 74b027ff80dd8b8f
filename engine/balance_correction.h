// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The nine correction values of the balance mode, from the frame's counted histograms.
//
// Per channel the robust ends: the levels with 1/4000 of the channel's pixels below and
// above them (about 500 at 1080p), read inside their bin. Percentiles rather than
// extremes, so a few saturated or noisy pixels do not set a channel's end points. A
// per-channel gain in linear light is still close to a gain of the encoded levels, so it
// scales a channel's span; a lifted black raises its low end. Each channel is therefore
// stretched linearly until its ends lie on the widest ends of the three (the lowest low,
// the highest high): the black and white points carry the whole correction, the darkest
// and the brightest channel stay put and no channel is stretched beyond the widest.
//
// How far a channel would be pulled also tells most casts from a scene's own colour: on
// the quality bench no cast asked for more than a 1.36x span (e^0.31) or a 23-level lift,
// while a red-lit stage, a fundus photograph or stained tissue ask for more. The whole
// correction fades out between 1.43x (e^0.36) or 30 levels and 1.65x (e^0.5) or 50
// levels, so a picture that is its own colour beyond that is left exactly as it is.
//
// The frame's ends are those both statistics agree on (estimateBalance below): the derivation
// on all pixels and on the near-grey ones (balance_counts.h).
//
// The curve factors carry what the ends cannot see: a per-channel gamma, which leaves the
// ends in place, and a cast whose channels already reach both ends. The grey surfaces are
// looked for on the exponent plane (balance_counts.h), where a gamma cast puts every grey
// pixel at one point: a window shrinking over six steps, from where the stretch puts grey,
// moves to the weighted mean of what it holds, and the curve factors take that cluster,
// after the stretch, to grey at its own level. A cluster is also what a scene's own colour
// makes, so they act only between a residual of 0.12 (grain, scenes' tints) and 0.75 (ln,
// green-magenta counted twice), on a cluster that is not itself saturated ((max - min) / max
// from 0.35 to 0.5) nor a third of the picture or more (a sky), and never where the stretch
// moved the cluster's channels the other way. Nor do they move the picture's mean colour by
// more than 2 degrees, or than the stretch alone moves it where that is more: a warm surface
// filling much of the picture (a cat's fur) makes the same cluster as greys under a mid-tone
// cast, but taking it to grey moves the whole picture (docs/quality.md has the measurements).
#pragma once

#include "engine/balance_counts.h"
#include "engine/correction_params.h"
#include "engine/histogram.h"

// A channel's robust ends, as levels 0..255, in R, G, B order.
struct ChannelEnds {
    double low[3];
    double high[3];
};

// Where the running count from below (and from above) reaches 1/4000 of the channel's
// total, inside the bin where it does, bin v spanning v - 0.5 .. v + 0.5; 0 and 255 for
// an empty channel.
ChannelEnds robustEnds(const ChannelHistograms& counted);

// 1 for a cast the derivation trusts, 0 for a picture it leaves alone, linear between.
double balanceStrength(const ChannelEnds& ends);

// The current frame's values, before freeze, history and disable. The identity exactly
// when the strength is 0 or any channel spans fewer than 16 levels (a one-colour frame
// has no ends to compare).
CorrectionParams deriveBalanceCorrection(const ChannelHistograms& counted);

// The scene's grey surfaces as the exponent plane shows them (balance_counts.h): the mean
// levels of the pixels around the densest place near where the stretch puts grey, found by
// moving a shrinking window to the weighted mean of what it holds; mass 0 when none.
struct GreyCluster {
    double level[3];
    double mass;  // grid pixels in the window, weighted by their distance from its centre
};
GreyCluster findGreyCluster(const BalanceCounts& counts, const CorrectionParams& stretch);

// The frame's own estimate and how sure it is.
struct BalanceEstimate {
    CorrectionParams values;
    double weight;  // the near-grey pixels it rests on: the inverse of its variance, up to scale
};

// Both statistics' derivations, deriveBalanceCorrection on all pixels and on the near-grey
// ones, and of each value the part both agree on: the smaller deviation from the identity
// where both move it the same way, none where they disagree. A cast moves the ends of every
// pixel and of the grey ones alike; a small saturated object sets a channel's end among all
// pixels but is no grey pixel, and a scene's own colour shows among the grey pixels (the
// near-grey ones of a yellow flower are yellowish) but seldom at the ends of all of them.
// Then scaled towards the identity by `strength` (0..100 %).
BalanceEstimate estimateBalance(const ChannelHistograms& counted, const BalanceCounts& grey,
                                int strength = 100);

// What the balance correction carries from frame to frame within a shot: the last five
// frames' estimates and their weights, newest first. A plain value; the reset value is empty.
struct BalanceCarry {
    static constexpr int kFrames = 5;
    CorrectionParams recent[kFrames]{};
    double weight[kFrames]{};
    int held = 0;  // estimates held, 0..kFrames
};

// Takes the frame's estimate in (after emptying the carry when `restart`) and returns the
// held estimates' mean weighted by their weights: a frame with fewer grey pixels to go on
// moves the result less. Plain mean when every weight is 0.
CorrectionParams smoothBalance(BalanceCarry& carry, const BalanceEstimate& frame, bool restart);
