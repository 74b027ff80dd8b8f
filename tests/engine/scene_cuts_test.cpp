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

#include "engine/frame_pass.h"
#include "platform/thread_executor.h"
#include "tests/support/test_support.h"

namespace
{

constexpr int kWidth = 96, kHeight = 64, kFrames = 30;

// What frame k shows: scene B's share (0 = A, 1 = B), a brightness factor, a flash.
struct Shot {
    double toB = 0.0, brightness = 1.0;
    bool flash = false;
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
            c[ch] = std::clamp(static_cast<int>(v) + noise(grain), 0, 255);
        }
        out[i] = makePixel(c[0], c[1], c[2]);
    }
    return out;
}

struct ClipRun {
    std::vector<SceneEvent> events;
    std::vector<CorrectionParams> applied;
    std::vector<std::vector<uint32_t>> pixels;
};

// `skip` frames are left out of the clip, as if never shown.
ClipRun runClip(const Clip& clip, int sceneCuts, bool reference, std::vector<int> skip = {})
{
    FrameSettings settings = defaultFrameSettings();
    settings.threadCount = 2;
    settings.sceneCuts = sceneCuts;
    CorrectionHistory history = identityHistory();
    LinkedCarry carry{};
    ClipRun run;
    for (int k = 0; k < kFrames; ++k) {
        if (std::find(skip.begin(), skip.end(), k) != skip.end()) continue;
        const std::vector<uint32_t> src = renderShot(clip(k), k);
        std::vector<uint32_t> dst(src.size());
        const ConstPlane in{reinterpret_cast<const uint8_t*>(src.data()), kWidth * 4, kWidth,
                            kHeight};
        const Plane out{reinterpret_cast<uint8_t*>(dst.data()), kWidth * 4, kWidth, kHeight};
        const FrameReport r =
            reference ? runFramePassReference(settings, history, &carry, in, out)
                      : runFramePass(settings, history, &carry, in, out, threadExecutor());
        run.events.push_back(r.scene);
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
            runFramePass(settings, withCarry, &carry, in,
                         Plane{reinterpret_cast<uint8_t*>(a.data()), kWidth * 4, kWidth, kHeight},
                         threadExecutor());
        const FrameReport rb =
            runFramePass(settings, without, nullptr, in,
                         Plane{reinterpret_cast<uint8_t*>(b.data()), kWidth * 4, kWidth, kHeight},
                         threadExecutor());
        ASSERT_EQ(a, b) << k;
        ASSERT_TRUE(sameValues(ra.applied, rb.applied)) << k;
        ASSERT_EQ(ra.scene, SceneEvent::none);
    }
    EXPECT_EQ(carry.scene.seen, 0);
}

}  // namespace
