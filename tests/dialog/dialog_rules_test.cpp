// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The dialog's window-free rules at the edges of 32-bit arithmetic and 16-bit packing.
#include "dialog/dialog_rules.h"

#include <gtest/gtest.h>

#include <climits>

#include "plugin/filter_state.h"

TEST(MarginRule, YieldsOnlyWhenFewerThanTenLinesWouldRemain)
{
    struct Case {
        int extent, position, opposite;
        bool yields;
        int after;
    };
    const Case cases[] = {
        {480, 462, 8, false, 8},  // 480 - 8 - 462 = 10 lines left
        {480, 463, 8, true, 7},      {480, 465, 8, true, 5},     {640, 400, 300, true, 230},
        {640, 330, 300, false, 300}, {640, 331, 300, true, 299}, {16, 1, 1, false, 1},
        {10, 1, 1, true, -1},  // tiny frames: the opposite margin goes negative
        {0, -5, 0, true, -5},
    };
    for (const Case& c : cases) {
        const MarginYield y = applyMarginRule(c.extent, c.position, c.opposite);
        EXPECT_EQ(y.yields, c.yields) << c.extent << " " << c.position << " " << c.opposite;
        EXPECT_EQ(y.opposite, c.after) << c.extent << " " << c.position << " " << c.opposite;
    }
}

// Script values can be anything; the rule must wrap like 32-bit ints, never overflow.
TEST(MarginRule, WrapsLikeThirtyTwoBitIntegersAtTheExtremes)
{
    // INT_MAX - (-10) - 9 wraps to INT_MIN, so any position yields.
    MarginYield y = applyMarginRule(INT_MAX, INT_MIN, -10);
    EXPECT_TRUE(y.yields);
    EXPECT_EQ(y.opposite, -11);  // INT_MAX - 10 - INT_MIN wraps to -11

    // INT_MIN - 1 - 9 wraps to INT_MAX - 9: only the top positions yield.
    y = applyMarginRule(INT_MIN, INT_MAX - 10, 1);
    EXPECT_FALSE(y.yields);
    y = applyMarginRule(INT_MIN, INT_MAX - 9, 1);
    EXPECT_TRUE(y.yields);
    EXPECT_EQ(y.opposite, 0);  // INT_MIN - 10 - (INT_MAX - 9) wraps to 0

    EXPECT_EQ(marginMaximum(480), 465);
    EXPECT_EQ(marginMaximum(16), 1);
    EXPECT_EQ(marginMaximum(10), -5);
    EXPECT_EQ(marginMaximum(INT_MIN), INT_MAX - 14);
}

TEST(TrackbarRange, KeepsTheLowSixteenBitsOfEachEnd)
{
    EXPECT_EQ(packedTrackbarRange(0, 40), 0x00280000u);
    EXPECT_EQ(packedTrackbarRange(1, 465), 0x01D10001u);
    EXPECT_EQ(packedTrackbarRange(1, -5), 0xFFFB0001u);
    EXPECT_EQ(packedTrackbarRange(1, 70000 - 15), (uint32_t(69985 - 65536) << 16) | 1u);
    EXPECT_EQ(packedTrackbarRange(-1, 0), 0x0000FFFFu);
}

TEST(ConfigResult, OnlyTheOkButtonCountsAsAccepted)
{
    EXPECT_EQ(configResult(1016), 0);
    EXPECT_EQ(configResult(0), 1);   // Cancel
    EXPECT_EQ(configResult(-1), 1);  // the dialog could not be created: nothing was accepted
}

TEST(Backups, CancelRestoresExactlyTheEightScriptSettings)
{
    FilterState s{};
    resetFilterState(s, 4, 640, 480);
    const int before[] = {3, 4, 1, -7, 9, 100000, 11, 1};  // gamma ... freeze
    s.gamma = before[0], s.alignment = before[1], s.border = before[2], s.top = before[3];
    s.left = before[4], s.right = before[5], s.bottom = before[6], s.freeze = before[7];
    takeBackups(s);

    s.gamma = s.alignment = s.border = s.top = s.left = s.right = s.bottom = s.freeze = 55;
    s.disable = s.showHistogram = s.reserve = 1;
    restoreBackups(s);

    const int after[] = {s.gamma, s.alignment, s.border, s.top,
                         s.left,  s.right,     s.bottom, s.freeze};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(after[i], before[i]) << "setting " << i;
    EXPECT_EQ(s.disable, 1);
    EXPECT_EQ(s.showHistogram, 1);
    EXPECT_EQ(s.reserve, 1);
}
