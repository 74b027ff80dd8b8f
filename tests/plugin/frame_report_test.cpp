// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The report RunProc keeps for --stats: what its own frame measured and applied, for
// the thread that called it and the instance it rendered.
#include "plugin/frame_report.h"

#include <gtest/gtest.h>

#include <barrier>
#include <functional>
#include <thread>

#include "plugin/callbacks.h"
#include "tests/support/test_support.h"

TEST(FrameReport, RunProcReportsWhatItMeasuredAndApplied)
{
    TestFilter f, other;
    GuardedFrame src(64, 48), dst(64, 48);
    fillFlat(src, makePixel(20, 60, 200));
    f.run(src, dst);
    f.run(src, dst);
    FrameReport r{};
    ASSERT_TRUE(lastFrameReport(f.host.instanceData(), r));
    EXPECT_EQ(r.levels.value[kMedianG], 60);
    // Two of the five history slots hold the measured value: the applied one is averaged.
    EXPECT_EQ(r.applied.value[kBlackR], f.state().history[kBlackR][0] * 2 / 5);
    EXPECT_FALSE(lastFrameReport(other.host.instanceData(), r)) << "another instance's frame";

    VDXFilterActivation& fa = f.host.activation();
    VDXFBitmap* source = fa.src;
    fa.src = nullptr;  // a call that renders nothing leaves nothing to report
    RunProc(&fa, nullptr);
    fa.src = source;
    EXPECT_FALSE(lastFrameReport(f.host.instanceData(), r));
}

TEST(FrameReport, InstancesOnTwoThreadsEachReadTheirOwn)
{
    // Each thread registers and creates its own instance. Thread a renders, then thread
    // b, and only then do both read: each must still get its own instance's values.
    std::barrier step(2);
    auto render = [&step](bool first, int green, double& seen) {
        TestFilter f;
        GuardedFrame src(64, 48), dst(64, 48);
        fillFlat(src, makePixel(20, green, 200));
        if (!first) step.arrive_and_wait();
        f.run(src, dst);
        if (first) step.arrive_and_wait();
        step.arrive_and_wait();
        FrameReport r{};
        seen = lastFrameReport(f.host.instanceData(), r) ? r.levels.value[kMedianG] : -1;
    };
    double seenA = 0, seenB = 0;
    std::thread a(render, true, 60, std::ref(seenA));
    std::thread b(render, false, 180, std::ref(seenB));
    a.join();
    b.join();
    EXPECT_EQ(seenA, 60);
    EXPECT_EQ(seenB, 180);
}
