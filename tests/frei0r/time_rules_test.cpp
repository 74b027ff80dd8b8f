// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The order of frames as the module reads it from the hosts' times, and what each
// reading does to the filter's five-frame history.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "frei0r/frame_clock.h"
#include "tests/frei0r/frei0r_clip.h"

namespace
{

constexpr FrameStep A = FrameStep::Advance;
constexpr FrameStep R = FrameStep::Repeat;
constexpr FrameStep J = FrameStep::Restart;

}  // namespace

TEST(FrameClock, ReadsTheOrderOfFramesFromTheirTimes)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const double ffmpegNoTime = -9.2233720368547758e+18;  // AV_NOPTS_VALUE in milliseconds
    const double gstreamerNoTime = 18446744073.709553;    // GST_CLOCK_TIME_NONE in seconds
    struct Frame {
        double time;
        int picture;
    };
    const struct {
        const char* what;
        std::vector<Frame> frames;
        std::vector<FrameStep> steps;
    } cases[] = {
        {"in order, seconds", {{5.0, 0}, {5.04, 1}, {5.08, 2}, {5.12, 3}}, {A, A, A, A}},
        {"in order, milliseconds at 30000/1001",
         {{0, 0}, {33, 1}, {67, 2}, {100, 3}, {133, 4}},
         {A, A, A, A, A}},
        {"the last frame repeated", {{0, 0}, {0.04, 1}, {0.04, 1}, {0.04, 1}}, {A, A, R, R}},
        {"a time computed again", {{0.1 * 3, 0}, {0.3, 0}}, {A, R}},
        {"the same time with another picture", {{7, 0}, {7, 1}, {7, 2}, {7, 2}}, {A, A, A, R}},
        {"back by one frame",
         {{0, 0}, {0.04, 1}, {0.08, 2}, {0.04, 1}, {0.08, 2}},
         {A, A, A, J, A}},
        {"forward by two steps", {{0, 0}, {0.04, 1}, {0.12, 3}}, {A, A, A}},
        {"forward by three steps", {{0, 0}, {0.04, 1}, {0.16, 4}}, {A, A, J}},
        {"no step known after a jump",
         {{0, 0}, {0.04, 1}, {1.0, 25}, {3.0, 75}, {3.04, 76}, {9.0, 225}},
         {A, A, J, A, A, J}},
        {"no time: not a number",
         {{0, 0}, {0.04, 1}, {nan, 2}, {inf, 3}, {0.08, 2}},
         {A, A, A, A, A}},
        {"no time from FFmpeg",
         {{ffmpegNoTime, 0}, {ffmpegNoTime, 0}, {ffmpegNoTime, 1}},
         {A, A, A}},
        {"no time from GStreamer", {{0, 0}, {gstreamerNoTime, 1}, {gstreamerNoTime, 1}}, {A, A, A}},
    };
    for (const auto& c : cases) {
        FrameClock clock;
        std::vector<FrameStep> steps;
        for (const Frame& f : c.frames) steps.push_back(clock.next(f.time, f.picture));
        EXPECT_EQ(steps, c.steps) << c.what;
    }
}

// The same rules whatever the unit of time: FFmpeg's milliseconds or seconds.
class HistoryRules : public ::testing::TestWithParam<double>
{
protected:
    static constexpr int kWidth = 40, kHeight = 30;

    double at(double frame) const { return frame * 0.04 * GetParam(); }
    static Frame frame(int index) { return clipFrame(kWidth, kHeight, index); }
    // The colours a fresh instance makes of these frames, in order.
    static std::vector<Frame> fresh(const std::vector<int>& frames)
    {
        ReferenceFilter reference(kWidth, kHeight);
        std::vector<Frame> out;
        for (int i : frames) out.push_back(reference.run(frame(i)));
        return out;
    }
    Frame update(double time, int index) { return colours(module_.update(at(time), frame(index))); }

    Frei0rModule module_{kWidth, kHeight};
};

TEST_P(HistoryRules, ARepeatedFrameComesOutAsTheFirstTimeAndTheHistoryMovesOnOnce)
{
    const std::vector<Frame> expected = fresh({0, 1, 2, 3});
    EXPECT_EQ(update(0, 0), expected[0]);
    EXPECT_EQ(update(1, 1), expected[1]);
    EXPECT_EQ(update(2, 2), expected[2]);
    EXPECT_EQ(update(2, 2), expected[2]);
    EXPECT_EQ(update(2, 2), expected[2]);
    EXPECT_EQ(update(3, 3), expected[3]);
}

// With cut detection on, a cut restarts the history; asked again, the cut frame must not
// be measured against itself (the carried scene state goes back with the history).
TEST_P(HistoryRules, AFrameRepeatedAfterACutComesOutAsTheFirstTime)
{
    Frame cut = frame(3);
    for (uint32_t& p : cut) p ^= 0x00FFFFFFu;  // another shot: every colour inverted
    const std::vector<Frame> frames = {frame(0), frame(1), frame(2), cut, frame(4)};
    Frei0rModule once{kWidth, kHeight}, plain{kWidth, kHeight};
    once.set(parameter("scene-cuts"), 0.85);
    module_.set(parameter("scene-cuts"), 0.85);
    std::vector<Frame> expected, withoutCuts;
    for (size_t i = 0; i < frames.size(); ++i) {
        expected.push_back(colours(once.update(at(double(i)), frames[i])));
        withoutCuts.push_back(colours(plain.update(at(double(i)), frames[i])));
    }
    ASSERT_NE(expected[3], withoutCuts[3]) << "no cut detected: the test shows nothing";
    for (size_t i = 0; i < frames.size(); ++i) {
        const int times = i == 3 ? 3 : 1;
        for (int t = 0; t < times; ++t)
            EXPECT_EQ(colours(module_.update(at(double(i)), frames[i])), expected[i]) << i << t;
    }
}

TEST_P(HistoryRules, AJumpStartsAsAnInstanceCreatedThere)
{
    for (int i = 0; i < 6; ++i) update(i, i);
    const std::vector<Frame> fromTwo = fresh({2, 3});
    EXPECT_EQ(update(2, 2), fromTwo[0]);  // back
    EXPECT_EQ(update(3, 3), fromTwo[1]);
    const std::vector<Frame> fromNine = fresh({9, 10});
    EXPECT_EQ(update(9, 9), fromNine[0]);  // forward by six steps
    EXPECT_EQ(update(10, 10), fromNine[1]);
}

// A host that passes one time for every frame still passes them in order.
TEST_P(HistoryRules, NewPicturesAtOneTimeAreTheNextFrames)
{
    const std::vector<Frame> expected = fresh({0, 1, 2});
    for (int i = 0; i < 3; ++i) EXPECT_EQ(update(7, i), expected[i]) << i;
}

TEST_P(HistoryRules, ASkippedFrameKeepsTheHistory)
{
    const std::vector<Frame> expected = fresh({0, 1, 3});
    update(0, 0);
    update(1, 1);
    EXPECT_EQ(update(3, 3), expected[2]);
}

INSTANTIATE_TEST_SUITE_P(Units, HistoryRules, ::testing::Values(1.0, 1000.0));

// Hosts create a new instance when the frame size changes; instances share nothing.
TEST(NewSize, AnotherInstanceStartsFreshAndLeavesTheFirstAlone)
{
    Frei0rModule first(32, 24);
    ReferenceFilter firstReference(32, 24);
    for (int i = 0; i < 3; ++i) first.update(i, clipFrame(32, 24, i));
    for (int i = 0; i < 3; ++i) firstReference.run(clipFrame(32, 24, i));

    Frei0rModule second(48, 20);
    ReferenceFilter secondReference(48, 20);
    EXPECT_EQ(colours(second.update(3, clipFrame(48, 20, 3))),
              secondReference.run(clipFrame(48, 20, 3)));
    EXPECT_EQ(colours(first.update(3, clipFrame(32, 24, 3))),
              firstReference.run(clipFrame(32, 24, 3)));
}
