// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// Outline and histogram graph: positions, clipping at the frame's edges, and the fast
// drawing against the pixel-by-pixel rules.
#include <gtest/gtest.h>

#include <climits>
#include <random>

#include "engine/frame_settings.h"
#include "engine/overlays.h"
#include "tests/support/test_support.h"

namespace
{

bool isOutline(const GuardedFrame& f, int x, int y)
{
    return f.at(x, y) == kOutlineColour;
}

}  // namespace

TEST(Outline, DefaultMarginsOn640x480)
{
    GuardedFrame f(640, 480);
    fillFlat(f, makeGrey(90));
    drawBorderOutline(f.plane(), marginSettings(8, 8, 8, 8));
    for (int x = 9; x <= 632; ++x) {
        EXPECT_TRUE(isOutline(f, x, 8)) << x;
        EXPECT_TRUE(isOutline(f, x, 473)) << x;
    }
    for (int y = 9; y <= 472; ++y) {
        EXPECT_TRUE(isOutline(f, 8, y)) << y;
        EXPECT_TRUE(isOutline(f, 633, y)) << y;
    }
    for (auto [x, y] : {std::pair{8, 8}, {633, 8}, {8, 473}, {633, 473}, {634, 100}, {100, 474}})
        EXPECT_EQ(f.at(x, y), makeGrey(90)) << x << "," << y;
    int drawn = 0;
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x) drawn += isOutline(f, x, y);
    EXPECT_EQ(drawn, 2 * 624 + 2 * 464);
}

TEST(Outline, EdgesOutsideTheFrameAreSkipped)
{
    GuardedFrame f(40, 30);
    fillFlat(f, 0);
    drawBorderOutline(f.plane(), marginSettings(1, 5, 0, 5));
    for (int y = 0; y < 30; ++y) {
        if (y != 5) {  // the bottom edge runs through to the last column
            EXPECT_FALSE(isOutline(f, 39, y)) << "no right edge with right 0";
        }
    }
    EXPECT_TRUE(isOutline(f, 5, 29));  // left edge reaches the last row
    EXPECT_TRUE(isOutline(f, 39, 5));  // bottom edge reaches the last column
    EXPECT_TRUE(f.guardsIntact());
}

TEST(Outline, FastDrawingMatchesTheRulesForAnyMargins)
{
    std::mt19937 rng(5);
    const int extremes[] = {INT_MIN, -100, -1, 0, 1, 2, 8, 29, 30, 31, 45, INT_MAX};
    for (int trial = 0; trial < 300; ++trial) {
        const int w = 1 + int(rng() % 45), h = 1 + int(rng() % 35);
        auto pick = [&] { return rng() % 3 ? int(rng() % 50) - 5 : extremes[rng() % 12]; };
        const FrameSettings s = marginSettings(pick(), pick(), pick(), pick());
        GuardedFrame a(w, h, 4, trial % 2), b(w, h);
        fillRandom(a, trial);
        fillRandom(b, trial);
        drawBorderOutline(a.plane(), s);
        drawBorderOutlineReference(b.plane(), s);
        ASSERT_EQ(a.pixels(), b.pixels()) << "trial " << trial << " " << w << "x" << h;
        ASSERT_TRUE(a.guardsIntact());
    }
}

TEST(Graph, GreyFrameBarsAndGrid)
{
    GuardedFrame f(640, 480);
    fillFlat(f, makeGrey(128));
    drawHistogramGraph(f.plane());
    for (int y = 33; y < 480; ++y) EXPECT_EQ(f.at(160, y), kRedBarColour) << y;
    for (int y = 65; y < 480; ++y) EXPECT_EQ(f.at(192, y), kGreenBarColour) << y;
    for (int y = 97; y < 480; ++y) EXPECT_EQ(f.at(224, y), kBlueBarColour) << y;
    EXPECT_EQ(f.at(160, 32), kGridColour);  // bars never cover their baseline
    EXPECT_EQ(f.at(33, 32), kGridColour);
    EXPECT_EQ(f.at(287, 32), kGridColour);
    EXPECT_EQ(f.at(288, 32), kGridColour);  // the last depth line starts a row early
    EXPECT_EQ(f.at(32, 32), makeGrey(128));
    EXPECT_EQ(f.at(351, 96), kGridColour);
    EXPECT_EQ(f.at(352, 96), makeGrey(128));
    EXPECT_EQ(f.at(33, 33), kGridColour);  // first depth line
    EXPECT_EQ(f.at(95, 95), kGridColour);
    EXPECT_EQ(f.at(32 * 7 + 50, 50), kGridColour);
}

TEST(Graph, BarHeightsFollowCountsOverThirty)
{
    // Per channel, values 10, 20 and 30 on 59, 60 and 90 pixels, everything else black:
    // a bar is count / 30 - 1 pixels tall above its channel's baseline (row 32, 64 or
    // 96, columns shifted by the same), so 59 draws nothing, 60 one pixel, 90 two.
    const struct {
        const char* name;
        int shift;  // bits of the channel in a pixel
        int baseline;
        uint32_t colour;
    } channels[] = {
        {"red", 16, 32, kRedBarColour},
        {"green", 8, 64, kGreenBarColour},
        {"blue", 0, 96, kBlueBarColour},
    };
    for (const auto& c : channels) {
        SCOPED_TRACE(c.name);
        GuardedFrame f(140, 110);
        fillFlat(f, 0);
        int placed = 0;
        auto place = [&](uint32_t value, int count) {
            for (int i = 0; i < count; ++i, ++placed)
                f.set(placed % 140, 109 - placed / 140, value << c.shift);
        };
        place(10, 59);
        place(20, 60);
        place(30, 90);
        const uint32_t corner = f.at(0, 0);
        drawHistogramGraph(f.plane());
        auto bar = [&](int value, int height) {
            return f.at(c.baseline + value, c.baseline + height);
        };
        EXPECT_NE(bar(10, 1), c.colour);  // 59: nothing
        EXPECT_EQ(bar(20, 1), c.colour);  // 60: one pixel
        EXPECT_NE(bar(20, 2), c.colour);
        EXPECT_EQ(bar(30, 1), c.colour);  // 90: two
        EXPECT_EQ(bar(30, 2), c.colour);
        EXPECT_NE(bar(30, 3), c.colour);
        EXPECT_EQ(f.at(0, 0), corner);
    }
}

TEST(Graph, BlackOrWhiteFramesGetOnlyTheGrid)
{
    for (uint32_t colour : {0u, 0xFFFFFFu}) {
        GuardedFrame f(400, 200);
        fillFlat(f, colour);
        drawHistogramGraph(f.plane());
        for (int y = 0; y < 200; ++y)
            for (int x = 0; x < 400; ++x) {
                const uint32_t p = f.at(x, y);
                ASSERT_TRUE(p == colour || p == kGridColour) << x << "," << y;
            }
    }
}

TEST(Graph, FastDrawingMatchesTheRulesOnAnyFrameSize)
{
    const std::pair<int, int> sizes[] = {{1, 1},     {1, 200},  {100, 50}, {351, 97}, {352, 96},
                                         {353, 300}, {700, 33}, {17, 641}, {0, 5},    {5, 0}};
    int trial = 0;
    for (auto [w, h] : sizes) {
        for (int content = 0; content < 3; ++content, ++trial) {
            GuardedFrame a(w, h, 8, trial % 2), b(w, h);
            if (content == 0)
                fillFlat(a, makeGrey(40 + trial));
            else if (content == 1)
                fillNatural(a, trial);
            else
                fillRandom(a, trial);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) b.set(x, y, a.at(x, y));
            drawHistogramGraph(a.plane());
            drawHistogramGraphReference(b.plane());
            ASSERT_EQ(a.pixels(), b.pixels()) << w << "x" << h << " content " << content;
            ASSERT_TRUE(a.guardsIntact());
        }
    }
}
