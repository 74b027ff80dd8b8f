// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The balance mode's values on small histograms whose ends are known: each channel holds
// 1000 pixels at its low end, 1000 at its high end and 98000 between, so the 1/200 tails
// (500 pixels) end exactly on the two spikes.
#include <gtest/gtest.h>

#include <cstring>

#include "engine/balance_correction.h"

namespace
{

struct Ends {
    int low, high;
};

void fill(uint64_t h[256], Ends e)
{
    std::memset(h, 0, 256 * sizeof h[0]);
    h[e.low] += 1000;
    h[e.high] += 1000;
    h[(e.low + e.high) / 2] += 98000;
}

ChannelHistograms histograms(Ends r, Ends g, Ends b)
{
    ChannelHistograms h;
    fill(h.r, r);
    fill(h.g, g);
    fill(h.b, b);
    return h;
}

struct Case {
    const char* what;
    Ends r, g, b;
    double expected[kParamCount];
};

// clang-format off
const Case kCases[] = {
    {"blue gain: its white point moves to its end", {0, 250}, {0, 250}, {0, 200},
     {0, 0, 0, 255, 255, 204, 1, 1, 1}},
    {"red lifted by 20: black point 20, span kept", {20, 250}, {0, 250}, {0, 250},
     {20, 0, 0, 254.6, 255, 255, 1, 1, 1}},
    {"red lifted by 40: half strength, its low end goes to 20", {40, 250}, {0, 250}, {0, 250},
     {40 - 20 * (255.0 * 210 / 230) / 255, 0, 0,
      40 - 20 * (255.0 * 210 / 230) / 255 + 255.0 * 210 / 230, 255, 255, 1, 1, 1}},
    {"blue at 0.6 of the span: the scene's own colour, left alone", {0, 250}, {0, 250}, {0, 150},
     {0, 0, 0, 255, 255, 255, 1, 1, 1}},
    {"red lifted by 60: left alone", {60, 250}, {0, 250}, {0, 250},
     {0, 0, 0, 255, 255, 255, 1, 1, 1}},
    {"fewer than 16 levels: no ends to compare", {100, 110}, {100, 110}, {90, 100},
     {0, 0, 0, 255, 255, 255, 1, 1, 1}},
};
// clang-format on

}  // namespace

TEST(BalanceCorrection, ValuesFromKnownEnds)
{
    for (const Case& c : kCases) {
        const CorrectionParams p = deriveBalanceCorrection(histograms(c.r, c.g, c.b));
        for (int i = 0; i < kParamCount; ++i)
            EXPECT_NEAR(p.value[i], c.expected[i], 1e-9) << c.what << ", parameter " << i;
    }
}

// Saturated pixels below the tail share do not set an end; an empty frame is the identity.
TEST(BalanceCorrection, RobustEndsAndEmptyFrames)
{
    ChannelHistograms h = histograms({0, 250}, {0, 250}, {0, 200});
    h.b[255] += 400;
    h.r[0] += 100000;  // a black bar: only the tail share grows
    const ChannelEnds e = robustEnds(h);
    EXPECT_EQ(e.high[2], 200);
    EXPECT_EQ(e.low[0], 0);
    EXPECT_NEAR(deriveBalanceCorrection(h).value[kWhiteB], 204, 1e-9);

    ChannelHistograms empty{};
    const CorrectionParams p = deriveBalanceCorrection(empty);
    const CorrectionParams id = identityCorrection();
    EXPECT_EQ(0, std::memcmp(&p, &id, sizeof p));
}
