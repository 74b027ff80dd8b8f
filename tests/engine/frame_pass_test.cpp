// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// Whole frame passes through RunProc: the fast pass against the reference pass, worker
// counts, pitches, odd sizes, and workers that cannot be started.
#include "engine/frame_pass.h"

#include <gtest/gtest.h>

#include <climits>
#include <random>

#include "engine/analysis_phase.h"
#include "engine/channel_levels.h"
#include "platform/thread_executor.h"
#include "platform/threads.h"
#include "tests/support/test_support.h"

namespace
{

struct Settings {
    int gamma = 15, alignment = 15, border = 0, top = 8, left = 8, right = 8, bottom = 8,
        freeze = 0;
    int disable = 0, dialogClosed = 1, showHistogram = 0, threads = 2;
};

void apply(TestFilter& f, const Settings& s)
{
    f.config({s.gamma, s.alignment, s.border, s.top, s.left, s.right, s.bottom, s.freeze});
    FilterState& st = f.state();
    st.disable = s.disable;
    st.dialogClosed = s.dialogClosed;
    st.showHistogram = s.showHistogram;
    st.threadCount = s.threads;
}

Settings randomSettings(std::mt19937& rng)
{
    Settings s;
    s.gamma = int(rng() % 45);
    s.alignment = int(rng() % 45);
    s.border = rng() % 2;
    auto margin = [&] { return rng() % 4 ? int(rng() % 20) : int(rng() % 300) - 150; };
    s.top = margin();
    s.left = margin();
    s.right = margin();
    s.bottom = margin();
    s.freeze = rng() % 5 == 0;
    s.disable = rng() % 6 == 0;
    s.dialogClosed = rng() % 3 != 0;
    s.showHistogram = rng() % 3 == 0;
    s.threads = 1 + int(rng() % 5);
    return s;
}

}  // namespace

TEST(FramePass, MatchesTheReferencePassOverManyFrames)
{
    std::mt19937 rng(1234);
    const std::pair<int, int> sizes[] = {{1, 1},   {2, 3},     {7, 1},     {1, 9},   {17, 5},
                                         {64, 48}, {385, 289}, {384, 288}, {641, 3}, {700, 400}};
    for (auto [w, h] : sizes) {
        TestFilter fast, reference;
        for (int frame = 0; frame < 6; ++frame) {
            const Settings s = randomSettings(rng);
            apply(fast, s);
            apply(reference, s);
            GuardedFrame src(w, h, (frame % 3) * 4, frame % 2);
            if (frame % 3 == 2)
                fillFlat(src, static_cast<uint32_t>(rng()));
            else
                fillNatural(src, frame * 31 + w);
            GuardedFrame a(w, h, 4, frame % 2 == 0, 0x11), b(w, h, 0, false, 0x22);
            ASSERT_EQ(fast.run(src, a), 0);
            runReferencePass(reference.state(), src.constPlane(), b.plane());
            ASSERT_EQ(a.pixels(), b.pixels()) << w << "x" << h << " frame " << frame;
            ASSERT_TRUE(a.guardsIntact()) << w << "x" << h;
            ASSERT_TRUE(src.guardsIntact());
            ASSERT_EQ(0, std::memcmp(fast.state().history, reference.state().history,
                                     sizeof fast.state().history));
        }
    }
}

TEST(FramePass, OutputDoesNotDependOnTheWorkerCount)
{
    for (auto [w, h] : {std::pair{33, 7}, {20, 1}, {3, 2}}) {
        GuardedFrame src(w, h);
        fillNatural(src, 77);
        std::vector<uint32_t> first;
        for (int threads = 1; threads <= h + 3; ++threads) {
            TestFilter f;
            Settings s;
            s.threads = threads;
            s.showHistogram = 1;
            apply(f, s);
            GuardedFrame dst(w, h);
            f.run(src, dst);
            if (threads == 1) first = dst.pixels();
            EXPECT_EQ(dst.pixels(), first) << w << "x" << h << " with " << threads << " workers";
            EXPECT_TRUE(dst.guardsIntact());
        }
    }
}

TEST(FramePass, PaddedAndNegativePitchesGiveTheSamePicture)
{
    const int w = 45, h = 31;
    std::vector<uint32_t> expected;
    for (int layout = 0; layout < 4; ++layout) {
        const int padding = layout & 1 ? 12 : 0;
        const bool negative = layout & 2;
        GuardedFrame src(w, h, padding, negative);
        fillNatural(src, 5);
        GuardedFrame dst(w, h, negative ? 0 : 20, !negative);
        TestFilter f;
        Settings s;
        s.border = 1;
        s.dialogClosed = 0;
        s.showHistogram = 1;
        s.top = 3;
        s.bottom = 2;
        apply(f, s);
        f.run(src, dst);
        if (layout == 0) expected = dst.pixels();
        EXPECT_EQ(dst.pixels(), expected) << "layout " << layout;
        EXPECT_TRUE(dst.guardsIntact()) << "padding bytes of the destination were written";
    }
}

TEST(FramePass, ExtremeMarginsStayInsideTheBuffers)
{
    const int values[] = {INT_MIN, INT_MIN + 1, -1, 0, 1, 2, 3, INT_MAX - 1, INT_MAX};
    for (auto [w, h] : {std::pair{1, 1}, {1, 4}, {4, 1}, {3, 3}, {0, 0}, {0, 3}}) {
        int trial = 0;
        for (int a : values) {
            for (int b : values) {
                TestFilter f;
                Settings s;
                s.border = 1;
                s.dialogClosed = trial % 2;
                s.showHistogram = 1;
                s.top = a;
                s.bottom = b;
                s.left = b;
                s.right = a;
                s.alignment = a;
                s.gamma = b;
                apply(f, s);
                GuardedFrame src(w, h, 4, trial % 3 == 0), dst(w, h, 4, trial % 2 == 0);
                fillRandom(src, trial++);
                EXPECT_EQ(f.run(src, dst), 0);
                ASSERT_TRUE(dst.guardsIntact()) << w << "x" << h << " margins " << a << "," << b;
                ASSERT_TRUE(src.guardsIntact());
            }
        }
    }
}

TEST(FramePass, WorkersThatCannotStartAreDoneOnTheCallingThread)
{
    GuardedFrame src(19, 11);
    fillNatural(src, 9);
    TestFilter reference;
    Settings s;
    s.threads = 4;
    apply(reference, s);
    GuardedFrame expected(19, 11);
    reference.run(src, expected);

    for (ThreadStartFailureHook hook : {+[](const ThreadSlot&) { return true; },
                                        +[](const ThreadSlot&) {
                                            static int starts = 0;  // every other worker fails
                                            return starts++ % 2 == 0;
                                        }}) {
        setThreadStartFailureHook(hook);
        TestFilter f;
        apply(f, s);
        GuardedFrame dst(19, 11, 0, false, 0x33);
        f.run(src, dst);
        setThreadStartFailureHook(nullptr);
        EXPECT_EQ(dst.pixels(), expected.pixels());
    }
}

// The analysis on workers: every row of the region counted once, whatever the number of
// workers (more than the rows included), the pitch, the margins, or workers that run on
// the calling thread.
TEST(FramePass, CountingOnWorkersMatchesTheReference)
{
    std::mt19937 rng(4321);
    for (int trial = 0; trial < 60; ++trial) {
        const int w = 1 + int(rng() % 90), h = 1 + int(rng() % 9);
        GuardedFrame src(w, h, int(rng() % 3) * 4, trial % 2 == 1);
        if (trial % 4 == 0)
            fillFlat(src, static_cast<uint32_t>(rng()));
        else
            fillRandom(src, trial);
        const FrameSettings s = trial % 3 ? marginSettings(int(rng() % 5) - 1, int(rng() % 5) - 1,
                                                           int(rng() % 5) - 1, int(rng() % 5) - 1)
                                          : defaultFrameSettings();
        const PixelRegion region = analysisRegion(w, h, s);
        ChannelHistograms reference, counted;
        countHistogramsReference(src.constPlane(), region, reference);
        if (trial % 5 == 4) setThreadStartFailureHook([](const ThreadSlot&) { return true; });
        countOnWorkers(src.constPlane(), region, 1 + trial % 12, threadExecutor(), counted);
        setThreadStartFailureHook(nullptr);
        ASSERT_EQ(0, std::memcmp(&counted, &reference, sizeof counted))
            << "trial " << trial << ", " << w << "x" << h << ", " << 1 + trial % 12 << " workers";
    }
}

// Source and destination as one buffer: the analysis must have read every pixel before
// the first is written, and the graph's histograms (carried through the tables when the
// whole frame was analysed) must be those of the output.
TEST(FramePass, InPlaceFramesMatchTheReference)
{
    for (int variant = 0; variant < 6; ++variant) {
        // Few colours in large patches, so that the bins pass 60 and bars are drawn.
        const int w = 97 + variant, h = 41 + variant;
        GuardedFrame frame(w, h, variant % 2 ? 4 : 0, variant >= 3), source(w, h), expected(w, h);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const uint32_t p =
                    (uint32_t(x * y) << 24) |
                    makePixel(40 + x / 30 * 50, 60 + y / 20 * 40, 100 + (x + y) / 25 * 20);
                frame.set(x, y, p);
                source.set(x, y, p);
            }
        }
        Settings s;
        s.threads = 1 + variant;
        s.showHistogram = 1;
        s.border = variant % 3 != 0;
        s.dialogClosed = variant % 2;
        s.top = s.right = variant == 2 ? 0 : 2;
        s.bottom = s.left = variant == 2 ? 1 : 3;
        TestFilter fast, reference;
        apply(fast, s);
        apply(reference, s);
        const Plane p = frame.plane();
        fast.host.run(p.row0, p.pitch, p.row0, p.pitch, w, h);
        runReferencePass(reference.state(), source.constPlane(), expected.plane());
        EXPECT_EQ(frame.pixels(), expected.pixels()) << "variant " << variant;
        EXPECT_TRUE(frame.guardsIntact());
    }
}

// With the margins at 0 the analysis covers the whole frame, yet the outline then drawn
// on its bottom row and left column replaces pixels after the count: the graph must
// count the output as it is, not the analysis carried through the tables. The edge
// pixels share one colour (about 550 of them, a bar of 18 rows) over a picture whose
// values each hold a moderate count.
TEST(FramePass, GraphOverAnOutlineOnTheWholeFrameMatchesTheReference)
{
    const int w = 360, h = 200;
    GuardedFrame source(w, h), fast(w, h, 0, false, 0x11), expected(w, h, 0, false, 0x22);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            source.set(x, y,
                       x == 0 || y == 0 ? makePixel(100, 110, 120)
                                        : makePixel((x * 7 + y * 3) % 256, (x + y * 5) % 256,
                                                    (x * 3 + y) % 256));
    Settings s;
    s.border = 1;
    s.top = s.left = s.right = s.bottom = 0;
    s.dialogClosed = 0;  // the outline is drawn while the dialog is open
    s.showHistogram = 1;
    TestFilter filter, reference;
    apply(filter, s);
    apply(reference, s);
    ASSERT_EQ(filter.run(source, fast), 0);
    runReferencePass(reference.state(), source.constPlane(), expected.plane());
    EXPECT_EQ(fast.pixels(), expected.pixels());
}
