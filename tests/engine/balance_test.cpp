// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The balance mode: its values on small histograms whose ends are known, and its frame pass
// against the reference twin.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "engine/balance_correction.h"
#include "engine/frame_pass.h"
#include "engine/pixel.h"
#include "platform/thread_executor.h"
#include "tests/support/test_support.h"

namespace
{

// Each channel holds 50 pixels at its low end, 50 at its high end and 99900 between, so the
// 1/4000 tails (25 pixels) end in the middle of the two spikes, on the spikes' levels.
struct Ends {
    int low, high;
};

void fill(uint64_t h[256], Ends e)
{
    std::memset(h, 0, 256 * sizeof h[0]);
    h[e.low] += 50;
    h[e.high] += 50;
    h[(e.low + e.high) / 2] += 99900;
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

// Saturated pixels below the tail share do not set an end, they only move it inside its
// bin; an empty frame is the identity.
TEST(BalanceCorrection, RobustEndsAndEmptyFrames)
{
    ChannelHistograms h = histograms({0, 250}, {0, 250}, {0, 200});
    h.b[255] += 10;  // the tail is now 25.0025 pixels: 15.0025 of them in bin 200's 50
    const ChannelEnds e = robustEnds(h);
    const double lowB = -0.5 + 25.0025 / 50, highB = 200.5 - 15.0025 / 50;
    EXPECT_NEAR(e.low[2], lowB, 1e-12);
    EXPECT_NEAR(e.high[2], highB, 1e-12);
    EXPECT_EQ(e.low[0], 0);
    EXPECT_NEAR(deriveBalanceCorrection(h).value[kWhiteB], lowB + 255 * (highB - lowB) / 250, 1e-9);

    ChannelHistograms empty{};
    const CorrectionParams p = deriveBalanceCorrection(empty);
    const CorrectionParams id = identityCorrection();
    EXPECT_EQ(0, std::memcmp(&p, &id, sizeof p));
}

namespace
{

// A natural picture with a warm cast: blue scaled down, red's black lifted.
std::vector<uint32_t> castPixels(int w, int h, uint32_t seed)
{
    std::vector<uint32_t> px = naturalPixels(w, h, seed);
    for (uint32_t& p : px) {
        const int r = 12 + GetR(static_cast<int32_t>(p)) * 9 / 10;
        const int b = GetB(static_cast<int32_t>(p)) * 3 / 4;
        p = makePixel(r, GetG(static_cast<int32_t>(p)), b);
    }
    return px;
}

}  // namespace

// The balance pass and its reference twin agree byte for byte, over frames that carry the
// history on, with freeze, disable, border and the open dialog switched at random; and the
// flag reaches the derivation (its blue white point is not the default pass's).
TEST(BalanceCorrection, FramePassMatchesTheReferencePass)
{
    std::mt19937 rng(77);
    for (auto [w, h] : {std::pair{1, 1}, {17, 5}, {385, 289}, {640, 360}}) {
        CorrectionHistory fastHistory = identityHistory(), referenceHistory = identityHistory();
        LinkedCarry fastCarry{}, referenceCarry{};
        for (int frame = 0; frame < 8; ++frame) {
            FrameSettings s = defaultFrameSettings();
            s.balance = 1;
            s.threadCount = 1 + int(rng() % 4);
            s.freeze = rng() % 5 == 0;
            s.disable = rng() % 6 == 0;
            s.border = rng() % 3 == 0;
            s.averageHistory = rng() % 3 != 0;
            s.outlineMargins = !s.averageHistory;
            s.sceneCuts = rng() % 2 ? 70 : 0;
            const std::vector<uint32_t> src = castPixels(w, h, uint32_t(frame / 3 + w));
            std::vector<uint32_t> a(src.size(), 0x11111111u), b(src.size(), 0x22222222u);
            const ConstPlane in{reinterpret_cast<const uint8_t*>(src.data()), w * 4, w, h};
            const FrameReport fast = runFramePass(
                s, fastHistory, {.carry = &fastCarry}, in,
                Plane{reinterpret_cast<uint8_t*>(a.data()), w * 4, w, h}, threadExecutor());
            const FrameReport reference =
                runFramePassReference(s, referenceHistory, {.carry = &referenceCarry}, in,
                                      Plane{reinterpret_cast<uint8_t*>(b.data()), w * 4, w, h});
            ASSERT_EQ(a, b) << w << "x" << h << " frame " << frame;
            ASSERT_EQ(0, std::memcmp(&fast.applied, &reference.applied, sizeof fast.applied));
            ASSERT_EQ(0, std::memcmp(&fastHistory, &referenceHistory, sizeof fastHistory));
        }
    }

    const int w = 320, h = 240;
    const std::vector<uint32_t> src = castPixels(w, h, 5);
    std::vector<uint32_t> dst(src.size());
    const ConstPlane in{reinterpret_cast<const uint8_t*>(src.data()), w * 4, w, h};
    FrameSettings s = defaultFrameSettings();
    s.threadCount = 2;
    s.balance = 1;
    CorrectionHistory history = identityHistory();
    const FrameReport balanced =
        runFramePass(s, history, {}, in, Plane{reinterpret_cast<uint8_t*>(dst.data()), w * 4, w, h},
                     threadExecutor());
    FrameSettings plain = s;
    plain.balance = 0;
    CorrectionHistory plainHistory = identityHistory();
    const FrameReport byDefault =
        runFramePass(plain, plainHistory, {}, in,
                     Plane{reinterpret_cast<uint8_t*>(dst.data()), w * 4, w, h}, threadExecutor());
    EXPECT_LT(balanced.applied.value[kWhiteB], 250.0);
    EXPECT_GT(balanced.applied.value[kBlackR], 1.0);
    EXPECT_NE(balanced.applied.value[kWhiteB], byDefault.applied.value[kWhiteB]);
}
