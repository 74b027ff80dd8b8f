// --stats and --plot: the values the frame pass reported, readable back exactly.
#include <cstdlib>
#include <map>
#include <sstream>

#include "cli/media/filter_frames.h"
#include "cli/media/media_input.h"
#include "cli/pipeline/filter_session.h"
#include "cli/report/frame_stats.h"
#include "engine/frame_pass.h"
#include "tests/cli/cli_harness.h"

namespace
{

// Per-frame values of a direct run of the filter over `file`.
std::vector<FrameStats> directStats(const std::string& file, bool disable)
{
    MediaInput input;
    std::string error;
    EXPECT_TRUE(input.open(file, error)) << error;
    ToFilterConverter converter(input.decoder()->width, input.decoder()->height);
    FilterSession session;
    SettingValues settings = defaultSettingValues();
    settings[settingIndex("disable")] = disable ? 1 : 0;
    EXPECT_TRUE(session.open(settings, input.decoder()->width, input.decoder()->height, error));
    StatsRecorder recorder;
    FramePtr frame(av_frame_alloc());
    for (int64_t i = 0; input.next(frame.get(), nullptr, error) == MediaInput::Status::Frame; ++i) {
        FramePtr src, dst = converter.pool().get();
        EXPECT_TRUE(converter.convert(frame.get(), src, error));
        FrameReport report;
        EXPECT_TRUE(session.run(src.get(), dst.get(), i, &report));
        recorder.add(i, report);
        av_frame_unref(frame.get());
    }
    return recorder.frames();
}

std::vector<std::vector<double>> rowsOf(const std::vector<FrameStats>& stats)
{
    std::vector<std::vector<double>> rows;
    for (const FrameStats& s : stats) {
        std::vector<double> row(19);
        row[0] = static_cast<double>(s.frame);
        statsValues(s, row.data() + 1);
        rows.push_back(row);
    }
    return rows;
}

std::vector<std::vector<double>> readCsv(const std::string& text, std::string& header)
{
    std::istringstream in(text);
    std::getline(in, header);
    std::vector<std::vector<double>> rows;
    for (std::string line; std::getline(in, line);) {
        std::vector<double> row;
        std::istringstream cells(line);
        for (std::string cell; std::getline(cells, cell, ',');)
            row.push_back(std::strtod(cell.c_str(), nullptr));
        rows.push_back(row);
    }
    return rows;
}

std::vector<std::vector<double>> readJsonl(const std::string& text)
{
    std::istringstream in(text);
    std::vector<std::vector<double>> rows;
    for (std::string line; std::getline(in, line);) {
        std::vector<double> row;
        for (const char* name : kStatsColumns) {
            const std::string key = std::string("\"") + name + "\":";
            const size_t at = line.find(key);
            EXPECT_NE(at, std::string::npos) << name << " missing in " << line;
            row.push_back(at == std::string::npos
                              ? -1
                              : std::strtod(line.c_str() + at + key.size(), nullptr));
        }
        rows.push_back(row);
    }
    return rows;
}

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

    const auto expected = rowsOf(directStats(path("in.mkv"), false));
    ASSERT_EQ(expected.size(), 16u);
    std::string header;
    const auto csv = readCsv(readText(path("s.csv")), header);
    EXPECT_EQ(header,
              "frame,lowR,lowG,lowB,highR,highG,highB,medianR,medianG,medianB,"
              "blackR,blackG,blackB,whiteR,whiteG,whiteB,curveR,curveG,curveB");
    EXPECT_EQ(csv, expected) << "CSV values do not read back to the same doubles";
    EXPECT_EQ(readJsonl(readText(path("s.jsonl"))), expected);
    // The clip's cast must show: the applied values are not the identity.
    EXPECT_NE(expected[8][16], expected[8][18]);
}

TEST_F(StatsRun, SegmentAndDisableReportTheirOwnFrames)
{
    const auto whole = rowsOf(directStats(path("in.mkv"), false));
    const RunOutcome seg = telvo(
        {"in.mkv", "-", "-f", "null", "-q", "--start", "6", "--frames", "5", "--stats", "seg.csv"});
    ASSERT_EQ(seg.exitCode, 0) << seg.stderrText;
    std::string header;
    const auto part = readCsv(readText(path("seg.csv")), header);
    ASSERT_EQ(part.size(), 5u);
    for (size_t i = 0; i < part.size(); ++i)
        EXPECT_EQ(part[i], whole[6 + i]) << "segment row " << i;

    const RunOutcome off =
        telvo({"in.mkv", "-", "-f", "null", "-q", "--disable", "--stats", "off.csv"});
    ASSERT_EQ(off.exitCode, 0) << off.stderrText;
    const auto disabled = readCsv(readText(path("off.csv")), header);
    ASSERT_EQ(disabled.size(), whole.size());
    const double identity[9] = {0, 0, 0, 255, 255, 255, 1, 1, 1};
    for (size_t f = 0; f < disabled.size(); ++f) {
        for (int i = 0; i < 10; ++i)
            EXPECT_EQ(disabled[f][i], whole[f][i]) << "levels are measured even when disabled";
        for (int i = 0; i < 9; ++i) EXPECT_EQ(disabled[f][10 + i], identity[i]);
    }
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
