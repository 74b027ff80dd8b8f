// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// Lossless output against the filter run directly on the same decoded frames, at every
// size, with flags and --config, and cut into segments.
#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "tests/cli/cli_harness.h"

namespace
{

// A colour cast (blue held back) and light that rises and falls over the clip.
std::string castClip(int width, int height)
{
    return "testsrc2=size=64x48:rate=25,colorchannelmixer=rr=0.95:gg=0.8:bb=0.6,"
           "eq=brightness=0.2*sin(3*t):eval=frame,scale=" +
           std::to_string(width) + ":" + std::to_string(height) + ":flags=area";
}

const SettingValues kDefaults = defaultSettingValues();

struct Size {
    int width, height;
};

class LosslessSize : public CliTest, public ::testing::WithParamInterface<Size>
{
};

}  // namespace

TEST_P(LosslessSize, OutputEqualsTheFilterOnTheDecodedFrames)
{
    const Size size = GetParam();
    makeClip("in.mkv", castClip(size.width, size.height), 7, "-c:v ffv1 -level 1");
    const RunOutcome run = telvo({"in.mkv", "out.mkv", "--lossless", "-q"});
    ASSERT_EQ(run.exitCode, 0) << run.stderrText;

    const std::vector<Picture> expected = filterDirectly(path("in.mkv"), kDefaults);
    const std::vector<Picture> actual = decodeFile(path("out.mkv"));
    ASSERT_EQ(actual.size(), 7u);
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < actual.size(); ++i) {
        EXPECT_EQ(actual[i].width, size.width);
        EXPECT_EQ(actual[i].height, size.height);
        EXPECT_TRUE(actual[i] == expected[i]) << "frame " << i;
    }
}

// FFV1 at its usual level damages frames under 3 pixels wide or high; odd sizes
// exercise the chroma edges of the input's 4:2:0.
INSTANTIATE_TEST_SUITE_P(Sizes, LosslessSize,
                         ::testing::Values(Size{1, 1}, Size{2, 2}, Size{1, 5}, Size{3, 1},
                                           Size{33, 17}, Size{64, 48}));

class LosslessRun : public CliTest
{
protected:
    void SetUp() override
    {
        CliTest::SetUp();
        makeClip("in.mkv", castClip(48, 36), 23, "-c:v ffv1 -level 1");
    }
    std::vector<Picture> run(std::vector<std::string> args, const std::string& out)
    {
        args.insert(args.begin(), {"in.mkv", out, "--lossless", "-q"});
        const RunOutcome outcome = telvo(args);
        EXPECT_EQ(outcome.exitCode, 0) << outcome.stderrText;
        return decodeFile(path(out));
    }
};

TEST_F(LosslessRun, SettingFlagsEqualTheSameConfigLine)
{
    const std::vector<Picture> defaults = run({}, "default.mkv");
    const struct {
        std::vector<std::string> flags;
        const char* config;
        SettingValues settings;
    } cases[] = {
        {{"--gamma", "30", "--alignment", "5", "--border", "--top", "3", "--left", "4", "--right",
          "5", "--bottom", "6"},
         "Config(30,5,1,3,4,5,6,0)",
         {30, 5, 1, 3, 4, 5, 6, 0}},
        {{"--gamma", "0", "--alignment", "40"},
         "Config(0,40,0,8,8,8,8,0)",
         {0, 40, 0, 8, 8, 8, 8, 0}},
        {{"--freeze"}, "Config(15,15,0,8,8,8,8,1)", {15, 15, 0, 8, 8, 8, 8, 1}},
    };
    int n = 0;
    for (const auto& c : cases) {
        const std::string tag = std::to_string(n++);
        const std::vector<Picture> byFlags = run(c.flags, "flags" + tag + ".mkv");
        const std::vector<Picture> byConfig = run({"--config", c.config}, "config" + tag + ".mkv");
        EXPECT_TRUE(byFlags == byConfig) << c.config;
        EXPECT_TRUE(byFlags == filterDirectly(path("in.mkv"), c.settings)) << c.config;
        EXPECT_FALSE(byFlags == defaults) << c.config << " changed nothing";
    }
}

TEST_F(LosslessRun, SegmentsPutTogetherEqualTheWholeRun)
{
    const std::vector<Picture> whole = run({}, "whole.mkv");
    ASSERT_EQ(whole.size(), 23u);
    // Starts below and above the four-frame pre-roll; the last range runs past the end.
    const struct {
        int start, frames;
    } segments[] = {{0, 2}, {2, 7}, {9, 5}, {14, 100}};
    std::vector<Picture> joined;
    for (const auto& s : segments) {
        const std::string name = "seg" + std::to_string(s.start) + ".mkv";
        const std::vector<Picture> part =
            run({"--start", std::to_string(s.start), "--frames", std::to_string(s.frames)}, name);
        const size_t expected = std::min<size_t>(s.frames, whole.size() - s.start);
        EXPECT_EQ(part.size(), expected) << name;
        joined.insert(joined.end(), part.begin(), part.end());
    }
    ASSERT_EQ(joined.size(), whole.size());
    for (size_t i = 0; i < whole.size(); ++i) EXPECT_TRUE(joined[i] == whole[i]) << "frame " << i;
}

TEST_F(LosslessRun, HistogramStandsAtTheLowerLeft)
{
    // A flat grey picture: whatever is not grey afterwards is the graph.
    makeClip("grey.mkv", "color=c=0x808080:size=320x240:rate=25", 1, "-c:v ffv1 -pix_fmt bgr0");
    const RunOutcome outcome = telvo({"grey.mkv", "graph.mkv", "--lossless", "-q", "--histogram"});
    ASSERT_EQ(outcome.exitCode, 0) << outcome.stderrText;
    const std::vector<Picture> out = decodeFile(path("graph.mkv"));
    ASSERT_EQ(out.size(), 1u);
    const Picture& p = out[0];
    // Counts pixels of one kind in picture rows y0..y1 (top row first).
    auto count = [&](int y0, int y1, bool white) {
        int n = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = 0; x < p.width; ++x) {
                const uint8_t* px = &p.bgr[(static_cast<size_t>(y) * p.width + x) * 3];
                const bool isWhite = px[0] == 255 && px[1] == 255 && px[2] == 255;
                const bool isGrey = px[0] == 128 && px[1] == 128 && px[2] == 128;
                n += white ? isWhite : (!isWhite && !isGrey);
            }
        return n;
    };
    // The white grid lies in the lower half; the one grey bin's bars rise from it
    // towards the top.
    EXPECT_GT(count(120, 240, true), 100) << "no grid in the lower half";
    EXPECT_EQ(count(0, 120, true), 0) << "grid in the upper half: picture upside down";
    EXPECT_GT(count(0, 60, false), 0) << "bars do not rise above the grid";
}

TEST_F(LosslessRun, ImageOutputsAreLosslessToo)
{
    const std::vector<Picture> expected = filterDirectly(path("in.mkv"), kDefaults);
    // An earlier, longer run of the same pattern: its frames after the new end go once
    // the new ones are in; past a gap, or of another pattern, nothing is touched.
    ASSERT_EQ(telvo({"in.mkv", "f%03d.png", "-q", "--frames", "5"}).exitCode, 0);
    for (const char* kept : {"f007.png", "f04.png"}) std::ofstream(path(kept)) << "kept";
    // A numbered name gets every frame, moved into place only when all are written.
    const RunOutcome seq = telvo({"in.mkv", "f%03d.png", "-q", "--frames", "3"});
    ASSERT_EQ(seq.exitCode, 0) << seq.stderrText;
    for (int i = 0; i < 3; ++i) {
        const std::vector<Picture> frame = decodeFile(path("f00" + std::to_string(i + 1) + ".png"));
        ASSERT_EQ(frame.size(), 1u);
        EXPECT_TRUE(frame[0] == expected[i]) << "frame " << i;
    }
    EXPECT_NE(seq.stderrText.find("removed 2 frames of an earlier sequence after the new end "
                                  "('f004.png' to 'f005.png')"),
              std::string::npos)
        << seq.stderrText;
    const std::vector<std::string> names = files();
    for (const char* name : {"f004.png", "f005.png"})
        EXPECT_EQ(std::count(names.begin(), names.end(), name), 0) << name;
    for (const char* name : {"f007.png", "f04.png"})
        EXPECT_EQ(std::count(names.begin(), names.end(), name), 1) << name;
    // A plain name gets one frame: the first of the range, corrected as in the whole run.
    const RunOutcome one = telvo({"in.mkv", "one.png", "-q", "--start", "9"});
    ASSERT_EQ(one.exitCode, 0) << one.stderrText;
    const std::vector<Picture> single = decodeFile(path("one.png"));
    ASSERT_EQ(single.size(), 1u);
    EXPECT_TRUE(single[0] == expected[9]);
    for (const std::string& name : files())
        EXPECT_NE(name[0], '.') << "temporary left behind: " << name;
}
