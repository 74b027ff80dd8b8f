// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// Two passes through the binary: a plan that is not the input's is refused before any
// file is written; a hand-set scene correction is applied as written; a second pass
// started later gives the frames of the whole second pass, with no pre-roll.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "linked/plan_file.h"
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

// A stats file's rows as numbers, without the header.
std::vector<std::vector<double>> statsRows(const std::string& text)
{
    std::vector<std::vector<double>> rows;
    std::istringstream in(text);
    std::string row, field;
    std::getline(in, row);
    while (std::getline(in, row)) {
        rows.emplace_back();
        for (std::istringstream fields(row); std::getline(fields, field, ',');)
            rows.back().push_back(std::strtod(field.c_str(), nullptr));
    }
    return rows;
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

// An input that states more frames than the plan is refused before the output is opened,
// so a FIFO's reader gets nothing (the run cannot take back what a reader got).
TEST_F(TwoPass, LongerInputIsRefusedBeforeAFifoGetsAFrame)
{
    makeClip("longer.avi", twoShots(16), 31, "-c:v ffv1");
    ASSERT_EQ(mkfifo(path("out").c_str(), 0600), 0);
    std::string got;
    std::thread reader([&] { got = readText(path("out")); });
    const RunOutcome run = telvo(
        {path("longer.avi"), path("out"), "-f", "matroska", "--plan", path("plan.csv"), "-q"});
    const int writer = open(path("out").c_str(), O_WRONLY | O_NONBLOCK);  // a reader still
    if (writer >= 0) close(writer);                                       // waiting gets EOF
    reader.join();
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.stderrText.find("the input states 31: the plan is not this input's"),
              std::string::npos)
        << run.stderrText;
    EXPECT_EQ(got.size(), 0u);
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

// --scene-cuts 0 is off in pass 1 as everywhere else: the plan records it and holds one
// scene; without the option pass 1 finds the cut at its default sensitivity.
TEST_F(TwoPass, SceneCutsZeroIsOffInPassOne)
{
    ASSERT_EQ(
        telvo({path("clip.mkv"), "--analyse", path("off.csv"), "--scene-cuts", "0", "-q"}).exitCode,
        0);
    const std::string off = readText(path("off.csv")), on = readText(path("plan.csv"));
    EXPECT_NE(off.find("\nsettings,15,15,0,8,8,8,8,0,scene\n"), std::string::npos) << off;
    EXPECT_NE(off.find("\nscene,0,29\n"), std::string::npos) << off;
    EXPECT_NE(on.find("\nscene,15,29\n"), std::string::npos) << on;
}

// Pass 2 renders with the plan's settings and says so on its start line; the same value
// given again is taken, another one refused rather than ignored.
TEST_F(TwoPass, PassTwoTakesThePlansSettings)
{
    ASSERT_EQ(telvo({path("clip.mkv"), "--analyse", path("g.csv"), "--gamma", "30", "-q"}).exitCode,
              0);
    const struct {
        std::vector<std::string> given;
        int exitCode;
        const char* message;
    } cases[] = {
        {{}, 0, "(gamma 30, alignment 15,"},
        {{"--gamma", "30", "--scene-cuts", "85"}, 0, "(gamma 30, alignment 15,"},
        {{"--gamma", "31"}, 2, "--gamma 31 is not the plan's 30"},
        {{"--planning", "smooth:3"}, 2, "--planning smooth:3 is not the plan's scene"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {path("clip.mkv"), path("out.mkv"), "--plan",
                                         path("g.csv")};
        args.insert(args.end(), c.given.begin(), c.given.end());
        const RunOutcome run = telvo(args);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.message;
        EXPECT_NE(run.stderrText.find(c.message), std::string::npos) << run.stderrText;
    }
}

// With --balance pass 1 records each frame's balance estimate, and pass 2 gives every frame
// of a shot the one correction the planner derives from them, at the plan's strength.
TEST_F(TwoPass, BalancePlanGivesEachShotThePlannersOneCorrection)
{
    // Casts the balance correction takes for casts (the fixture's are beyond its limits).
    makeClip("cast.mkv",
             "testsrc=size=64x48:rate=25:duration=0.6,colorchannelmixer=bb=0.85[a];"
             "smptebars=size=64x48:rate=25,trim=end_frame=15,colorchannelmixer=rr=0.85:gg=0.95[b];"
             "[a][b]concat=n=2:v=1",
             30);
    const RunOutcome pass1 = telvo(
        {path("cast.mkv"), "--analyse", path("b.csv"), "--balance", "--strength", "80", "-q"});
    ASSERT_EQ(pass1.exitCode, 0) << pass1.stderrText;
    PassPlan plan;
    std::string error;
    ASSERT_TRUE(parsePlan(readText(path("b.csv")), plan, error)) << error;
    ASSERT_EQ(sceneStarts(plan.measured), (std::vector<int64_t>{0, 15}));
    FrameSettings settings{};
    settings.balance = 1;
    settings.balanceStrength = 80;
    const std::vector<CorrectionParams> planned = planScenes(settings, plan.measured, {0, 15});

    const RunOutcome pass2 = telvo({path("cast.mkv"), path("out.mkv"), "--plan", path("b.csv"),
                                    "--stats", path("s.csv"), "-q"});
    ASSERT_EQ(pass2.exitCode, 0) << pass2.stderrText;
    const std::vector<std::vector<double>> applied = statsRows(readText(path("s.csv")));
    ASSERT_EQ(applied.size(), 30u);
    for (size_t k = 0; k < applied.size(); ++k) {
        ASSERT_EQ(applied[k].size(), 20u);  // frame, levels, applied values, balance
        const CorrectionParams& shot = planned[k < 15 ? 0 : 15];
        for (int p = 0; p < kParamCount; ++p) {
            EXPECT_EQ(applied[k][10 + size_t(p)], planned[k].value[p]) << k << " " << p;
            EXPECT_EQ(planned[k].value[p], shot.value[p]) << k << " " << p;
        }
    }
    // The still second shot: what one pass settles to, the strength applied once.
    const RunOutcome one = telvo({path("cast.mkv"), path("one.mkv"), "--balance", "--strength",
                                  "80", "--stats", path("one.csv"), "-q"});
    ASSERT_EQ(one.exitCode, 0) << one.stderrText;
    const std::vector<double> settled = statsRows(readText(path("one.csv"))).at(29);
    for (int p = 0; p < kParamCount; ++p)
        EXPECT_NEAR(settled.at(10 + size_t(p)), planned[29].value[p], 1e-9) << p;
    // Each shot's cast is corrected, and the two differently.
    const CorrectionParams none = identityCorrection();
    EXPECT_NE(std::memcmp(&planned[0], &none, sizeof none), 0);
    EXPECT_NE(std::memcmp(&planned[15], &none, sizeof none), 0);
    EXPECT_NE(std::memcmp(&planned[0], &planned[15], sizeof none), 0);
}

// Deeper input and a rotated clip: pass 2 measures as pass 1 did, on the 16-bit path and
// through the displayed picture's margins, whatever the container does with the turn.
TEST_F(TwoPass, DeepAndRotatedInputTakeTheirOwnPlan)
{
    makeClip("deep.mkv", twoShots(), 30, "-c:v ffv1 -pix_fmt yuv422p10le");
    makeClip("stored.mp4", "testsrc2=size=64x48:rate=25,colorchannelmixer=rr=0.7", 6,
             "-c:v libx264 -qp 0");
    ffmpeg("-i stored.mp4 -c copy -metadata:s:v:0 rotate=90 turned.mp4");
    const struct {
        const char* input;
        std::vector<std::string> pass1;
        const char* output;
    } cases[] = {
        {"deep.mkv", {}, "out.mkv"},
        {"turned.mp4", {"--border", "--left", "30"}, "out.mkv"},
        {"turned.mp4", {"--border", "--left", "30"}, "out.mp4"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.input) + " into " + c.output);
        std::vector<std::string> analyse = {path(c.input), "--analyse", path("p.csv"), "-q"};
        analyse.insert(analyse.end(), c.pass1.begin(), c.pass1.end());
        ASSERT_EQ(telvo(analyse).exitCode, 0);
        const RunOutcome pass2 = telvo({path(c.input), path(c.output), "--plan", path("p.csv"),
                                        "-q", "--stats", path("s.csv")});
        EXPECT_EQ(pass2.exitCode, 0) << pass2.stderrText;
    }
    // One pass: the displayed left edge in both containers, so the same levels and values.
    std::string stats[2];
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(telvo({path("turned.mp4"), path(i ? "one.mkv" : "one.mp4"), "--border", "--left",
                         "30", "-q", "--stats", path("s.csv")})
                      .exitCode,
                  0);
        stats[i] = readText(path("s.csv"));
    }
    EXPECT_EQ(stats[0], stats[1]);
}

// The plan file as a person edits it: a byte-order mark is taken, and each mistake is
// refused at its line with a message that says what is wrong; a plan stating more frames
// than it holds costs nothing before it is refused.
TEST(PlanFile, EditsAreTakenOrRefusedAtTheirLine)
{
    PassPlan made;
    made.width = 4, made.height = 2, made.frames = 3;
    made.planning = "scene";
    for (int k = 0; k < 3; ++k)
        made.measured.push_back(
            MeasuredFrame{ChannelLevels{{2.0 + k, 3, 4, 250, 251, 252, 100, 110, 120}}});
    planCorrections(made);
    const std::string plan = formatPlan(made);
    made.settings[kPlanBalance] = 1;
    made.settings[kPlanStrength] = 70;
    for (MeasuredFrame& m : made.measured) m.balance = {identityCorrection(), 5};
    planCorrections(made);
    const std::string balanced = formatPlan(made);
    auto edit = [&](const std::string& from, const std::string& to,
                    const std::string& in = std::string()) {
        std::string text = in.empty() ? plan : in;
        const size_t at = text.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        return at == std::string::npos ? text : text.replace(at, from.size(), to);
    };
    const struct {
        const char* name;
        std::string text;
        int64_t inputFrames;
        const char* error;  // empty: taken
    } cases[] = {
        {"as written", plan, 3, ""},
        {"byte-order mark", "\xEF\xBB\xBF" + plan, 3, ""},
        {"apply line one past the end", edit("apply,0,2,", "apply,0,3,"), 0,
         "frames 0..3 are not within the plan's 3 frames"},
        {"apply line not numbers", edit("apply,0,2,", "apply,0,x,"), 0, "' is not an apply line"},
        {"overlapping apply lines",
         edit("apply,0,2,", "apply,0,0,0,0,0,255,255,255,1,1,1\napply,0,2,"), 0,
         "frame 0 has a correction already"},
        {"measure lines swapped", edit("measure,1,", "measure,2,"), 0,
         "frame 2 is measured out of order: frame 1 comes next"},
        {"more frames than the input states", edit("input,4,2,3", "input,4,2,50000000"), 3,
         "line 4: the plan has 50000000 frames, the input states 3"},
        {"more frames than measured", edit("input,4,2,3", "input,4,2,2000000000"), 0,
         "the plan measures 3 of its 2000000000 frames"},
        {"unknown kind", edit("telvo-plan,1", "\x01odd,1"), 0, "unknown line kind '\\x01odd'"},
        {"balance plan as written", balanced, 3, ""},
        {"balance line after a measure line",
         edit("# scene,first,last", "balance,70\n# scene,first,last"), 0,
         "the balance line comes after measure lines"},
        {"balance plan's measure line without its estimate",
         edit(",0,0,0,255,255,255,1,1,1,5\nmeasure,1,", "\nmeasure,1,", balanced), 0,
         "' is not a measure line"},
        {"more grey pixels than the picture's", edit(",1,1,1,5\n", ",1,1,1,9\n", balanced), 0,
         "' is not a measure line"},
        {"line without end", plan + std::string(kPlanLineLimit + 1, 'x'), 0,
         "is longer than 4096 bytes"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::istringstream in(c.text);
        PassPlan read;
        std::string error;
        EXPECT_EQ(readPlanText(in, read, error, c.inputFrames), *c.error == '\0') << error;
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
        if (*c.error == '\0') {
            EXPECT_EQ(formatPlan(read),
                      c.text.find("\nbalance,") != std::string::npos ? balanced : plan);
        }
    }
}

}  // namespace
