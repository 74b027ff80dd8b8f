// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// --start seeks to the keyframe before its pre-roll and decodes forward: its frames must
// be those of a run that decodes everything from the first frame, in containers whose
// seeking differs (an index, none, open GOPs, irregular timestamps), and a pipe, which
// cannot seek, must give them too.
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "tests/cli/cli_harness.h"

namespace
{

struct SeekCase {
    const char* name;
    const char* file;
    const char* graph;
    const char* encode;
    bool cut = false;  // cut by stream copy: packets before the cut stay, marked discarded
};

// Keyframes every 12 frames with B-frames between them, so a start lands mid-GOP.
const SeekCase kCases[] = {
    {"H264InMp4", "in.mp4", "testsrc2=size=96x64:rate=25",
     "-c:v libx264 -g 12 -bf 3 -pix_fmt yuv420p"},
    // MPEG-TS has no index: its seek lands after the keyframe asked for and is retried.
    {"OpenGopMpeg2InTs", "in.ts", "testsrc2=size=96x64:rate=25", "-c:v mpeg2video -g 12 -bf 2"},
    {"VariableRateInMkv", "in.mkv",
     "testsrc2=size=96x64:rate=25,setpts='N/25/TB+if(gte(N,30),0.37/TB,0)'",
     "-c:v libx264 -g 12 -bf 3 -fps_mode passthrough"},
    {"CutMp4", "in.mp4", "testsrc2=size=96x64:rate=25", "-c:v libx264 -g 12 -bf 3 -pix_fmt yuv420p",
     true},
};

constexpr int kClipFrames = 70;

class Seeking : public CliTest, public ::testing::WithParamInterface<SeekCase>
{
protected:
    // The run's frames, and whether its --verbose lines hold `note`.
    std::vector<Picture> run(const std::string& input, int start, const std::string& out,
                             const std::string& note)
    {
        const RunOutcome outcome = telvo({input, out, "--lossless", "-q", "-v", "--start",
                                          std::to_string(start), "--frames", "6"});
        EXPECT_EQ(outcome.exitCode, 0) << outcome.stderrText;
        EXPECT_NE(outcome.stderrText.find(note), std::string::npos) << outcome.stderrText;
        return decodeFile(path(out));
    }
};

}  // namespace

TEST_P(Seeking, GivesTheFramesOfARunFromTheStart)
{
    const SeekCase& c = GetParam();
    makeClip(c.cut ? "uncut.mp4" : c.file, c.graph, kClipFrames, c.encode);
    if (c.cut) ffmpeg("-ss 0.3 -i uncut.mp4 -c copy " + std::string(c.file));
    ASSERT_EQ(telvo({c.file, "whole.mkv", "--lossless", "-q"}).exitCode, 0);
    const std::vector<Picture> whole = decodeFile(path("whole.mkv"));
    ASSERT_GE(whole.size(), 60u);

    // On a keyframe's pre-roll, just after a keyframe, mid-GOP, near the end.
    for (const int start : {16, 17, 29, 41, 54}) {
        const std::string out = "seek" + std::to_string(start) + ".mkv";
        const std::vector<Picture> part =
            run(c.file, start, out, "decoded from the keyframe before it");
        ASSERT_EQ(part.size(), 6u) << out;
        for (size_t i = 0; i < part.size(); ++i)
            EXPECT_TRUE(part[i] == whole[start + i]) << out << " frame " << start + i;
    }

    // A named pipe: read once, from the start.
    ASSERT_EQ(mkfifo(path("pipe").c_str(), 0600), 0);
    const std::string feed = "cat '" + path(c.file) + "' > '" + path("pipe") + "' &";
    ASSERT_EQ(std::system(feed.c_str()), 0);
    const std::vector<Picture> piped = run("pipe", 41, "piped.mkv", "cannot seek");
    ASSERT_EQ(piped.size(), 6u);
    for (size_t i = 0; i < piped.size(); ++i) EXPECT_TRUE(piped[i] == whole[41 + i]) << i;
}

INSTANTIATE_TEST_SUITE_P(Containers, Seeking, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

class SeekingJoined : public CliTest
{
};

// Two recordings joined with cat show the same timestamps twice: a segment in the second
// part must not seek to the first part's frame of that time.
TEST_F(SeekingJoined, DecodesFromTheStart)
{
    makeClip("part.ts", "testsrc2=size=48x32:rate=25", 25, "-c:v mpeg2video -g 12");
    std::ofstream(path("joined.ts"), std::ios::binary)
        << readText(path("part.ts")) << readText(path("part.ts"));
    ASSERT_EQ(telvo({"joined.ts", "whole.mkv", "--lossless", "-q"}).exitCode, 0);
    const std::vector<Picture> whole = decodeFile(path("whole.mkv"));
    ASSERT_EQ(whole.size(), 50u);
    const RunOutcome run =
        telvo({"joined.ts", "seg.mkv", "--lossless", "-q", "-v", "--start", "35", "--frames", "5"});
    ASSERT_EQ(run.exitCode, 0) << run.stderrText;
    EXPECT_NE(run.stderrText.find("decoding from the start"), std::string::npos) << run.stderrText;
    const std::vector<Picture> part = decodeFile(path("seg.mkv"));
    ASSERT_EQ(part.size(), 5u);
    for (size_t i = 0; i < part.size(); ++i) EXPECT_TRUE(part[i] == whole[35 + i]) << i;
}
