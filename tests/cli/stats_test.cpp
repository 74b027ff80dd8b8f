// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// --stats and --plot: the values the frame pass reported, readable back exactly; the
// plot's panels and the progress bar.
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>

#include "cli/media/filter_frames.h"
#include "cli/media/media_input.h"
#include "cli/pipeline/filter_session.h"
#include "cli/report/plot.h"
#include "engine/frame_pass.h"
#include "tests/cli/cli_harness.h"

namespace
{

// What RunProc reported for each frame of a direct run of the filter over `file`.
std::vector<FrameReport> directReports(const std::string& file, bool disable, bool balance = false)
{
    MediaInput input;
    std::string error;
    EXPECT_TRUE(input.open(file, error)) << error;
    ToFilterConverter converter(input.decoder()->width, input.decoder()->height);
    FilterSession session;
    SettingValues settings = defaultSettingValues();
    settings[settingIndex("disable")] = disable ? 1 : 0;
    settings[settingIndex("balance")] = balance ? 1 : 0;
    EXPECT_TRUE(session.open(settings, input.decoder()->width, input.decoder()->height, error));
    std::vector<FrameReport> reports;
    FramePtr frame(av_frame_alloc());
    for (int64_t i = 0; input.next(frame.get(), nullptr, error) == MediaInput::Status::Frame; ++i) {
        FramePtr src, dst = converter.pool().get();
        EXPECT_TRUE(converter.convert(frame.get(), src, error));
        FrameReport report;
        EXPECT_TRUE(session.run(src.get(), dst.get(), i, &report));
        reports.push_back(report);
        av_frame_unref(frame.get());
    }
    return reports;
}

// The documented column names with the report's field each must hold, written out here
// rather than taken from the code that writes the files.
using Field = double (*)(const FrameReport&);
const std::pair<const char*, Field> kColumns[] = {
    {"lowR", [](const FrameReport& r) { return r.levels.value[kLowR]; }},
    {"lowG", [](const FrameReport& r) { return r.levels.value[kLowG]; }},
    {"lowB", [](const FrameReport& r) { return r.levels.value[kLowB]; }},
    {"highR", [](const FrameReport& r) { return r.levels.value[kHighR]; }},
    {"highG", [](const FrameReport& r) { return r.levels.value[kHighG]; }},
    {"highB", [](const FrameReport& r) { return r.levels.value[kHighB]; }},
    {"medianR", [](const FrameReport& r) { return r.levels.value[kMedianR]; }},
    {"medianG", [](const FrameReport& r) { return r.levels.value[kMedianG]; }},
    {"medianB", [](const FrameReport& r) { return r.levels.value[kMedianB]; }},
    {"blackR", [](const FrameReport& r) { return r.applied.value[kBlackR]; }},
    {"blackG", [](const FrameReport& r) { return r.applied.value[kBlackG]; }},
    {"blackB", [](const FrameReport& r) { return r.applied.value[kBlackB]; }},
    {"whiteR", [](const FrameReport& r) { return r.applied.value[kWhiteR]; }},
    {"whiteG", [](const FrameReport& r) { return r.applied.value[kWhiteG]; }},
    {"whiteB", [](const FrameReport& r) { return r.applied.value[kWhiteB]; }},
    {"curveR", [](const FrameReport& r) { return r.applied.value[kCurveR]; }},
    {"curveG", [](const FrameReport& r) { return r.applied.value[kCurveG]; }},
    {"curveB", [](const FrameReport& r) { return r.applied.value[kCurveB]; }},
};

using Record = std::map<std::string, double>;

std::vector<Record> readCsv(const std::string& text, std::string& header)
{
    std::istringstream in(text);
    std::getline(in, header);
    std::vector<std::string> names;
    std::istringstream headerCells(header);
    for (std::string name; std::getline(headerCells, name, ',');) names.push_back(name);
    std::vector<Record> records;
    for (std::string line; std::getline(in, line);) {
        Record record;
        std::istringstream cells(line);
        size_t column = 0;
        for (std::string cell; std::getline(cells, cell, ','); ++column)
            record[column < names.size() ? names[column] : "?"] =
                std::strtod(cell.c_str(), nullptr);
        records.push_back(record);
    }
    return records;
}

// One flat object per line: "name":number pairs.
std::vector<Record> readJsonl(const std::string& text)
{
    std::istringstream in(text);
    std::vector<Record> records;
    for (std::string line; std::getline(in, line);) {
        Record record;
        for (size_t at = line.find('"'); at != std::string::npos; at = line.find('"', at)) {
            const size_t close = line.find('"', at + 1);
            const std::string name = line.substr(at + 1, close - at - 1);
            record[name] = std::strtod(line.c_str() + close + 2, nullptr);
            at = close + 1;
        }
        records.push_back(record);
    }
    return records;
}

// Each record holds the frame number and every documented column, each with the value
// the frame pass reported for that frame; nothing else.
void expectRecords(const std::vector<Record>& records, const std::vector<FrameReport>& reports,
                   int64_t firstFrame, const char* file)
{
    ASSERT_EQ(records.size(), reports.size()) << file;
    for (size_t i = 0; i < records.size(); ++i) {
        const Record& r = records[i];
        EXPECT_EQ(r.size(), std::size(kColumns) + 1) << file << " record " << i;
        EXPECT_EQ(r.count("frame") ? r.at("frame") : -1, static_cast<double>(firstFrame + i))
            << file;
        for (const auto& [name, field] : kColumns) {
            const auto value = r.find(name);
            ASSERT_NE(value, r.end()) << file << ": no column " << name;
            EXPECT_EQ(value->second, field(reports[i]))
                << file << " record " << i << " column " << name;
        }
    }
}

class PlotPicture : public CliTest
{
};

class StatsRun : public CliTest
{
protected:
    void SetUp() override
    {
        CliTest::SetUp();
        makeClip("in.mkv",
                 "testsrc2=size=96x64:rate=25,colorchannelmixer=rr=0.9:gg=0.75:bb=0.5,"
                 "eq=brightness=0.25*sin(2*t):eval=frame",
                 16);
    }
};

}  // namespace

TEST_F(StatsRun, CsvAndJsonlHoldExactlyWhatTheFramePassReported)
{
    const RunOutcome run = telvo({"in.mkv", "-", "-f", "null", "-q", "--stats", "s.csv"});
    ASSERT_EQ(run.exitCode, 0) << run.stderrText;
    const RunOutcome run2 = telvo({"in.mkv", "-", "-f", "null", "-q", "--stats", "s.jsonl"});
    ASSERT_EQ(run2.exitCode, 0) << run2.stderrText;

    const std::vector<FrameReport> expected = directReports(path("in.mkv"), false);
    ASSERT_EQ(expected.size(), 16u);
    std::string header;
    expectRecords(readCsv(readText(path("s.csv")), header), expected, 0, "s.csv");
    EXPECT_EQ(header,
              "frame,lowR,lowG,lowB,highR,highG,highB,medianR,medianG,medianB,"
              "blackR,blackG,blackB,whiteR,whiteG,whiteB,curveR,curveG,curveB");
    expectRecords(readJsonl(readText(path("s.jsonl"))), expected, 0, "s.jsonl");
    // With --scene-cuts each record ends in the restart column (the clip has no cut).
    const RunOutcome cuts =
        telvo({"in.mkv", "-", "-f", "null", "-q", "--scene-cuts", "85", "--stats", "cuts.jsonl"});
    ASSERT_EQ(cuts.exitCode, 0) << cuts.stderrText;
    std::istringstream lines(readText(path("cuts.jsonl")));
    size_t records = 0;
    for (std::string line; std::getline(lines, line); ++records)
        EXPECT_NE(line.find(",\"restart\":0}"), std::string::npos) << line;
    EXPECT_EQ(records, expected.size());
    // The clip's cast must show: the applied curves differ between the channels, and
    // the channels' levels differ from each other.
    EXPECT_NE(expected[8].applied.value[kCurveR], expected[8].applied.value[kCurveB]);
    EXPECT_NE(expected[8].levels.value[kMedianR], expected[8].levels.value[kMedianB]);
}

// --balance writes its own values under the same columns, then one more that says so.
TEST_F(StatsRun, BalanceReportsItsOwnValuesAndSaysSo)
{
    for (const char* file : {"b.csv", "b.jsonl"}) {
        const RunOutcome run =
            telvo({"in.mkv", "-", "-f", "null", "-q", "--balance", "--stats", file});
        ASSERT_EQ(run.exitCode, 0) << run.stderrText;
    }
    const std::vector<FrameReport> expected = directReports(path("in.mkv"), false, true);
    std::string header;
    std::vector<Record> csv = readCsv(readText(path("b.csv")), header);
    EXPECT_EQ(header,
              "frame,lowR,lowG,lowB,highR,highG,highB,medianR,medianG,medianB,"
              "blackR,blackG,blackB,whiteR,whiteG,whiteB,curveR,curveG,curveB,balance");
    std::vector<Record> jsonl = readJsonl(readText(path("b.jsonl")));
    for (std::vector<Record>* records : {&csv, &jsonl}) {
        for (Record& r : *records) {
            EXPECT_EQ(r["balance"], 1.0);
            r.erase("balance");
        }
        expectRecords(*records, expected, 0, records == &csv ? "b.csv" : "b.jsonl");
    }
    const std::vector<FrameReport> byDefault = directReports(path("in.mkv"), false);
    EXPECT_NE(0,
              std::memcmp(&expected[8].applied, &byDefault[8].applied, sizeof expected[8].applied));
}

TEST_F(StatsRun, SegmentAndDisableReportTheirOwnFrames)
{
    const std::vector<FrameReport> whole = directReports(path("in.mkv"), false);
    const RunOutcome seg = telvo(
        {"in.mkv", "-", "-f", "null", "-q", "--start", "6", "--frames", "5", "--stats", "seg.csv"});
    ASSERT_EQ(seg.exitCode, 0) << seg.stderrText;
    std::string header;
    expectRecords(readCsv(readText(path("seg.csv")), header),
                  std::vector<FrameReport>(whole.begin() + 6, whole.begin() + 11), 6, "seg.csv");

    // Disabled: the levels are still measured, the applied values are the identity.
    const RunOutcome off =
        telvo({"in.mkv", "-", "-f", "null", "-q", "--disable", "--stats", "off.csv"});
    ASSERT_EQ(off.exitCode, 0) << off.stderrText;
    const std::vector<FrameReport> disabled = directReports(path("in.mkv"), true);
    ASSERT_EQ(disabled.size(), whole.size());
    const CorrectionParams identity{{0, 0, 0, 255, 255, 255, 1, 1, 1}};
    for (size_t i = 0; i < disabled.size(); ++i) {
        EXPECT_EQ(0, std::memcmp(&disabled[i].levels, &whole[i].levels, sizeof whole[i].levels));
        EXPECT_EQ(0, std::memcmp(&disabled[i].applied, &identity, sizeof identity)) << i;
    }
    expectRecords(readCsv(readText(path("off.csv")), header), disabled, 0, "off.csv");
}

TEST_F(PlotPicture, KnownValuesLandWhereTheyBelong)
{
    // The red levels rise from 20 at frame 0 to 230 at frame 10; green and blue stay at
    // 128. The first panel runs 0..255 upwards inside its grey frame, frames from left
    // to right, so the red line starts near the frame's bottom on the left and ends near
    // its top on the right.
    std::vector<FrameStats> frames;
    for (int i = 0; i <= 10; ++i) {
        const double red = 20 + 21 * i;
        frames.push_back(FrameStats{
            i, {red, 128, 128, red, 128, 128, red, 128, 128}, {{0, 0, 0, 255, 255, 255, 1, 1, 1}}});
    }
    std::string bytes, error;
    ASSERT_TRUE(renderPlot(frames, PlotFormat::Png, bytes, error)) << error;
    std::FILE* file = std::fopen(path("plot.png").c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    const std::vector<Picture> decoded = decodeFile(path("plot.png"));
    ASSERT_EQ(decoded.size(), 1u);
    const Picture& p = decoded[0];
    auto is = [&](int x, int y, uint8_t r, uint8_t g, uint8_t b) {
        const uint8_t* px = &p.bgr[(static_cast<size_t>(y) * p.width + x) * 3];
        return px[2] == r && px[1] == g && px[0] == b;
    };
    auto isFrame = [&](int x, int y) { return is(x, y, 150, 150, 150); };

    // The first panel's frame: found from the picture's top along the middle column.
    const int middle = p.width / 2;
    int top = 0;
    while (top < p.height && !isFrame(middle, top)) ++top;
    int bottom = top + 2;
    while (bottom < p.height && !isFrame(middle, bottom)) ++bottom;
    ASSERT_LT(bottom, p.height) << "no panel frame";
    // Its sides, where the grid's first and last frame lines may cover it, in a row
    // above every series.
    const int row = top + 3;
    auto isEdge = [&](int x) { return isFrame(x, row) || is(x, row, 225, 225, 225); };
    int left = 0, right = p.width - 1;
    while (left < middle && !isEdge(left)) ++left;
    while (right > middle && !isEdge(right)) --right;

    // Mean row of the red line's pixels in one column.
    auto redRow = [&](int x) {
        double sum = 0;
        int n = 0;
        for (int y = top; y <= bottom; ++y)
            if (is(x, y, 214, 39, 40)) sum += y, ++n;
        return n ? sum / n : -1.0;
    };
    auto rowOf = [&](double value) { return bottom - value / 255 * (bottom - top); };
    EXPECT_NEAR(redRow(left + 2), rowOf(20), 3) << "frame 0, value 20";
    EXPECT_NEAR(redRow(right - 2), rowOf(230), 3) << "frame 10, value 230";
}

// On a terminal the progress bar ends on every frame of the run: N/N, also for a run
// that starts later. The run is given a pseudo-terminal as its stderr.
TEST_F(StatsRun, ProgressBarOnATerminalCountsUpToTheLastFrame)
{
    const struct {
        std::vector<const char*> options;
        const char* last;
    } cases[] = {
        {{}, "16/16 frames"},
        {{"--start", "10"}, "6/6 frames"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.last);
        std::vector<const char*> argv = {"telvo", "in.mkv", "-", "-f", "null"};
        argv.insert(argv.end(), c.options.begin(), c.options.end());
        argv.push_back(nullptr);
        int terminal = -1;
        const pid_t pid = forkpty(&terminal, nullptr, nullptr, nullptr);
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            if (chdir(dir_.c_str()) != 0) _exit(99);
            execv(TELVO_BINARY, const_cast<char* const*>(argv.data()));
            _exit(98);
        }
        std::string shown;
        char buffer[4096];
        for (ssize_t got; (got = read(terminal, buffer, sizeof buffer)) > 0;)
            shown.append(buffer, static_cast<size_t>(got));
        close(terminal);
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << shown;
        // The bar's last drawing, after its last carriage return.
        const size_t bar = shown.rfind('\r', shown.rfind("frames  "));
        ASSERT_NE(bar, std::string::npos) << shown;
        const std::string full = "[########################] ";
        EXPECT_EQ(shown.compare(bar + 1, full.size(), full), 0) << shown;
        EXPECT_NE(shown.find(c.last, bar), std::string::npos) << shown;
    }
}

// The third panel draws the three curve factors, each in its channel's colour: with
// red 0.8, green 1.0 and blue 1.3 over the whole run, the lines stand in that order with
// gaps in the ratio 0.2 : 0.3, whatever the levels and points beside them are.
TEST(PlotPanels, ThirdPanelPlotsTheThreeCurveFactors)
{
    std::vector<FrameStats> frames;
    for (int i = 0; i < 5; ++i)
        frames.push_back(FrameStats{i,
                                    {10, 20, 30, 200, 210, 220, 100, 110, 120},
                                    {{12, 22, 32, 240, 230, 220, 0.8, 1.0, 1.3}}});
    std::string svg, error;
    ASSERT_TRUE(renderPlot(frames, PlotFormat::Svg, svg, error)) << error;
    // The series are drawn last, panel by panel: the last three lines are the third's.
    std::vector<std::string> lines;
    for (size_t at = svg.find("<polyline"); at != std::string::npos;
         at = svg.find("<polyline", at + 1))
        lines.push_back(svg.substr(at, svg.find('>', at) - at));
    ASSERT_GE(lines.size(), 3u);
    const char* colours[3] = {"#d62728", "#2ca02c", "#1f77b4"};
    double row[3];
    for (int c = 0; c < 3; ++c) {
        const std::string& line = lines[lines.size() - 3 + c];
        EXPECT_NE(line.find(std::string("stroke=\"") + colours[c]), std::string::npos) << line;
        const size_t comma = line.find(',', line.find("points=\""));
        ASSERT_NE(comma, std::string::npos) << line;
        row[c] = std::atof(line.c_str() + comma + 1);  // the first point's y
    }
    EXPECT_GT(row[0], row[1]);
    EXPECT_GT(row[1], row[2]);
    EXPECT_NEAR((row[0] - row[1]) / (row[1] - row[2]), 0.2 / 0.3, 0.02);
}

TEST_F(StatsRun, PlotIsWrittenAsSvgAndPng)
{
    const RunOutcome run = telvo({"in.mkv", "-", "-f", "null", "-q", "--plot", "p.svg"});
    ASSERT_EQ(run.exitCode, 0) << run.stderrText;
    const std::string svg = readText(path("p.svg"));
    EXPECT_EQ(svg.rfind("<svg", 0), 0u);
    EXPECT_NE(svg.find("</svg>"), std::string::npos);
    EXPECT_NE(svg.find("<polyline"), std::string::npos);

    const RunOutcome png = telvo({"in.mkv", "-", "-f", "null", "-q", "--plot", "p.png"});
    ASSERT_EQ(png.exitCode, 0) << png.stderrText;
    const std::vector<Picture> picture = decodeFile(path("p.png"));
    ASSERT_EQ(picture.size(), 1u);
    EXPECT_GT(picture[0].width, 100);
}
