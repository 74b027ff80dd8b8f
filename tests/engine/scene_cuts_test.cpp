// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The cut detector on short clips of two differently cast scenes with grain: where it
// restarts the history, where it undoes a flash, where it must stay quiet, and that off
// is the plain pass.
#include "engine/scene_cuts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

#include "engine/correction_phase.h"
#include "engine/frame_pass.h"
#include "engine/scene_plan.h"
#include "platform/thread_executor.h"
#include "tests/support/test_support.h"

namespace
{

constexpr int kWidth = 96, kHeight = 64, kFrames = 30;

// What frame k shows: scene B's share (0 = A, 1 = B), a brightness factor, a flash.
struct Shot {
    double toB = 0.0, brightness = 1.0;
    bool flash = false;
    bool grain = true;  // false: black stays black
};
using Clip = std::function<Shot(int)>;

uint8_t channelOf(uint32_t p, int shift)
{
    return static_cast<uint8_t>(p >> shift);
}

std::vector<uint32_t> renderShot(const Shot& s, int frame)
{
    static const std::vector<uint32_t> a = naturalPixels(kWidth, kHeight, 1);
    static const std::vector<uint32_t> b = naturalPixels(kWidth, kHeight, 2);
    const double gainA[3] = {1.0, 0.85, 0.65}, gainB[3] = {0.55, 0.8, 1.15};
    std::mt19937 grain(static_cast<uint32_t>(frame) + 100);
    std::uniform_int_distribution<int> noise(-4, 4);
    std::vector<uint32_t> out(a.size());
    for (size_t i = 0; i < a.size(); ++i) {
        int c[3];
        for (int ch = 0; ch < 3; ++ch) {
            const int shift = 16 - 8 * ch;
            const double va = channelOf(a[i], shift) * gainA[ch];
            const double vb = channelOf(b[i], shift) * gainB[ch];
            double v = ((1 - s.toB) * va + s.toB * vb) * s.brightness;
            if (s.flash) v = 90 + 1.5 * v;
            c[ch] = std::clamp(static_cast<int>(v) + (s.grain ? noise(grain) : 0), 0, 255);
        }
        out[i] = makePixel(c[0], c[1], c[2]);
    }
    return out;
}

struct ClipRun {
    std::vector<ChannelLevels> levels;
    std::vector<SceneEvent> events;
    std::vector<MeasuredFrame> measured;
    std::vector<CorrectionParams> applied;
    std::vector<std::vector<uint32_t>> pixels;
};

// `skip` frames are left out of the clip, as if never shown.
ClipRun runClip(const Clip& clip, int sceneCuts, bool reference, std::vector<int> skip = {},
                LinkedPass pass = LinkedPass::render)
{
    FrameSettings settings = defaultFrameSettings();
    settings.threadCount = 2;
    settings.sceneCuts = sceneCuts;
    CorrectionHistory history = identityHistory();
    LinkedCarry carry{};
    const FrameLinks links{.carry = &carry, .request = {.pass = pass}};
    ClipRun run;
    for (int k = 0; k < kFrames; ++k) {
        if (std::find(skip.begin(), skip.end(), k) != skip.end()) continue;
        const std::vector<uint32_t> src = renderShot(clip(k), k);
        std::vector<uint32_t> dst(src.size(), 0xA5A5A5A5u);
        const ConstPlane in{reinterpret_cast<const uint8_t*>(src.data()), kWidth * 4, kWidth,
                            kHeight};
        const Plane out{reinterpret_cast<uint8_t*>(dst.data()), kWidth * 4, kWidth, kHeight};
        const FrameReport r =
            reference ? runFramePassReference(settings, history, links, in, out)
                      : runFramePass(settings, history, links, in, out, threadExecutor());
        run.levels.push_back(r.levels);
        run.events.push_back(r.scene);
        run.measured.push_back(MeasuredFrame{r.levels, r.scene, r.putBack});
        run.applied.push_back(r.applied);
        run.pixels.push_back(dst);
    }
    return run;
}

std::vector<int> framesWith(const ClipRun& run, SceneEvent e)
{
    std::vector<int> at;
    for (size_t k = 0; k < run.events.size(); ++k)
        if (run.events[k] == e) at.push_back(static_cast<int>(k));
    return at;
}

bool sameValues(const CorrectionParams& a, const CorrectionParams& b)
{
    return std::memcmp(a.value, b.value, sizeof a.value) == 0;
}

struct ClipCase {
    const char* name;
    Clip clip;
    std::vector<int> cuts, flashesUndone;
    std::vector<int> flashFrames;  // once undone, the rest equals the clip without these
};

const ClipCase kClips[] = {
    {"hard cut", [](int k) { return Shot{k >= 12 ? 1.0 : 0.0}; }, {12}, {}, {}},
    {"one-frame flash",
     [](int k) {
         return Shot{0, 1, k == 12};
     },
     {12},
     {13},
     {12}},
    {"two-frame flash",
     [](int k) {
         return Shot{0, 1, k == 12 || k == 13};
     },
     {12},
     {14},
     {12, 13}},
    {"fade to black and back over ten frames each",
     [](int k) {
         return Shot{0, std::clamp(std::abs(k - 15) / 10.0, 0.0, 1.0)};
     },
     {},
     {},
     {}},
    {"dissolve over ten frames",
     [](int k) { return Shot{std::clamp((k - 10) / 10.0, 0.0, 1.0)}; },
     {},
     {},
     {}},
    {"grain only", [](int) { return Shot{}; }, {}, {}, {}},
    // Steps that double each frame, the last well over the threshold: no step is three
    // times the one before, so no cut.
    {"light change that accelerates",
     [](int k) { return Shot{std::clamp(((1 << std::clamp(k - 10, 0, 5)) - 1) / 31.0, 0.0, 1.0)}; },
     {},
     {},
     {}},
    {"fade in from black over five frames",
     [](int k) {
         return Shot{0, std::clamp((k - 9) / 5.0, 0.0, 1.0), false, k >= 10};
     },
     {},
     {},
     {}},
};

TEST(SceneCuts, FindsCutsAndFlashesAndNothingElse)
{
    for (const ClipCase& c : kClips) {
        const ClipRun fast = runClip(c.clip, kSceneCutsDefault, false);
        EXPECT_EQ(framesWith(fast, SceneEvent::cut), c.cuts) << c.name;
        EXPECT_EQ(framesWith(fast, SceneEvent::flashUndone), c.flashesUndone) << c.name;

        const ClipRun reference = runClip(c.clip, kSceneCutsDefault, true);
        EXPECT_EQ(fast.events, reference.events) << c.name;
        EXPECT_TRUE(fast.pixels == reference.pixels) << c.name;

        if (c.flashFrames.empty()) continue;
        // The frames after the flash are rendered as if it had never been shown.
        const ClipRun without = runClip(c.clip, kSceneCutsDefault, false, c.flashFrames);
        const size_t after = c.flashesUndone.front();
        for (size_t k = after; k < fast.applied.size(); ++k)
            EXPECT_TRUE(sameValues(fast.applied[k], without.applied[k - c.flashFrames.size()]))
                << c.name << " frame " << k;
    }
}

// The first frame of the new scene gets the new scene's settled correction, where the
// plain average still holds four fifths of the old one.
TEST(SceneCuts, FirstFrameAfterACutIsCorrectedForTheNewScene)
{
    const Clip cut = [](int k) { return Shot{k >= 12 ? 1.0 : 0.0}; };
    for (int sceneCuts : {kSceneCutsDefault, 0}) {
        const ClipRun run = runClip(cut, sceneCuts, false);
        const CorrectionParams& first = run.applied[12];
        const CorrectionParams& settled = run.applied[kFrames - 1];
        double worst = 0;
        for (int p = kCurveR; p <= kCurveB; ++p)
            worst = std::max(worst, std::abs(first.value[p] / settled.value[p] - 1));
        if (sceneCuts)
            EXPECT_LT(worst, 0.01);
        else
            EXPECT_GT(worst, 0.05);  // the clip does call for a different correction
    }
}

// Off is the plain pass: the same pixels and values as without a carry.
TEST(SceneCuts, OffIsThePlainPass)
{
    FrameSettings settings = defaultFrameSettings();
    settings.sceneCuts = 0;
    CorrectionHistory withCarry = identityHistory(), without = identityHistory();
    LinkedCarry carry{};
    carry.scene.seen = 3;  // frames seen while it was on, now stale
    for (int k = 0; k < 20; ++k) {
        const std::vector<uint32_t> src = renderShot(Shot{k >= 10 ? 1.0 : 0.0, 1, k == 5}, k);
        std::vector<uint32_t> a(src.size()), b(src.size());
        const ConstPlane in{reinterpret_cast<const uint8_t*>(src.data()), kWidth * 4, kWidth,
                            kHeight};
        const FrameReport ra =
            runFramePass(settings, withCarry, {.carry = &carry}, in,
                         Plane{reinterpret_cast<uint8_t*>(a.data()), kWidth * 4, kWidth, kHeight},
                         threadExecutor());
        const FrameReport rb =
            runFramePass(settings, without, {}, in,
                         Plane{reinterpret_cast<uint8_t*>(b.data()), kWidth * 4, kWidth, kHeight},
                         threadExecutor());
        ASSERT_EQ(a, b) << k;
        ASSERT_TRUE(sameValues(ra.applied, rb.applied)) << k;
        ASSERT_EQ(ra.scene, SceneEvent::none);
    }
    EXPECT_EQ(carry.scene.seen, 0);
}

// Pass 1 of two: the same levels and cut events as the one pass, history untouched, not
// a byte written; fast and reference alike.
TEST(TwoPass, MeasuringSeesWhatTheOnePassSeesAndWritesNothing)
{
    const std::vector<uint32_t> untouched(size_t(kWidth) * kHeight, 0xA5A5A5A5u);
    for (const ClipCase& c : kClips) {
        const ClipRun one = runClip(c.clip, kSceneCutsDefault, false);
        for (bool reference : {false, true}) {
            const ClipRun measured =
                runClip(c.clip, kSceneCutsDefault, reference, {}, LinkedPass::measure);
            EXPECT_EQ(measured.events, one.events) << c.name;
            EXPECT_EQ(std::memcmp(measured.levels.data(), one.levels.data(),
                                  one.levels.size() * sizeof(ChannelLevels)),
                      0)
                << c.name;
            for (const auto& frame : measured.pixels) ASSERT_TRUE(frame == untouched) << c.name;
        }
    }
}

// The scene plan: a flash inside a shot neither starts a scene nor moves its correction
// (the median); the correction is one value per shot and switches exactly at the cut.
// The smooth plan's window stops at the cut.
TEST(TwoPass, ScenePlanIsConstantWithinAShotAndSwitchesAtTheCut)
{
    const Clip clip = [](int k) { return Shot{k >= 12 ? 1.0 : 0.0, 1, k == 20}; };
    const ClipRun run = runClip(clip, kSceneCutsDefault, false, {}, LinkedPass::measure);
    const std::vector<int64_t> starts = sceneStarts(run.measured);
    ASSERT_EQ(starts, (std::vector<int64_t>{0, 12}));

    const FrameSettings settings = defaultFrameSettings();
    const std::vector<CorrectionParams> plan = planScenes(settings, run.measured, starts);
    const ClipRun noFlash = runClip(clip, kSceneCutsDefault, false, {20}, LinkedPass::measure);
    std::vector<ChannelLevels> sceneB(noFlash.levels.begin() + 12, noFlash.levels.end());
    for (int k = 0; k < kFrames; ++k) {
        const CorrectionParams& expected = plan[k < 12 ? 0 : 12];
        EXPECT_TRUE(sameValues(plan[size_t(k)], expected)) << k;
    }
    EXPECT_FALSE(sameValues(plan[11], plan[12]));
    // Without the flash the shot's median, and so its correction, is the same.
    const CorrectionParams clean =
        correctionFromLevels(settings, medianLevels(sceneB.data(), sceneB.size()));
    for (int p = 0; p < kParamCount; ++p) EXPECT_NEAR(plan[12].value[p], clean.value[p], 1e-3) << p;

    const std::vector<CorrectionParams> smooth = planSmooth(settings, run.measured, starts, 5);
    for (int p = 0; p < kParamCount; ++p) {
        double sum = 0;
        for (int j = 9; j <= 11; ++j)
            sum += correctionFromLevels(settings, run.levels[size_t(j)]).value[p];
        EXPECT_EQ(smooth[11].value[p], sum / 3) << p;
    }
}

// The balance correction's plan: a scene gets its frames' estimates' median weighted by the
// near-grey pixels each rests on (equal weights when none has any; the mean of the middle two
// at exactly half), a smooth window their weighted mean; then the strength applies.
TEST(TwoPass, BalancePlanWeighsEachFrameByItsGreyPixels)
{
    FrameSettings settings = defaultFrameSettings();
    settings.balance = 1;
    settings.balanceStrength = 50;
    const struct {
        std::vector<double> black, weight;
        double scene, smoothMiddle;  // blackR at full strength
    } cases[] = {
        {{10, 20, 30}, {1, 1, 5}, 30, 180.0 / 7},
        {{30, 10, 20}, {0, 0, 0}, 20, 20},
        {{10, 20}, {3, 3}, 15, 15},
    };
    for (const auto& c : cases) {
        std::vector<MeasuredFrame> frames(c.black.size());
        for (size_t k = 0; k < frames.size(); ++k) {
            frames[k].balance = {identityCorrection(), c.weight[k]};
            frames[k].balance.values.value[kBlackR] = c.black[k];
        }
        CorrectionParams scene = identityCorrection(), middle = identityCorrection();
        scene.value[kBlackR] = c.scene / 2;
        middle.value[kBlackR] = c.smoothMiddle / 2;
        for (const CorrectionParams& p : planScenes(settings, frames, {0}))
            EXPECT_TRUE(sameValues(p, scene)) << c.scene;
        const std::vector<CorrectionParams> smooth = planSmooth(settings, frames, {0}, 3);
        for (int p = 0; p < kParamCount; ++p)
            EXPECT_DOUBLE_EQ(smooth[1].value[p], middle.value[p]) << c.smoothMiddle << " " << p;
    }
}

// A scene's median of an even number of frames is the mean of the middle two, and the
// plan's values are the correction of those levels.
TEST(TwoPass, SceneMedianOfAnEvenCountIsTheMeanOfTheMiddleTwo)
{
    const ChannelLevels base{{10, 20, 30, 180, 200, 220, 90, 110, 130}};
    const double offsets[] = {5, 1, 9, 3};
    const double medians[] = {5, 3, 5, 4};  // of the first 1, 2, 3, 4 offsets
    const FrameSettings settings = defaultFrameSettings();
    for (size_t count = 1; count <= 4; ++count) {
        std::vector<MeasuredFrame> frames(count);
        ChannelLevels expected = base;
        for (int level = 0; level < kLevelCount; ++level) {
            const double scale = level % 3 + 1.0;  // the channels move apart
            for (size_t k = 0; k < count; ++k)
                frames[k].levels.value[level] = base.value[level] + scale * offsets[k];
            expected.value[level] += scale * medians[count - 1];
        }
        const std::vector<CorrectionParams> plan = planScenes(settings, frames, {0});
        const CorrectionParams want = correctionFromLevels(settings, expected);
        for (const CorrectionParams& p : plan) EXPECT_TRUE(sameValues(p, want)) << count;
    }
}

// Pass 2: the frame gets exactly the planned values (the identity under disable), its
// levels are still measured, and the history stays as it was.
TEST(TwoPass, PlannedFrameAppliesTheGivenValues)
{
    CorrectionParams planned{{6, 2, 0, 250, 240, 255, 0.9, 1.1, 1.0}};
    const std::vector<uint32_t> src = renderShot(Shot{}, 3);
    const ConstPlane in{reinterpret_cast<const uint8_t*>(src.data()), kWidth * 4, kWidth, kHeight};
    for (int disable : {0, 1}) {
        FrameSettings settings = defaultFrameSettings();
        settings.disable = disable;
        const CorrectionParams expected = disable ? identityCorrection() : planned;
        std::vector<uint32_t> want(src.size());
        runCorrectionReference(
            in, Plane{reinterpret_cast<uint8_t*>(want.data()), kWidth * 4, kWidth, kHeight},
            expected);
        for (bool reference : {false, true}) {
            LinkedCarry carry{};
            const FrameLinks links{.carry = &carry,
                                   .request = {.pass = LinkedPass::planned, .planned = planned}};
            CorrectionHistory history = identityHistory();
            std::vector<uint32_t> got(src.size());
            const Plane out{reinterpret_cast<uint8_t*>(got.data()), kWidth * 4, kWidth, kHeight};
            const FrameReport r =
                reference ? runFramePassReference(settings, history, links, in, out)
                          : runFramePass(settings, history, links, in, out, threadExecutor());
            EXPECT_TRUE(sameValues(r.applied, expected)) << disable << reference;
            EXPECT_EQ(got, want) << disable << reference;
            const CorrectionHistory fresh = identityHistory();
            EXPECT_EQ(std::memcmp(&history, &fresh, sizeof history), 0);
            EXPECT_EQ(
                std::memcmp(&r.levels, &runClip([](int) { return Shot{}; }, 0, false).levels[3],
                            sizeof r.levels),
                0);
        }
    }
}

}  // namespace
