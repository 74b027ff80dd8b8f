// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The balance mode: its values on small histograms whose ends are known, and its frame pass
// against the reference twin.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <numbers>
#include <random>
#include <vector>

#include "engine/analysis_phase.h"
#include "engine/balance_correction.h"
#include "engine/balance_counts.h"
#include "engine/cpu_level.h"
#include "engine/deep_pixel.h"
#include "engine/frame_pass.h"
#include "engine/kernel_table.h"
#include "engine/pixel.h"
#include "platform/thread_executor.h"
#include "tests/support/cpu_levels.h"
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

namespace
{

// A neutral scene: a grey ramp from 30 to 170 across the frame (a dim room), each pixel
// grey, with an optional square of one colour covering `share` of the frame.
std::vector<uint32_t> greyScene(int w, int h, double share = 0, uint32_t colour = 0)
{
    std::vector<uint32_t> px(size_t(w) * size_t(h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int v = 30 + (140 * x + 37 * (y % 5)) / w;
            px[size_t(y) * size_t(w) + size_t(x)] = makePixel(v, v, v);
        }
    const int side = int(std::lround(std::sqrt(share * w * h)));
    for (int y = h / 3; y < h / 3 + side; ++y)
        for (int x = w / 2; x < w / 2 + side; ++x) px[size_t(y) * size_t(w) + size_t(x)] = colour;
    return px;
}

// Each pixel's channels scaled by r, g, b percent.
std::vector<uint32_t> scaled(std::vector<uint32_t> px, int r, int g, int b)
{
    for (uint32_t& p : px) {
        const auto q = static_cast<int32_t>(p);
        p = makePixel(GetR(q) * r / 100, GetG(q) * g / 100, GetB(q) * b / 100);
    }
    return px;
}

BalanceEstimate estimateOf(const std::vector<uint32_t>& px, int w, int h, int strength = 100)
{
    const ConstPlane in{reinterpret_cast<const uint8_t*>(px.data()), w * 4, w, h};
    const PixelRegion all{0, w, 0, h};
    ChannelHistograms counted;
    countHistogramsReference(in, all, counted);
    BalanceCounts grey;
    countBalanceReference(in, all, grey);
    return estimateBalance(counted, grey, strength);
}

}  // namespace

// The estimator on small known pictures. A saturated object of 0.03 to 5% of a neutral scene
// sets a channel's end among all pixels (the ramp stops at 170, the object reaches 230): it
// must leave the scene exactly as it is; a cast of the whole scene must still be taken out,
// and --strength scales what is taken out.
TEST(BalanceCorrection, SmallSaturatedObjectsDoNotCastANeutralScene)
{
    const int w = 400, h = 300;
    const CorrectionParams id = identityCorrection();
    for (double share : {0.0003, 0.002, 0.01, 0.05})
        for (uint32_t colour : {makePixel(30, 60, 230), makePixel(240, 120, 20)}) {
            const BalanceEstimate e = estimateOf(greyScene(w, h, share, colour), w, h);
            EXPECT_EQ(0, std::memcmp(&e.values, &id, sizeof id)) << share << " " << colour;
        }

    // Blue at 80% over the whole scene: the ramp's ends, grey in the scene, map to the same
    // levels in every channel again.
    const std::vector<uint32_t> cast = scaled(greyScene(w, h), 100, 100, 80);
    const BalanceEstimate full = estimateOf(cast, w, h);
    const auto mapped = [&](const BalanceEstimate& e, int c, double v) {
        const double black = e.values.value[kBlackR + c], white = e.values.value[kWhiteR + c];
        return 255 * (v - black) / (white - black);
    };
    EXPECT_NEAR(mapped(full, 0, 170), mapped(full, 2, 136), 0.5);
    EXPECT_NEAR(mapped(full, 0, 30), mapped(full, 2, 24), 0.5);
    EXPECT_NEAR(mapped(full, 1, 100), mapped(full, 0, 100), 1e-9);
    EXPECT_EQ(full.weight, double(w) * h) << "every pixel of the scene is near grey";
    const BalanceEstimate half = estimateOf(cast, w, h, 50);
    for (int p = 0; p < kParamCount; ++p)
        EXPECT_NEAR(half.values.value[p], (id.value[p] + full.values.value[p]) / 2, 1e-9) << p;
    const BalanceEstimate none = estimateOf(cast, w, h, 0);
    EXPECT_EQ(0, std::memcmp(&none.values, &id, sizeof id));
}

// A per-channel gamma (a warm light: red 0.8, blue 1.3) over a scene whose grey surfaces, a
// ramp from 0 to 255, are a quarter of it, the rest saturated colour. Every channel still
// reaches both ends, so no stretch sees the cast; the curve factors take the greys at least
// 40 % of the way back to grey at every level (exactly so at the cluster's mean levels, which
// lie off the gamma curve), and leave the same scene without the cast alone.
TEST(BalanceCorrection, MidToneCastOfAFullRangeSceneIsTakenOut)
{
    const int w = 400, h = 300;
    const uint32_t colours[] = {makePixel(220, 40, 40), makePixel(40, 200, 60),
                                makePixel(50, 60, 210), makePixel(230, 210, 40)};
    const auto scene = [&](bool cast) {
        std::vector<uint32_t> px(size_t(w) * size_t(h));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const int v = 255 * x / (w / 4 - 1);
                uint32_t p = x < w / 4 ? makePixel(v, v, v) : colours[(x * 4 / w + y * 2 / h) % 4];
                if (cast) {
                    const auto q = static_cast<int32_t>(p);
                    const auto gamma = [](int c, double g) {
                        return int(std::lround(255 * std::pow(c / 255.0, g)));
                    };
                    p = makePixel(gamma(GetR(q), 0.8), GetG(q), gamma(GetB(q), 1.3));
                }
                px[size_t(y) * size_t(w) + size_t(x)] = p;
            }
        return px;
    };
    const BalanceEstimate e = estimateOf(scene(true), w, h);
    const auto out = [&](int c, int v) {
        const double black = e.values.value[kBlackR + c], white = e.values.value[kWhiteR + c];
        return 255 * std::pow((v - black) / (white - black), 1 / e.values.value[kCurveR + c]);
    };
    for (int v : {64, 128, 192}) {
        const int castR = int(std::lround(255 * std::pow(v / 255.0, 0.8)));
        const int castB = int(std::lround(255 * std::pow(v / 255.0, 1.3)));
        const double r = out(0, castR), g = out(1, v), b = out(2, castB);
        // Not all of it: the three saturated colours make undoing the cast move the
        // picture's mean colour more than the curves may.
        EXPECT_LT(std::fabs(r - g), 0.7 * (castR - v)) << "grey " << v;
        EXPECT_LT(std::fabs(b - g), 0.7 * (v - castB)) << "grey " << v;
    }
    const BalanceEstimate uncast = estimateOf(scene(false), w, h);
    const CorrectionParams id = identityCorrection();
    EXPECT_EQ(0, std::memcmp(&uncast.values, &id, sizeof id));
}

// A warm surface in shade and light (a cat's fur) over most of the picture, above four
// saturated colours: its cluster looks like greys under a mid-tone cast, and the curves would
// move the whole picture's mean colour by more than 4 degrees to make it grey.
TEST(BalanceCorrection, CurvesMoveTheMeanColourOfAWarmPictureLittle)
{
    const int w = 400, h = 300;
    const uint32_t colours[] = {makePixel(220, 40, 40), makePixel(40, 200, 60),
                                makePixel(50, 60, 210), makePixel(230, 210, 40)};
    std::vector<uint32_t> px(size_t(w) * size_t(h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const double v = 40 + 200.0 * x / (w - 1);
            px[size_t(y) * size_t(w) + size_t(x)] =
                y < h * 7 / 10 ? makePixel(int(std::lround(v)), int(std::lround(0.77 * v)),
                                           int(std::lround(0.61 * v)))
                               : colours[(x * 4 / w + y * 2 / h) % 4];
        }
    const BalanceEstimate e = estimateOf(px, w, h);
    double before[3] = {0, 0, 0}, after[3] = {0, 0, 0};
    for (const uint32_t p : px) {
        const auto q = static_cast<int32_t>(p);
        const int in[3] = {GetR(q), GetG(q), GetB(q)};
        for (int c = 0; c < 3; ++c) {
            const double black = e.values.value[kBlackR + c], white = e.values.value[kWhiteR + c];
            const double t = std::clamp((in[c] - black) / (white - black), 0.0, 1.0);
            before[c] += in[c];
            after[c] += 255 * std::pow(t, 1 / e.values.value[kCurveR + c]);
        }
    }
    double dot = 0, a = 0, b = 0;
    for (int c = 0; c < 3; ++c) {
        dot += before[c] * after[c];
        a += before[c] * before[c];
        b += after[c] * after[c];
    }
    EXPECT_NE(e.values.value[kCurveB], 1) << "the curves still act";
    EXPECT_LT(std::acos(std::min(1.0, dot / std::sqrt(a * b))) * 180 / std::numbers::pi, 2.05);
}

// A flat frame whose channels span fewer than 16 levels each, of different widths and at
// different levels (together they span more): nothing to compare, so every frame passes
// byte for byte, the carried average included.
TEST(BalanceCorrection, FlatFramesOfNarrowChannelsPassUnchanged)
{
    const int w = 64, h = 48;
    std::vector<uint32_t> src(size_t(w) * size_t(h));
    for (size_t i = 0; i < src.size(); ++i)
        src[i] = makePixel(100 + int(i % 4), 60 + int(i % 10), 150 + int(i % 15));
    const ConstPlane in{reinterpret_cast<const uint8_t*>(src.data()), w * 4, w, h};
    FrameSettings s = defaultFrameSettings();
    s.balance = 1;
    CorrectionHistory history = identityHistory();
    LinkedCarry carry{};
    for (int frame = 0; frame < 6; ++frame) {
        std::vector<uint32_t> dst(src.size());
        runFramePass(s, history, {.carry = &carry}, in,
                     Plane{reinterpret_cast<uint8_t*>(dst.data()), w * 4, w, h}, threadExecutor());
        ASSERT_EQ(dst, src) << "frame " << frame;
    }
}

namespace
{

}  // namespace

// The workers' grid counts, exponent plane included, equal the reference's at every kernel
// level, for both pixel formats, a grid step above one (over 2^18 pixels) and regions that
// start off the grid's and the workers' rows.
TEST(BalanceCorrection, WorkersCountTheGridAsTheReferenceDoes)
{
    const int w = 1003, h = 701;
    const std::vector<uint32_t> px = naturalPixels(w, h, 9);
    std::vector<uint64_t> deep(px.size());
    for (size_t i = 0; i < px.size(); ++i) deep[i] = deepFromPixel(px[i]) + (i % 257);
    const ConstPlane planes[] = {
        {reinterpret_cast<const uint8_t*>(px.data()), w * 4, w, h, PixelFormat::Bgrx32},
        {reinterpret_cast<const uint8_t*>(deep.data()), w * 8, w, h, PixelFormat::Bgra64}};
    for (const CpuLevel level : engineLevelsOnThisCpu()) {
        const CpuLevelCap cap(level);
        for (const ConstPlane& plane : planes)
            for (PixelRegion region : {PixelRegion{0, w, 0, h}, PixelRegion{7, w - 3, 5, h - 2}})
                for (int threads : {1, 2, 3, 8}) {
                    BalanceCounts fast, reference;
                    ChannelHistograms counted;
                    countOnWorkers(plane, region, threads, threadExecutor(), counted, &fast);
                    countBalanceReference(plane, region, reference);
                    EXPECT_GT(
                        balanceGridStep(int64_t(region.x1 - region.x0) * (region.y1 - region.y0)),
                        1);
                    EXPECT_GT(reference.grey, 0u);
                    uint64_t planed = 0;
                    for (const auto& column : reference.exponents)
                        for (const ExponentBin& bin : column) planed += bin.n;
                    EXPECT_GT(planed, reference.looked / 2)
                        << "most pixels lie on the exponent plane";
                    EXPECT_EQ(0, std::memcmp(&fast, &reference, sizeof fast))
                        << cpuLevelName(level) << ", " << threads << " workers, region from "
                        << region.x0;
                }
    }
}

namespace
{

// Pixels that end where an unreadable page begins, so a kernel that reads past the last
// row's end faults instead of reading what follows by chance.
class PixelsBeforeAGuardPage
{
public:
    explicit PixelsBeforeAGuardPage(size_t bytes)
    {
        const size_t page = size_t(sysconf(_SC_PAGESIZE));
        size_ = (bytes + page - 1) / page * page + page;
        base_ = static_cast<uint8_t*>(
            mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
        EXPECT_NE(base_, MAP_FAILED);
        EXPECT_EQ(0, mprotect(base_ + size_ - page, page, PROT_NONE));
        data = base_ + size_ - page - bytes;
    }
    ~PixelsBeforeAGuardPage() { munmap(base_, size_); }
    PixelsBeforeAGuardPage(const PixelsBeforeAGuardPage&) = delete;
    PixelsBeforeAGuardPage& operator=(const PixelsBeforeAGuardPage&) = delete;
    uint8_t* data;

private:
    uint8_t* base_;
    size_t size_;
};

// A channel level, half the time one of those where the counts change their rules.
int interestingLevel(std::mt19937& rng)
{
    constexpr int kEdges[] = {0, 1, 6, 7, 23, 24, 25, 127, 128, 249, 250, 251, 254, 255};
    return rng() % 2 ? int(rng() % 256) : kEdges[rng() % std::size(kEdges)];
}

}  // namespace

// Every level's grid kernel against the scalar row loop, which the test above holds to the
// reference: both formats, every grid step up to one past the widest the vector kernel
// fetches with plain loads, every leftover of a block of sixteen up to the frame's last byte,
// runs of one colour (in deep pixels, of one colour once binned) that fill whole blocks, and
// levels at every edge of the plane and of near grey.
TEST(BalanceCorrection, GridKernelsCountAsTheRowLoopDoes)
{
    const int w = 640, h = 16;
    std::mt19937 rng(3);
    PixelsBeforeAGuardPage eight(size_t(w) * h * 4), sixteen(size_t(w) * h * 8);
    auto near = [&](int v) { return std::clamp(v * 257 + int(rng() % 255) - 127, 0, 65535); };
    // Colours at the edges themselves, the allowance's included, and the frame's last pixels
    // black, a leftover block of one colour.
    constexpr uint32_t kPlanted[] = {0x804764, 0x478080, 0x804664, 0xFAFAFA,
                                     0xFBFAFA, 0x181818, 0x171717, 0x000000};
    for (int i = 0; i < w * h;) {
        const int grey = interestingLevel(rng);
        const int spread = rng() % 3 == 0 ? 0 : rng() % 2 ? 2 : 20;  // 0: any three levels
        auto level = [&] {
            return spread > 0 ? std::clamp(grey + int(rng() % (2 * spread + 1)) - spread, 0, 255)
                              : interestingLevel(rng);
        };
        int r = level(), g = level(), b = level();
        const bool planted = rng() % 8 == 0 || i >= w * h - 200;
        if (planted) {
            const uint32_t p = i >= w * h - 200 ? 0 : kPlanted[rng() % std::size(kPlanted)];
            r = int(p >> 16), g = int(p >> 8 & 0xFF), b = int(p & 0xFF);
        }
        const int run = planted ? 6 : rng() % 8 == 0 ? 1 + int(rng() % 300) : 1;
        for (int k = 0; k < run && i < w * h; ++k, ++i) {
            const uint32_t junk = uint32_t(rng()) << 24;
            const uint64_t alpha = uint64_t(rng()) << 48;
            const uint32_t colour = junk | uint32_t(makePixel(r, g, b));
            std::memcpy(eight.data + 4 * size_t(i), &colour, 4);
            const uint64_t wide = alpha | (run > 1 ? makeDeepPixel(near(r), near(g), near(b))
                                                   : rng() & 0xFFFFFFFFFFFFull);
            std::memcpy(sixteen.data + 8 * size_t(i), &wide, 8);
        }
    }
    const ConstPlane planes[] = {{eight.data, w * 4, w, h, PixelFormat::Bgrx32},
                                 {sixteen.data, w * 8, w, h, PixelFormat::Bgra64}};
    for (const CpuLevel level : engineLevelsOnThisCpu())
        for (const ConstPlane& plane : planes)
            for (int step = 1; step <= 5; ++step)
                for (int x0 : {0, 3})
                    for (int x1 = x0 + 1; x1 <= w;
                         x1 = x1 < x0 + 40 * step ? x1 + 1 : std::min(w, x1 + 97) + (x1 == w)) {
                        BalanceCounts fast{}, scalar{};
                        kernelsFor(level).countBalanceGrid(plane, x0, x1, step, fast);
                        countBalanceGridScalar(plane, x0, x1, step, scalar);
                        ASSERT_EQ(0, std::memcmp(&fast, &scalar, sizeof fast))
                            << cpuLevelName(level)
                            << (plane.format == PixelFormat::Bgra64 ? " deep" : " 8-bit")
                            << ", step " << step << ", columns " << x0 << ".." << x1;
                    }
}

// Within a shot the estimates are averaged by their weights; a cut empties the average.
TEST(BalanceCorrection, SmoothingWeighsEachFrameByItsGreyPixels)
{
    BalanceCarry carry{};
    auto frame = [](double whiteB, double weight) {
        BalanceEstimate e{identityCorrection(), weight};
        e.values.value[kWhiteB] = whiteB;
        return e;
    };
    EXPECT_EQ(smoothBalance(carry, frame(200, 300), false).value[kWhiteB], 200);
    EXPECT_EQ(smoothBalance(carry, frame(230, 100), false).value[kWhiteB],
              (200 * 300 + 230 * 100) / 400.0);
    EXPECT_EQ(smoothBalance(carry, frame(100, 0), false).value[kWhiteB],
              (200 * 300 + 230 * 100) / 400.0)
        << "a frame without a grey pixel does not move it";
    EXPECT_EQ(smoothBalance(carry, frame(240, 5), true).value[kWhiteB], 240) << "a cut restarts it";
    for (int k = 0; k < 5; ++k) smoothBalance(carry, frame(210, 1), false);
    EXPECT_EQ(smoothBalance(carry, frame(210, 1), false).value[kWhiteB], 210) << "five frames held";
}
