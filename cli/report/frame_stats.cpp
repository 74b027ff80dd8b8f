// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "cli/report/frame_stats.h"

#include <charconv>
#include <cmath>

#include "engine/frame_pass.h"

const char* const kStatsColumns[19] = {
    "frame",   "lowR",    "lowG",    "lowB",   "highR",  "highG",  "highB",
    "medianR", "medianG", "medianB", "blackR", "blackG", "blackB", "whiteR",
    "whiteG",  "whiteB",  "curveR",  "curveG", "curveB",
};
const char* const kStatsRestartColumn = "restart";
const char* const kStatsBalanceColumn = "balance";

void statsValues(const FrameStats& s, double out[18])
{
    static_assert(kLevelCount == 9 && kParamCount == 9);
    for (int i = 0; i < 9; ++i) {
        out[i] = s.levels.value[i];       // in low, high, median order
        out[9 + i] = s.applied.value[i];  // in black, white, curve order
    }
}

void StatsRecorder::add(int64_t frame, const FrameReport& report)
{
    frames_.push_back(FrameStats{frame, report.levels, report.applied,
                                 static_cast<int>(report.scene), report.putBack, report.balance});
}

StatsFormat statsFormatOf(const std::string& path)
{
    auto endsWith = [&](const char* suffix) {
        const std::string s = suffix;
        return path.size() > s.size() && path.compare(path.size() - s.size(), s.size(), s) == 0;
    };
    if (endsWith(".csv")) return StatsFormat::Csv;
    if (endsWith(".jsonl")) return StatsFormat::Jsonl;
    return StatsFormat::Unknown;
}

namespace
{

// JSON has no NaN or infinity; the tokens below are what common JSON readers (Python's
// json, for one) read back as those doubles. CSV uses strtod's spellings.
void appendNumber(std::string& out, double v, bool json)
{
    if (std::isnan(v)) {
        out += json ? "NaN" : "nan";
        return;
    }
    if (std::isinf(v)) {
        out += v > 0 ? (json ? "Infinity" : "inf") : (json ? "-Infinity" : "-inf");
        return;
    }
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, v);
    out.append(buffer, result.ptr);
}

}  // namespace

std::string formatStatsCsv(const std::vector<FrameStats>& frames, bool restartColumn,
                           bool balanceColumn)
{
    std::string out;
    for (int i = 0; i < 19; ++i) {
        out += kStatsColumns[i];
        out += i < 18 ? "," : "";
    }
    if (restartColumn) {
        out += ',';
        out += kStatsRestartColumn;
    }
    if (balanceColumn) {
        out += ',';
        out += kStatsBalanceColumn;
    }
    out += '\n';
    double values[18];
    for (const FrameStats& s : frames) {
        out += std::to_string(s.frame);
        statsValues(s, values);
        for (double v : values) {
            out += ',';
            appendNumber(out, v, false);
        }
        if (restartColumn) {
            out += ',';
            out += std::to_string(s.restart);
        }
        if (balanceColumn) out += ",1";
        out += '\n';
    }
    return out;
}

std::string formatStatsJsonl(const std::vector<FrameStats>& frames, bool restartColumn,
                             bool balanceColumn)
{
    std::string out;
    double values[18];
    for (const FrameStats& s : frames) {
        out += "{\"frame\":" + std::to_string(s.frame);
        statsValues(s, values);
        for (int i = 0; i < 18; ++i) {
            out += ",\"";
            out += kStatsColumns[i + 1];
            out += "\":";
            appendNumber(out, values[i], true);
        }
        if (restartColumn) {
            out += ",\"";
            out += kStatsRestartColumn;
            out += "\":";
            out += std::to_string(s.restart);
        }
        if (balanceColumn) {
            out += ",\"";
            out += kStatsBalanceColumn;
            out += "\":1";
        }
        out += "}\n";
    }
    return out;
}
