// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// From a frame's levels to its nine correction values, with freeze, the five-frame
// history and disable.
//
// Each channel is compared with the middle of the three channels (the mean of the
// smallest and largest). Black and white points move only by the part of a channel's
// deviation beyond the tolerance 40 - alignment; curve factors follow the medians'
// deviations, softly compressed by koren and scaled by gamma. While the dialog is closed
// the applied values are the mean of the last five frames, which keeps a cut or a
// flash from pumping the picture; while it is open each render shows its own values so
// a slider change shows at once.
#pragma once

struct ChannelLevels;
struct CorrectionHistory;
struct FrameSettings;

// clang-format off
enum ParamIndex {
    kBlackR, kBlackG, kBlackB,
    kWhiteR, kWhiteG, kWhiteB,
    kCurveR, kCurveG, kCurveB,
    kParamCount
};
// clang-format on

struct CorrectionParams {
    double value[kParamCount];  // in ParamIndex order
};

CorrectionParams identityCorrection();

// Soft compression of a signed deviation: a / (sqrt(|a| * f) + 1).
double koren(double a, double f);

// The values of the current frame before history: the stored `frozen` ones under
// freeze, else derived from the levels (and then stored into `frozen`). Shifts the new
// values into `history`, then averages (dialog closed) and applies disable.
// A negative gamma (only a script can set one) acts as 0 for the curve factors: its
// square root would otherwise put NaN into the picture, `frozen` and five frames of
// history. With `restart` every slot takes the new values (a cut: the old scene's values
// would otherwise bleed into the new one's first four frames).
CorrectionParams deriveCorrectionParams(CorrectionHistory& state, const FrameSettings& settings,
                                        const ChannelLevels& levels, bool restart = false);

// The steps after the derivation, shared by every way of deriving: freeze, history
// (restarted when `restart`), averaging and disable, given the frame's freshly derived
// values `measured` (ignored under freeze).
CorrectionParams settleCorrectionParams(CorrectionHistory& state, const FrameSettings& settings,
                                        const CorrectionParams& measured, bool restart = false);
