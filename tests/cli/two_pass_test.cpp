// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// Two passes through the binary: a plan that is not the input's is refused before any
// file is written; a hand-set scene correction is applied as written; a second pass
// started later gives the frames of the whole second pass, with no pre-roll.
#include <string>
#include <vector>

#include "tests/cli/cli_harness.h"

namespace
{

// Two shots with opposite casts, 15 frames and `second`: the plan has two scenes.
std::string twoShots(int second = 15, const std::string& secondCast = "rr=0.6:gg=0.9:bb=1")
{
    return "testsrc2=size=64x48:rate=25:duration=0.6,colorchannelmixer=rr=1:gg=0.8:bb=0.6[a];"
           "smptebars=size=64x48:rate=25,trim=end_frame=" +
           std::to_string(second) + ",colorchannelmixer=" + secondCast + "[b];[a][b]concat=n=2:v=1";
}

class TwoPass : public CliTest
{
protected:
    void SetUp() override
    {
        CliTest::SetUp();
        makeClip("clip.mkv", twoShots(), 30);
        const RunOutcome pass1 = telvo({path("clip.mkv"), "--analyse", path("plan.csv"), "-q"});
        ASSERT_EQ(pass1.exitCode, 0) << pass1.stderrText;
    }
};

TEST_F(TwoPass, PlanOfAnotherInputIsRefusedBeforeAnythingIsWritten)
{
    makeClip("other.mkv", "testsrc2=size=64x48:rate=25", 30);
    makeClip("longer.mkv", twoShots(16), 31);
    makeClip("smaller.mkv", "testsrc2=size=64x40:rate=25", 30);
    makeClip("recut.mkv", twoShots(15, "rr=0.9:gg=0.9:bb=0.7"), 30);
    struct Case {
        const char* input;
        const char* message;
    } const cases[] = {
        {"other.mkv", "frame 0 does not measure as the plan says"},
        {"longer.mkv", "the plan is not this input's"},
        {"recut.mkv", "frame 15 does not measure as the plan says"},
        {"smaller.mkv", "is for 64x48 pictures, the input's are 64x40"},
    };
    for (const Case& c : cases) {
        const std::vector<std::string> before = files();
        const RunOutcome run = telvo(
            {path(c.input), path("out.mkv"), "--plan", path("plan.csv"), "--stats", path("s.csv")});
        EXPECT_EQ(run.exitCode, 1) << c.input;
        EXPECT_NE(run.stderrText.find(c.message), std::string::npos) << run.stderrText;
        EXPECT_EQ(files(), before) << c.input << ": a file was written";
    }
}

TEST_F(TwoPass, HandSetSceneIsAppliedAndLaterStartNeedsNoPreRoll)
{
    std::string plan = readText(path("plan.csv"));
    const size_t second = plan.find("\napply,15,29,");
    ASSERT_NE(second, std::string::npos) << plan;
    plan.replace(second, plan.find('\n', second + 1) - second,
                 "\napply,15,29,0,0,0,255,255,255,1.25,1,0.75");
    {
        FILE* f = std::fopen(path("edited.csv").c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fputs(plan.c_str(), f);
        std::fclose(f);
    }
    const RunOutcome whole =
        telvo({path("clip.mkv"), path("whole.mkv"), "--plan", path("edited.csv"), "--lossless",
               "-q", "--stats", path("s.csv")});
    ASSERT_EQ(whole.exitCode, 0) << whole.stderrText;
    const std::string stats = readText(path("s.csv"));
    EXPECT_NE(stats.find("\n20,"), std::string::npos);
    EXPECT_NE(stats.substr(stats.find("\n20,")).find(",0,0,0,255,255,255,1.25,1,0.75\n"),
              std::string::npos)
        << stats;

    const RunOutcome part = telvo({path("clip.mkv"), path("part.mkv"), "--plan", path("edited.csv"),
                                   "--lossless", "-q", "--start", "13", "--frames", "5"});
    ASSERT_EQ(part.exitCode, 0) << part.stderrText;
    const std::vector<Picture> all = decodeFile(path("whole.mkv"));
    const std::vector<Picture> some = decodeFile(path("part.mkv"));
    ASSERT_EQ(some.size(), 5u);
    for (size_t i = 0; i < some.size(); ++i) EXPECT_TRUE(some[i] == all[13 + i]) << i;
}

}  // namespace
