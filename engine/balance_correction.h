// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The nine correction values of the balance mode, from the frame's counted histograms.
//
// Per channel the robust ends: the levels with 1/4000 of the channel's pixels below and
// above them, read inside the bin (percentiles rather than extremes, so a few saturated or
// noisy pixels do not set a channel's end points; 2 000 pixels at 1080p). A per-channel gain in
// linear light is still close to a gain of the encoded levels, so it scales a channel's span; a
// lifted black raises its low end. Each channel is therefore stretched linearly until its ends lie
// on the widest ends of the three (the lowest low, the highest high): the black and white points
// carry the whole correction, the darkest and the brightest channel stay put and no channel is
// stretched beyond the widest.
//
// How far a channel would be pulled also tells a cast from a scene's own colour: on the
// quality bench every cast asked for at most a 1.43x span (ln 0.36) and a 27-level lift,
// while a sunset, a fundus photograph or a red-lit stage ask for more. The whole
// correction fades out between those limits and 1.65x span (ln 0.5) or a 50-level lift,
// so a picture that is its own colour is left exactly as it is. The curve factors stay 1:
// mid-tone estimates from the medians pulled every photograph with a colour of its own
// towards grey (docs/quality.md has the measurements).
#pragma once

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
