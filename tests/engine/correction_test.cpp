// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// Correction values from levels: alignment, curves, freeze, history and disable.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>

#include "engine/channel_levels.h"
#include "engine/correction_history.h"
#include "engine/correction_params.h"
#include "engine/frame_settings.h"

namespace
{

FrameSettings settings(int gamma, int alignment, bool dialogOpen)
{
    FrameSettings s{};
    s.gamma = gamma;
    s.alignment = alignment;
    s.averageHistory = dialogOpen ? 0 : 1;
    s.threadCount = 1;
    return s;
}

ChannelLevels levels(double l0, double l1, double l2, double h0, double h1, double h2, double m0,
                     double m1, double m2)
{
    return ChannelLevels{l0, l1, l2, h0, h1, h2, m0, m1, m2};
}

CorrectionParams derive(const FrameSettings& s, const ChannelLevels& l)
{
    CorrectionHistory h = identityHistory();
    return deriveCorrectionParams(h, s, l);
}

void expectNear6(const CorrectionParams& p, std::initializer_list<double> expected)
{
    int i = 0;
    for (double e : expected) {
        EXPECT_NEAR(p.value[i], e, 5e-7) << "parameter " << i;
        ++i;
    }
}

const ChannelLevels kExample = levels(10, 20, 30, 200, 220, 240, 100, 120, 140);

}  // namespace

TEST(Koren, ValuesAndSymmetry)
{
    EXPECT_NEAR(koren(100, 0.00045), 82.4993, 5e-5);
    EXPECT_NEAR(koren(-100, 0.00045), -82.4993, 5e-5);
    EXPECT_EQ(koren(0, 0.5), 0.0);
    EXPECT_EQ(koren(0, 0), 0.0);
    EXPECT_EQ(koren(37.5, 0), 37.5);
}

TEST(Correction, WorkedExamples)
{
    const CorrectionParams p = derive(settings(15, 15, true), kExample);
    expectNear6(p, {0, 0, 0, 255, 255, 255, 1.109602, 1, 0.890398});
    EXPECT_NEAR(1.0 / p.value[kCurveR], 0.901224, 5e-7);
    EXPECT_NEAR(1.0 / p.value[kCurveB], 1.123094, 5e-7);

    expectNear6(derive(settings(15, 40, true), kExample),
                {-10, 0, 10, 235, 255, 275, 1.109602, 1, 0.890398});

    const CorrectionParams spread =
        derive(settings(15, 15, true), levels(5, 40, 90, 200, 200, 200, 9, 9, 9));
    expectNear6(spread, {-17.5, 0, 17.5});

    // Deviations equal to the tolerance are inside the dead zone.
    expectNear6(derive(settings(15, 15, true), levels(20, 45, 70, 200, 200, 200, 9, 9, 9)),
                {0, 0, 0});

    expectNear6(derive(settings(15, 40, true), levels(1, 64, 127, 128, 191, 254, 0, 128, 255)),
                {-63, 0, 63, 192, 255, 318, 1.617169, 0.997044, 0.382831});

    const CorrectionParams strong =
        derive(settings(40, 40, true), levels(1, 64, 127, 128, 191, 254, 0, 128, 255));
    expectNear6(strong, {-63, 0, 63, 192, 255, 318, 2.466410, 0.992191, -0.466410});
    EXPECT_NEAR(1.0 / strong.value[kCurveB], -2.144034, 5e-7);

    // A tolerance below zero (alignment 50 from a script): the second test wins.
    expectNear6(derive(settings(15, 50, true), levels(20, 20, 20, 230, 230, 230, 9, 9, 9)),
                {10, 10, 10, 265, 265, 265});
}

TEST(Correction, GammaZeroOrNegativeKeepsCurvesExactlyOne)
{
    const ChannelLevels far = levels(1, 64, 127, 128, 191, 254, 0, 128, 255);
    for (int gamma : {0, -1, -40, INT_MIN}) {
        CorrectionHistory h = identityHistory();
        const CorrectionParams p = deriveCorrectionParams(h, settings(gamma, 40, true), far);
        SCOPED_TRACE(gamma);
        EXPECT_EQ(p.value[kCurveR], 1.0);
        EXPECT_EQ(p.value[kCurveG], 1.0);
        EXPECT_EQ(p.value[kCurveB], 1.0);
        EXPECT_EQ(p.value[kBlackR], -63);  // alignment still acts
        for (int i = 0; i < kParamCount; ++i) {
            EXPECT_FALSE(std::isnan(h.frozen[i]));
            EXPECT_FALSE(std::isnan(h.history[i][0]));
        }
    }
}

TEST(Correction, HistoryRampsWhileTheDialogIsClosed)
{
    // Levels whose red black point derives to 10 (alignment 40: full alignment).
    const ChannelLevels l = levels(30, 20, 10, 200, 200, 200, 50, 50, 50);
    CorrectionHistory closed = identityHistory();
    const double expected[] = {2, 4, 6, 8, 10, 10, 10};
    for (double e : expected)
        EXPECT_DOUBLE_EQ(deriveCorrectionParams(closed, settings(15, 40, false), l).value[kBlackR],
                         e);

    CorrectionHistory open = identityHistory();
    for (int frame = 0; frame < 3; ++frame)
        EXPECT_EQ(deriveCorrectionParams(open, settings(15, 40, true), l).value[kBlackR], 10);
    EXPECT_EQ(open.history[kBlackR][2], 10);  // renders still enter the history
}

TEST(Correction, FreezeHoldsTheStoredValues)
{
    CorrectionHistory h = identityHistory();
    FrameSettings s = settings(15, 40, true);
    s.freeze = 1;
    // Frozen before any frame: the identity applies whatever the picture.
    const CorrectionParams first = deriveCorrectionParams(h, s, kExample);
    const CorrectionParams identity = identityCorrection();
    EXPECT_EQ(0, std::memcmp(&first, &identity, sizeof first));

    s.freeze = 0;
    const CorrectionParams measured = deriveCorrectionParams(h, s, kExample);
    s.freeze = 1;
    s.gamma = 40;
    s.alignment = 0;
    const CorrectionParams held =
        deriveCorrectionParams(h, s, levels(1, 64, 127, 128, 191, 254, 0, 128, 255));
    EXPECT_EQ(0, std::memcmp(&held, &measured, sizeof held));
    EXPECT_EQ(h.frozen[kBlackR], measured.value[kBlackR]);
    EXPECT_EQ(h.history[kBlackB][0], measured.value[kBlackB]);  // history fills with them
}

TEST(Correction, DisableAppliesIdentityWhileStateFollowsThePicture)
{
    CorrectionHistory h = identityHistory();
    FrameSettings s = settings(15, 40, true);
    s.disable = 1;
    const CorrectionParams p = deriveCorrectionParams(h, s, kExample);
    const CorrectionParams identity = identityCorrection();
    EXPECT_EQ(0, std::memcmp(&p, &identity, sizeof p));
    EXPECT_EQ(h.frozen[kBlackR], -10);
    EXPECT_EQ(h.history[kWhiteB][0], 275);

    // Turning disable off applies the average of the last five frames at once.
    s.disable = 0;
    s.averageHistory = 1;
    const CorrectionParams after = deriveCorrectionParams(h, s, kExample);
    EXPECT_DOUBLE_EQ(after.value[kBlackR], -4);  // (-10 -10 + 0 + 0 + 0) / 5
}
