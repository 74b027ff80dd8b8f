// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// Histogram analysis: levels, medians, thresholds and the analysis region.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <random>

#include "engine/channel_levels.h"
#include "engine/frame_settings.h"
#include "engine/peak_threshold.h"
#include "tests/support/test_support.h"

namespace
{

ChannelLevels levelsOfFlat(int w, int h, uint32_t pixel,
                           const FrameSettings& s = defaultFrameSettings())
{
    GuardedFrame f(w, h);
    fillFlat(f, pixel);
    return measureChannelLevels(f.constPlane(), s);
}

void expectAll(const ChannelLevels& l, double low, double high, double median)
{
    EXPECT_EQ(l.value[kLowR], low);
    EXPECT_EQ(l.value[kLowG], low);
    EXPECT_EQ(l.value[kLowB], low);
    EXPECT_EQ(l.value[kHighR], high);
    EXPECT_EQ(l.value[kHighG], high);
    EXPECT_EQ(l.value[kHighB], high);
    EXPECT_EQ(l.value[kMedianR], median);
    EXPECT_EQ(l.value[kMedianG], median);
    EXPECT_EQ(l.value[kMedianB], median);
}

}  // namespace

TEST(Levels, AllBlackMedianTieIsDecidedByTheLastBit)
{
    // The products 0.2 * (...) decide a tie with half the total: the median lands on
    // bin 0 at 640x480 and on bin 1 at 1920x1080.
    expectAll(levelsOfFlat(640, 480, 0), 1, 128, 0);
    expectAll(levelsOfFlat(1920, 1080, 0), 1, 128, 1);
}

TEST(Levels, OneColourFrames)
{
    for (int v : {5, 60, 126, 127, 128, 129, 200, 250}) {
        const ChannelLevels l = levelsOfFlat(64, 48, makeGrey(v));
        const double low = v <= 128 ? v - 2 : 127;
        const double high = v >= 127 ? v + 2 : 128;
        SCOPED_TRACE(v);
        expectAll(l, low, high, v);
    }
    // Channels are measured independently.
    const ChannelLevels l = levelsOfFlat(32, 32, 0x00143CC8);  // 20, 60, 200
    EXPECT_EQ(l.value[kMedianR], 20);
    EXPECT_EQ(l.value[kMedianG], 60);
    EXPECT_EQ(l.value[kMedianB], 200);
    EXPECT_EQ(l.value[kLowR], 18);
    EXPECT_EQ(l.value[kHighB], 202);
}

TEST(Levels, ClippedPeakAndTailMassOnAKnownFrame)
{
    // 1320 grey pixels: 20 at 30, 1000 at 100, 300 at 220. The peak is clipped at 339,
    // the largest t with more than half of the pixels above it (1000 - 339 = 661 > 660),
    // which leaves 659, so L = 659 / 50 = 13.18. The dark tail's smoothed bins of 4
    // reach L at bin 31, the bright tail's bins of 60 at once at bin 222, and the running
    // sum passes 659 / 2 at bin 102. Unclipped the low level would be 98; clipped at a
    // third instead of half, or with a tail of 1/40 or 1/60, it would be 32, 32 or 30.
    GuardedFrame f(40, 33);
    for (int i = 0; i < 1320; ++i)
        f.set(i % 40, i / 40, makeGrey(i < 20 ? 30 : i < 320 ? 220 : 100));
    expectAll(measureChannelLevels(f.constPlane(), defaultFrameSettings()), 31, 222, 102);
    expectAll(measureChannelLevelsReference(f.constPlane(), defaultFrameSettings()), 31, 222, 102);
}

TEST(Levels, TopByteIsIgnored)
{
    const ChannelLevels a = levelsOfFlat(16, 16, 0x00506070);
    const ChannelLevels b = levelsOfFlat(16, 16, 0xFF506070);
    EXPECT_EQ(0, std::memcmp(&a, &b, sizeof a));
}

TEST(Levels, HalfBlackHalfWhite)
{
    GuardedFrame f(64, 64);
    fillFlat(f, 0);
    for (int y = 32; y < 64; ++y)
        for (int x = 0; x < 64; ++x) f.set(x, y, 0xFFFFFF);
    const ChannelLevels l = measureChannelLevels(f.constPlane(), defaultFrameSettings());
    EXPECT_EQ(l.value[kLowR], 1);
    EXPECT_EQ(l.value[kLowB], 1);
    EXPECT_EQ(l.value[kHighR], 254);
    EXPECT_EQ(l.value[kHighG], 254);
}

TEST(Levels, AnalysisRegionFromMargins)
{
    struct Case {
        int w, h, top, left, right, bottom;
        PixelRegion expected;
    } cases[] = {
        {640, 480, 8, 8, 8, 8, {7, 632, 7, 472}},
        {640, 480, 1, 1, 1, 1, {0, 639, 0, 479}},  // all but the last row and column
        {64, 16, 8, 8, 8, 8, {7, 56, 7, 8}},       // exactly row 7
        {64, 16, 9, 8, 8, 8, {0, 0, 0, 0}},        // bottom + top >= height + 1
        {64, 16, -5, 0, -5, -3, {0, 64, 0, 16}},   // negative margins are cut to the frame
        {64, 16, INT_MIN, INT_MIN, INT_MIN, INT_MIN, {0, 64, 0, 16}},
        {64, 16, INT_MAX, INT_MAX, INT_MAX, INT_MAX, {0, 0, 0, 0}},
        {64, 16, INT_MIN, INT_MAX, INT_MIN, INT_MAX, {0, 0, 0, 0}},
        {0, 0, 8, 8, 8, 8, {0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        const PixelRegion r =
            analysisRegion(c.w, c.h, marginSettings(c.top, c.left, c.right, c.bottom));
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << " margins " << c.top << ","
                                        << c.left << "," << c.right << "," << c.bottom);
        EXPECT_EQ(r.x0, c.expected.x0);
        EXPECT_EQ(r.x1, c.expected.x1);
        EXPECT_EQ(r.y0, c.expected.y0);
        EXPECT_EQ(r.y1, c.expected.y1);
    }
    const PixelRegion whole = analysisRegion(33, 7, defaultFrameSettings());
    EXPECT_EQ(whole.x1, 33);
    EXPECT_EQ(whole.y1, 7);
}

TEST(Levels, OnlyTheRegionIsCounted)
{
    // A white frame whose one counted row (row 7 of 16 with margins of 8) is grey.
    GuardedFrame f(64, 16);
    fillFlat(f, 0xFFFFFF);
    for (int x = 7; x < 56; ++x) f.set(x, 7, makeGrey(100));
    const ChannelLevels l = measureChannelLevels(f.constPlane(), marginSettings(8, 8, 8, 8));
    EXPECT_EQ(l.value[kMedianR], 100);
    EXPECT_EQ(l.value[kLowG], 98);
}

TEST(Levels, EmptyRegionGivesEqualZeroMedians)
{
    for (const FrameSettings& s :
         {marginSettings(9, 8, 8, 8), marginSettings(INT_MAX, 1, 1, INT_MAX)})
        expectAll(levelsOfFlat(64, 16, 0x123456, s), 1, 254, 0);
    expectAll(levelsOfFlat(0, 0, 0), 1, 254, 0);
    expectAll(levelsOfFlat(5, 0, 0), 1, 254, 0);
}

TEST(Levels, FastCountingMatchesTheReference)
{
    std::mt19937 rng(7);
    for (int trial = 0; trial < 40; ++trial) {
        const int w = 1 + int(rng() % 70), h = 1 + int(rng() % 40);
        GuardedFrame f(w, h, int(rng() % 3) * 4, rng() % 2 == 0);
        if (trial % 3 == 0)
            fillNatural(f, trial);
        else
            fillRandom(f, trial);
        FrameSettings s = trial % 2 ? defaultFrameSettings()
                                    : marginSettings(int(rng() % 20) - 5, int(rng() % 20) - 5,
                                                     int(rng() % 20) - 5, int(rng() % 20) - 5);
        const PixelRegion r = analysisRegion(w, h, s);
        ChannelHistograms fast, joint, reference;
        static JointCounts scratch;
        countHistograms(f.constPlane(), r, fast);
        countHistogramsJoint(f.constPlane(), r, scratch, joint);
        countHistogramsReference(f.constPlane(), r, reference);
        ASSERT_EQ(0, std::memcmp(&fast, &reference, sizeof fast)) << "trial " << trial;
        ASSERT_EQ(0, std::memcmp(&joint, &reference, sizeof joint)) << "trial " << trial;
        const ChannelLevels a = measureChannelLevels(f.constPlane(), s);
        const ChannelLevels b = measureChannelLevelsReference(f.constPlane(), s);
        ASSERT_EQ(0, std::memcmp(&a, &b, sizeof a)) << "trial " << trial;
    }
}

// Frames made to trip the one-colour blocks and the tails: single colours under junk top
// bytes, blocks of sixteen with one pixel off in one channel bit at every position,
// every value of every channel, widths around the block size.
TEST(Levels, CountersAgreeWithTheReferenceOnAdversarialFrames)
{
    static JointCounts scratch;  // too big for a test thread's stack under sanitizers
    std::mt19937 rng(99);
    for (int w : {1, 15, 16, 17, 31, 33, 256, 641}) {
        for (int h : {1, 3}) {
            for (int pattern = 0; pattern < 4; ++pattern) {
                GuardedFrame f(w, h, pattern % 2 ? 8 : 0, pattern >= 2);
                for (int y = 0; y < h; ++y) {
                    for (int x = 0; x < w; ++x) {
                        const uint32_t junk = (rng() & 0xFF) << 24;
                        uint32_t p = 0x00A0B0C0;
                        if (pattern == 1 && x % 16 == (y * 5 + x / 16) % 16)
                            p ^= uint32_t(1) << (rng() % 24);
                        if (pattern == 2)
                            p = makePixel(x & 0xFF, (x * 7 + y) & 0xFF, (255 - x) & 0xFF);
                        if (pattern == 3) p = x < w / 2 ? 0 : 0xFFFFFF;
                        f.set(x, y, junk | p);
                    }
                }
                const PixelRegion r{0, w, 0, h};
                ChannelHistograms fast, joint, reference;
                countHistograms(f.constPlane(), r, fast);
                countHistogramsJoint(f.constPlane(), r, scratch, joint);
                countHistogramsReference(f.constPlane(), r, reference);
                ASSERT_EQ(0, std::memcmp(&fast, &reference, sizeof fast))
                    << w << "x" << h << " pattern " << pattern;
                ASSERT_EQ(0, std::memcmp(&joint, &reference, sizeof joint))
                    << w << "x" << h << " pattern " << pattern;
            }
        }
    }
}

TEST(PeakThreshold, KnownValues)
{
    auto single = [](uint64_t n) {
        uint64_t h[256] = {};
        h[40] = n;
        return peakThreshold(h);
    };
    EXPECT_EQ(single(100), 49u);
    EXPECT_EQ(single(101), 50u);
    for (uint64_t n = 1; n <= 4; ++n) EXPECT_EQ(single(n), 1u) << n;

    uint64_t flat[256];
    std::fill(flat, flat + 256, 1200);
    EXPECT_EQ(peakThreshold(flat), 599u);

    uint64_t two[256] = {};
    two[3] = 300;
    two[200] = 100;
    EXPECT_EQ(peakThreshold(two), 99u);

    uint64_t empty[256] = {};
    EXPECT_EQ(peakThreshold(empty), 0u);
}

TEST(PeakThreshold, ClosedFormMatchesTheSteppedSearch)
{
    std::mt19937_64 rng(2024);
    auto check = [](const uint64_t h[256], int trial) {
        const uint64_t fast = peakThreshold(h), stepped = peakThresholdStepped(h);
        if (fast != stepped) {
            testing::Message m;
            for (int i = 0; i < 256; ++i)
                if (h[i]) m << i << ":" << h[i] << " ";
            ADD_FAILURE() << "trial " << trial << " closed " << fast << " stepped " << stepped
                          << " histogram " << m;
        }
    };
    uint64_t h[256];
    for (int trial = 0; trial < 3000; ++trial) {
        std::fill(h, h + 256, 0);
        const int kind = trial % 6;
        const int bins = kind == 0 ? 1 : kind == 1 ? 2 : kind == 2 ? 256 : 1 + int(rng() % 20);
        const uint64_t scale = kind == 3 ? 3 : kind == 4 ? 20000 : 400;
        for (int b = 0; b < bins; ++b) h[rng() % 256] += rng() % scale;
        if (kind == 5) {  // ties: many bins of the same height, one peak
            for (int b = 0; b < 256; b += 2) h[b] = 7;
            h[rng() % 256] = rng() % 5000;
        }
        check(h, trial);
    }
}
