// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// Each failure ends with one line on stderr, the right exit code, and no file left
// under the output's name (nor a temporary one beside it); a replaced output keeps what
// the old file had.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "cli/media/av_util.h"
#include "tests/cli/cli_harness.h"

namespace
{

struct FailureCase {
    const char* name;
    std::function<void(CliTest&)> prepare;
    std::vector<std::string> args;
    int exitCode;
    const char* message;
};

int lines(const std::string& text)
{
    int n = 0;
    for (char c : text) n += c == '\n';
    return n;
}

class Failures : public CliTest
{
public:
    using CliTest::ffmpeg;
    using CliTest::makeClip;
    using CliTest::path;
    using CliTest::telvo;
};

void writeFile(const std::string& file, const std::string& text)
{
    std::ofstream(file, std::ios::binary) << text;
}

// Position and size of the n-th video packet, as the demuxer reports them.
std::pair<int64_t, int> packetAt(const std::string& file, int n)
{
    AVFormatContext* f = nullptr;
    if (avformat_open_input(&f, file.c_str(), nullptr, nullptr) < 0) return {-1, 0};
    InputPtr owner(f);
    AVPacket* p = av_packet_alloc();
    std::pair<int64_t, int> found{-1, 0};
    while (av_read_frame(f, p) >= 0) {
        if (n-- == 0) {
            found = {p->pos, p->size};
            av_packet_unref(p);
            break;
        }
        av_packet_unref(p);
    }
    av_packet_free(&p);
    return found;
}

// A reader still waiting to open `fifo` (the run failed before writing) gets an empty
// stream instead of waiting for ever.
void unblockFifoReader(const std::string& fifo)
{
    const int writer = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
    if (writer >= 0) close(writer);
}

// A file, or a folder with a file in it.
bool holdsData(const std::string& file)
{
    namespace fs = std::filesystem;
    std::error_code error;
    if (fs::is_directory(file, error)) return !fs::is_empty(file, error) && !error;
    return fs::exists(file, error);
}

}  // namespace

namespace
{

const char* const kClip = "testsrc2=size=32x24:rate=25";

// Each case runs in a fresh folder holding in.mkv, six frames of kClip.
const std::vector<FailureCase> kFailureCases = {
    {"missing input", nullptr, {"nothere.mp4", "out.mkv"}, 1, "cannot open 'nothere.mp4'"},
    {"not media",
     [](CliTest& t) {
         writeFile(static_cast<Failures&>(t).path("notes.txt"), "just some words\n");
     },
     {"notes.txt", "out.mkv"},
     1,
     "not a media file"},
    {"no video",
     [](CliTest& t) { static_cast<Failures&>(t).ffmpeg("-f lavfi -i sine=duration=0.5 a.wav"); },
     {"a.wav", "out.mkv"},
     1,
     "has no video stream"},
    {"zero frames",
     [](CliTest& t) { static_cast<Failures&>(t).makeClip("empty.avi", kClip, 0, "-c:v ffv1"); },
     {"empty.avi", "out.mkv"},
     1,
     "has no video frames"},
    {"impossible picture size",
     [](CliTest& t) {
         writeFile(static_cast<Failures&>(t).path("big.y4m"),
                   "YUV4MPEG2 W65536 H65536 F25:1 Ip A1:1 C420jpeg\nFRAME\nabc");
     },
     {"big.y4m", "out.mkv"},
     1,
     "Picture size 65536x65536 is invalid"},
    {"empty standard input", nullptr, {"-", "out.mkv"}, 1, "standard input is not a media"},
    {"unknown format",
     nullptr,
     {"in.mkv", "out.mkv", "-f", "nosuchformat"},
     2,
     "unknown output format 'nosuchformat'"},
    {"unknown extension", nullptr, {"in.mkv", "out.nosuchext"}, 2, "cannot tell the output format"},
    {"unknown codec",
     nullptr,
     {"in.mkv", "out.mkv", "--codec", "nosuchcodec"},
     2,
     "unknown video codec 'nosuchcodec'"},
    {"malformed config",
     nullptr,
     {"in.mkv", "out.mkv", "--config", "Config(15,15,0,8,8,8,x,0)"},
     2,
     "argument 7 (bottom) is not an integer; expected Config(gamma,alignment,border"},
    {"unwritable output",
     nullptr,
     {"in.mkv", "no/such/folder/out.mkv"},
     1,
     "cannot write 'no/such/folder/out.mkv'"},
    {"output is input", nullptr, {"in.mkv", "./in.mkv"}, 2, "is the input"},
    {"output is a hard link to the input",
     [](CliTest& t) {
         auto& f = static_cast<Failures&>(t);
         ASSERT_EQ(link(f.path("in.mkv").c_str(), f.path("same.mkv").c_str()), 0);
     },
     {"in.mkv", "same.mkv"},
     2,
     "is the input"},
    {"output is a symbolic link to the input",
     [](CliTest& t) {
         auto& f = static_cast<Failures&>(t);
         ASSERT_EQ(symlink("in.mkv", f.path("link.mkv").c_str()), 0);
     },
     {"in.mkv", "link.mkv"},
     2,
     "is the input"},
    {"stats file is a link to OUTPUT, which does not exist yet",
     [](CliTest& t) {
         auto& f = static_cast<Failures&>(t);
         ASSERT_EQ(symlink("s.csv", f.path("link.csv").c_str()), 0);
     },
     {"in.mkv", "s.csv", "-f", "matroska", "--stats", "link.csv"},
     2,
     "would write the same file"},
    {"output name longer than the file system allows",
     nullptr,
     {"in.mkv", std::string(252, 'n') + ".mkv"},
     2,
     "a name in it has 256 bytes, more than the 255"},
    {"output is input behind a protocol", nullptr, {"file:in.mkv", "in.mkv"}, 2, "is the input"},
    {"sequence corrected in place",
     [](CliTest& t) { static_cast<Failures&>(t).ffmpeg("-i in.mkv f%03d.png"); },
     {"f%03d.png", "f00%d.png"},
     2,
     "would overwrite 'f001.png', a frame of the input"},
    {"stats file is OUTPUT",
     nullptr,
     {"in.mkv", "s.csv", "--stats", "s.csv", "-f", "matroska"},
     2,
     "OUTPUT 's.csv' and --stats 's.csv' would write the same file"},
    {"plot is a frame of OUTPUT",
     nullptr,
     {"in.mkv", "f%03d.png", "--plot", "f002.png"},
     2,
     "would write the same file"},
    {"start past the end",
     nullptr,
     {"in.mkv", "out.mkv", "--start", "50"},
     1,
     "past the end: the input has 6 frames"},
    {"encoder refuses an option",
     nullptr,
     {"in.mkv", "out.mkv", "--codec", "ffv1", "--crf", "20"},
     1,
     "no CRF setting"},
    {"size changes mid-stream",
     [](CliTest& t) {
         auto& f = static_cast<Failures&>(t);
         f.makeClip("a.ts", "testsrc2=size=32x24:rate=25", 5, "-c:v mpeg2video");
         f.makeClip("b.ts", "testsrc2=size=48x32:rate=25", 5, "-c:v mpeg2video");
         std::ofstream(f.path("ab.ts"), std::ios::binary)
             << readText(f.path("a.ts")) << readText(f.path("b.ts"));
     },
     {"ab.ts", "out.mkv"},
     1,
     "frame size changes mid-stream"},
    {"bad stats name",
     nullptr,
     {"in.mkv", "out.mkv", "--stats", "s.txt"},
     2,
     "must end in .csv or .jsonl"},
    {"preview to a non-PNG", nullptr, {"in.mkv", "p.jpg", "--preview", "1"}, 2, "must end in .png"},
    {"preview past the end", nullptr, {"in.mkv", "p.png", "--preview", "6"}, 1, "past the end"},
    // The plan a run applies is guarded as its input is.
    {"stats file is the plan",
     [](CliTest& t) { writeFile(static_cast<Failures&>(t).path("p.csv"), "telvo-plan,1\n"); },
     {"in.mkv", "out.mkv", "--plan", "p.csv", "--stats", "p.csv"},
     2,
     "--stats 'p.csv' would overwrite --plan 'p.csv', which this run reads"},
    {"OUTPUT is a link to the plan",
     [](CliTest& t) {
         auto& f = static_cast<Failures&>(t);
         writeFile(f.path("p.csv"), "telvo-plan,1\n");
         ASSERT_EQ(symlink("p.csv", f.path("link.csv").c_str()), 0);
     },
     {"in.mkv", "link.csv", "-f", "mp4", "--plan", "p.csv"},
     2,
     "would overwrite --plan 'p.csv'"},
    {"plan is a folder",
     [](CliTest& t) { mkdir(static_cast<Failures&>(t).path("plans").c_str(), 0755); },
     {"in.mkv", "out.mkv", "--plan", "plans"},
     1,
     "the plan 'plans' is a folder"},
    {"plan without line ends",
     nullptr,
     {"in.mkv", "out.mkv", "--plan", "/dev/zero"},
     1,
     "line 1 is longer than 4096 bytes: not a telvo plan"},
    {"plan stating two billion frames",
     [](CliTest& t) {
         writeFile(static_cast<Failures&>(t).path("p.csv"),
                   "telvo-plan,1\ninput,32,24,2000000000\nsettings,15,15,0,8,8,8,8,85,scene\n"
                   "measure,0,-,0,0,0,255,255,255,99,99,99\n"
                   "apply,0,1999999999,0,0,0,255,255,255,1,1,1\n");
     },
     {"in.mkv", "out.mkv", "--plan", "p.csv"},
     1,
     "the plan measures 1 of its 2000000000 frames"},
    {"plan settings the command line contradicts",
     [](CliTest& t) {
         auto& f = static_cast<Failures&>(t);
         ASSERT_EQ(f.telvo({"in.mkv", "--analyse", "p.csv", "-q"}).exitCode, 0);
     },
     {"in.mkv", "out.mkv", "--plan", "p.csv", "--left", "3"},
     2,
     "--left 3 is not the plan's 8"},
    {"plan into a folder",
     [](CliTest& t) { mkdir(static_cast<Failures&>(t).path("plans").c_str(), 0755); },
     {"in.mkv", "--analyse", "plans"},
     2,
     "--analyse 'plans' is a folder"},
    {"output is a loop of links",
     [](CliTest& t) {
         ASSERT_EQ(symlink("loop.mkv", static_cast<Failures&>(t).path("loop.mkv").c_str()), 0);
     },
     {"in.mkv", "loop.mkv"},
     2,
     "a loop of links"},
};

}  // namespace

TEST_F(Failures, EachEndsWithOneLineAndNoOutputLeft)
{
    const std::vector<FailureCase>& cases = kFailureCases;
    makeClip("in.mkv", kClip, 6);
    const std::string in = readText(path("in.mkv"));
    for (const FailureCase& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        writeFile(path("in.mkv"), in);
        if (c.prepare) c.prepare(*this);
        const std::vector<std::string> before = files();
        const RunOutcome run = telvo(c.args);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.stderrText;
        EXPECT_NE(run.stderrText.find(c.message), std::string::npos) << run.stderrText;
        // Usage errors print before the filter's summary; others may follow it.
        const std::string last =
            run.stderrText.substr(run.stderrText.rfind("telvo: ", run.stderrText.size() - 2));
        EXPECT_EQ(lines(last), 1) << run.stderrText;
        EXPECT_EQ(files(), before) << "a file was left behind";
    }
}

TEST_F(Failures, CorruptPacketIsReportedAndSkipped)
{
    // PNG frames: a damaged one fails its checksum and cannot be concealed.
    makeClip("in.avi", "testsrc2=size=64x48:rate=25", 10, "-c:v png");
    const auto [pos, size] = packetAt(path("in.avi"), 4);
    ASSERT_GT(pos, 0);
    std::fstream f(path("in.avi"), std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(pos + size / 2);
    f << std::string(32, '\x5a');
    f.close();

    const RunOutcome run = telvo({"in.avi", "out.mkv", "--lossless", "-q"});
    EXPECT_EQ(run.exitCode, 0) << run.stderrText;
    EXPECT_NE(run.stderrText.find("corrupt video packet"), std::string::npos) << run.stderrText;
    EXPECT_EQ(decodeFile(path("out.mkv")).size(), 9u);
}

// A recording cut short: every frame it holds comes out, exit 0, and a warning compares
// what the container announced with what was decoded. A whole file gets none, also when
// its audio runs longer than its video.
TEST_F(Failures, InputCutShortIsReported)
{
    const struct {
        const char* name;
        const char* announced;
    } cases[] = {
        {"clip.avi", "announces 50 frames"},  // the header counts the frames
        {"clip.mkv", "announces 2.60 s"},     // the header states a duration only
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ffmpeg(std::string("-f lavfi -i testsrc2=size=32x24:rate=25:duration=2 -f lavfi -i "
                           "sine=duration=2.6 -c:v ffv1 -c:a pcm_s16le ") +
               c.name);
        RunOutcome run = telvo({c.name, "whole.mkv", "-q"});
        EXPECT_EQ(run.exitCode, 0) << run.stderrText;
        EXPECT_EQ(run.stderrText, "");

        const std::string data = readText(path(c.name));
        writeFile(path(std::string("cut-") + c.name), data.substr(0, data.size() / 2));
        run = telvo({std::string("cut-") + c.name, "cut.mkv", "-q"});
        EXPECT_EQ(run.exitCode, 0) << run.stderrText;
        const size_t frames = decodeFile(path("cut.mkv")).size();
        EXPECT_GT(frames, 10u);
        EXPECT_LT(frames, 40u);
        EXPECT_NE(
            run.stderrText.find(std::string("the input ends early: its container ") + c.announced),
            std::string::npos)
            << run.stderrText;
        EXPECT_NE(run.stderrText.find(std::to_string(frames) + " were decoded"), std::string::npos)
            << run.stderrText;
    }

    // Whole files whose frames are not what a frame count or rate suggests: a variable
    // frame rate (two frames of every five at 50 fps), and a cut by stream copy whose edit
    // list hides the frames before the cut that its header still counts.
    const struct {
        const char* name;
        const char* make;
    } whole[] = {
        {"vfr.mkv",
         "-f lavfi -i testsrc2=size=32x24:rate=50:duration=4.7 -vf select='lt(mod(n\\,5)\\,2)' "
         "-fps_mode vfr -c:v ffv1 vfr.mkv"},
        {"cut.mp4", "-ss 1.3 -i long.mp4 -c copy cut.mp4"},
    };
    ffmpeg("-f lavfi -i testsrc2=size=32x24:rate=25:duration=6 -c:v libx264 -g 50 -bf 2 long.mp4");
    for (const auto& w : whole) {
        SCOPED_TRACE(w.name);
        ffmpeg(w.make);
        const RunOutcome run = telvo({w.name, "whole.mkv", "-q"});
        EXPECT_EQ(run.exitCode, 0) << run.stderrText;
        EXPECT_EQ(run.stderrText, "");
    }
}

// What FFmpeg says about a damaged input reaches the user without -v, one line per kind
// with a count (not a line per macroblock); -q hides it.
TEST_F(Failures, InputWarningsAreSummarised)
{
    ffmpeg("-f lavfi -i testsrc2=size=128x96:rate=25:duration=2 -c:v libx264 -g 25 -bf 0 h.mkv");
    std::string damaged = readText(path("h.mkv"));
    for (size_t at = 6000; at + 2000 < damaged.size(); at += 997) damaged[at] ^= 0x55;
    writeFile(path("damaged.mkv"), damaged);
    makeClip("whole.mkv", "testsrc2=size=32x24:rate=25", 50);
    const std::string data = readText(path("whole.mkv"));
    writeFile(path("cut.mkv"), data.substr(0, data.size() * 2 / 3));

    const struct {
        const char* input;
        const char* message;
    } cases[] = {
        {"damaged.mkv", "error while decoding MB"},
        {"cut.mkv", "File ended prematurely"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input);
        RunOutcome run = telvo({c.input, "out.mkv"});
        EXPECT_EQ(run.exitCode, 0) << run.stderrText;
        const size_t first = run.stderrText.find(c.message);
        EXPECT_NE(first, std::string::npos) << run.stderrText;
        EXPECT_EQ(run.stderrText.find(c.message, first + 1), std::string::npos)
            << "one line per kind:\n"
            << run.stderrText;
        run = telvo({c.input, "out.mkv", "-q"});
        EXPECT_EQ(run.stderrText.find(c.message), std::string::npos) << run.stderrText;
    }

    // A whole file entered by a seek: decoding from the keyframe of an open GOP makes the
    // decoder complain about the pictures before it, which says nothing of the input.
    ffmpeg(
        "-f lavfi -i testsrc2=size=64x48:rate=25:duration=4 -c:v libx264 -bf 3 -g 30 "
        "-x264-params open-gop=1 open.mp4");
    for (const char* start : {"47", "61"}) {
        const RunOutcome run = telvo({"open.mp4", "out.mkv", "--start", start, "--frames", "5"});
        EXPECT_EQ(run.exitCode, 0) << run.stderrText;
        EXPECT_EQ(run.stderrText.find("of the input reported"), std::string::npos)
            << "--start " << start << ":\n"
            << run.stderrText;
    }
}

TEST_F(Failures, ReplacedOutputKeepsModeAndOwnerAndLongNamesFit)
{
    makeClip("in.mkv", "testsrc2=size=32x24:rate=25", 3);
    writeFile(path("out.mkv"), "old");
    ASSERT_EQ(chmod(path("out.mkv").c_str(), 0600), 0);
    const bool root = geteuid() == 0;  // only root may give a file away
    if (root) {
        ASSERT_EQ(chown(path("out.mkv").c_str(), 4321, 4322), 0);
    }
    // Set-ID bits are not kept (set after the owner, whose change clears them).
    ASSERT_EQ(chmod(path("out.mkv").c_str(), root ? 06600 : 04600), 0);
    RunOutcome run = telvo({"in.mkv", "out.mkv", "-q"});
    ASSERT_EQ(run.exitCode, 0) << run.stderrText;
    struct stat info {
    };
    ASSERT_EQ(stat(path("out.mkv").c_str(), &info), 0);
    EXPECT_GT(info.st_size, 3) << "not replaced";
    EXPECT_EQ(info.st_mode & 07777, 0600u) << "mode not kept, or a set-ID bit kept";
    if (root) {
        EXPECT_EQ(info.st_uid, 4321u);
        EXPECT_EQ(info.st_gid, 4322u);
    }

    // Names up to the file system's limit: the temporary name is cut to fit.
    for (const size_t length : {243, 255}) {
        const std::string name = std::string(length - 4, 'n') + ".mkv";
        run = telvo({"in.mkv", name, "-q"});
        EXPECT_EQ(run.exitCode, 0) << run.stderrText;
        EXPECT_EQ(decodeFile(path(name)).size(), 3u);
    }
    for (const std::string& name : files())
        EXPECT_EQ(name.find(".part-"), std::string::npos) << "temporary left behind";
}

// A run killed outright leaves its temporary file; a later run to the same OUTPUT removes
// it, but not one a running telvo still holds locked, nor anything of another name.
TEST_F(Failures, LaterRunRemovesWhatAKilledRunLeft)
{
    makeClip("in.mkv", "testsrc2=size=32x24:rate=25", 3);
    const std::vector<std::string> kept = {".out.mkv.part-Run123", ".other.mkv.part-Abc123",
                                           ".out.mkv.part-Abc1234", "out.mkv.part-Abc123"};
    for (const std::string& name : kept) writeFile(path(name), "x");
    writeFile(path(".out.mkv.part-Killed"), "x");
    const int running = open(path(kept[0]).c_str(), O_RDONLY);
    ASSERT_GE(running, 0);
    ASSERT_EQ(flock(running, LOCK_EX), 0);
    const RunOutcome run = telvo({"in.mkv", "out.mkv", "-q"});
    close(running);
    ASSERT_EQ(run.exitCode, 0) << run.stderrText;
    std::vector<std::string> expected = kept;
    expected.insert(expected.end(), {"in.mkv", "out.mkv"});
    std::sort(expected.begin(), expected.end());
    std::vector<std::string> now = files();
    std::sort(now.begin(), now.end());
    EXPECT_EQ(now, expected);

    // A numbered sequence's temporary folder: only one that holds frames of this pattern.
    for (const char* folder : {".telvo.part-Kil123", ".telvo.part-Oth123"})
        ASSERT_EQ(mkdir(path(folder).c_str(), 0755), 0);
    writeFile(path(".telvo.part-Kil123/f002.png"), "x");
    writeFile(path(".telvo.part-Oth123/g002.png"), "x");
    const RunOutcome sequence = telvo({"in.mkv", "f%03d.png", "-q"});
    ASSERT_EQ(sequence.exitCode, 0) << sequence.stderrText;
    EXPECT_NE(access(path(".telvo.part-Kil123").c_str(), F_OK), 0) << "stale folder kept";
    EXPECT_EQ(access(path(".telvo.part-Oth123/g002.png").c_str(), F_OK), 0);
}

// A run that reads a stalled pipe is stopped by signals once its temporary output holds
// something; nothing of it may stay behind, whichever signal ends the run. The second
// signal removes the temporaries from within its handler, at once.
TEST_F(Failures, InterruptRemovesThePartialOutput)
{
    const struct {
        const char* output;
        std::vector<int> signals;
    } cases[] = {
        {"out.mkv", {SIGINT}},
        {"out.mkv", {SIGINT, SIGTERM}},
        {"f%03d.png", {SIGINT, SIGTERM}},
    };
    makeClip("clip.nut", "testsrc2=size=64x48:rate=25", 60, "-c:v ffv1");
    const std::string data = readText(path("clip.nut"));
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.output) + ", signals: " + std::to_string(c.signals.size()));
        unlink(path("in.nut").c_str());
        ASSERT_EQ(mkfifo(path("in.nut").c_str(), 0600), 0);
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            const int err = open(path("stderr.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            dup2(err, STDERR_FILENO);
            if (chdir(dir_.c_str()) != 0) _exit(99);
            execl(TELVO_BINARY, "telvo", "in.nut", c.output, "-q", static_cast<char*>(nullptr));
            _exit(98);
        }
        // Half the stream, then the writer stalls: telvo has written part of its output
        // and waits.
        const int fifo = open(path("in.nut").c_str(), O_WRONLY);
        ASSERT_GE(fifo, 0);
        ASSERT_EQ(write(fifo, data.data(), data.size() / 2), static_cast<ssize_t>(data.size() / 2));
        bool started = false;
        for (int i = 0; i < 600 && !started; ++i) {  // a guard against a hang, not a timing
            for (const std::string& name : files())
                started |= name.find(".part-") != std::string::npos && holdsData(path(name));
            if (!started) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        EXPECT_TRUE(started) << "no temporary output appeared";
        for (int signal : c.signals) kill(pid, signal);
        close(fifo);
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 1);
        EXPECT_NE(readText(path("stderr.txt")).find("interrupted"), std::string::npos);
        for (const std::string& name : files())
            EXPECT_TRUE(name == "clip.nut" || name == "in.nut" || name == "stderr.txt") << name;
    }
}

// An OUTPUT that is not a plain file keeps what it is: a device or a FIFO is written in
// place (the FIFO's reader gets the whole clip), and a symbolic link keeps pointing to
// its target, which now holds the clip (also a target that did not exist yet).
TEST_F(Failures, SpecialOutputsAreWrittenThroughNotReplaced)
{
    enum class Kind { Device, Fifo, Link, DanglingLink };
    const struct {
        const char* name;
        Kind kind;
    } cases[] = {
        {"null device", Kind::Device},
        {"FIFO", Kind::Fifo},
        {"link to an old file", Kind::Link},
        {"link to a new file", Kind::DanglingLink},
    };
    makeClip("in.mkv", "testsrc2=size=32x24:rate=25", 4);
    ASSERT_EQ(mkdir(path("sub").c_str(), 0755), 0);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // A link lives in sub/ and names its target relative to that folder.
        const bool linked = c.kind == Kind::Link || c.kind == Kind::DanglingLink;
        const std::string name = linked ? "sub/out" : "out";
        const std::string out = path(name);
        unlink(out.c_str());
        unlink(path("sub/target.mkv").c_str());
        if (c.kind == Kind::Device) {
            if (geteuid() != 0) {
                std::printf("skipped '%s': mknod needs root\n", c.name);
                continue;
            }
            ASSERT_EQ(mknod(out.c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
            const int probe = open(out.c_str(), O_WRONLY);
            if (probe < 0) {  // a file system mounted nodev
                std::printf("skipped '%s': devices cannot be opened here\n", c.name);
                continue;
            }
            close(probe);
        }
        if (c.kind == Kind::Fifo) {
            ASSERT_EQ(mkfifo(out.c_str(), 0600), 0);
        }
        if (c.kind == Kind::Link) writeFile(path("sub/target.mkv"), "old");
        if (linked) {
            ASSERT_EQ(symlink("target.mkv", out.c_str()), 0);
        }
        struct stat before {
        };
        ASSERT_EQ(lstat(out.c_str(), &before), 0);

        // The FIFO's reader copies what it gets into a file, to be decoded afterwards.
        std::thread reader;
        if (c.kind == Kind::Fifo)
            reader = std::thread([&] {
                std::ifstream fifo(out, std::ios::binary);
                std::ofstream(path("read.mkv"), std::ios::binary) << fifo.rdbuf();
            });
        const RunOutcome run = telvo({"in.mkv", name, "-f", "matroska", "-q"});
        if (reader.joinable()) {
            unblockFifoReader(out);
            reader.join();
        }
        EXPECT_EQ(run.exitCode, 0) << run.stderrText;

        struct stat after {
        };
        ASSERT_EQ(lstat(out.c_str(), &after), 0);
        EXPECT_EQ(after.st_mode & S_IFMT, before.st_mode & S_IFMT) << "the name was replaced";
        EXPECT_EQ(after.st_ino, before.st_ino);
        const bool inPlace = c.kind == Kind::Device || c.kind == Kind::Fifo;
        EXPECT_EQ(run.stderrText.find("cannot be made atomic") != std::string::npos, inPlace)
            << run.stderrText;
        if (c.kind == Kind::Fifo) {
            EXPECT_EQ(decodeFile(path("read.mkv")).size(), 4u);
        }
        if (!inPlace) {
            EXPECT_EQ(decodeFile(path("sub/target.mkv")).size(), 4u);
        }
        for (const auto& entry : std::filesystem::recursive_directory_iterator(dir_))
            EXPECT_EQ(entry.path().string().find(".part-"), std::string::npos)
                << "temporary left behind";
    }
}

// A FIFO's reader that goes away mid-run fails the write: the run ends with its one
// line and exit 1, as for a full disk, instead of dying of SIGPIPE without a word.
TEST_F(Failures, ReaderLeavingAFifoFailsTheRun)
{
    makeClip("in.mkv", "testsrc2=size=160x120:rate=25", 40);  // well over a pipe's buffer
    ASSERT_EQ(mkfifo(path("out").c_str(), 0600), 0);
    std::thread reader([&] {
        const int fifo = open(path("out").c_str(), O_RDONLY);
        char start[100];
        if (fifo >= 0 && read(fifo, start, sizeof start) > 0) close(fifo);
    });
    const RunOutcome run = telvo({"in.mkv", "out", "-f", "matroska", "-q", "--stats", "s.csv"});
    unblockFifoReader(path("out"));
    reader.join();
    EXPECT_EQ(run.exitCode, 1) << run.stderrText;
    EXPECT_NE(run.stderrText.find("Broken pipe"), std::string::npos) << run.stderrText;
    for (const std::string& name : files())
        EXPECT_TRUE(name == "in.mkv" || name == "out") << name << " left behind";
}
