// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "cli/report/side_outputs.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "cli/command/options.h"
#include "cli/report/plot.h"

SideOutputs::SideOutputs(const CliOptions& options) : options_(options) {}

namespace
{

bool checkKind(const char* option, const std::string& path, bool knownKind, const char* kinds,
               std::string& error)
{
    if (path.empty() || knownKind) return true;
    error = std::string(option) + ": '" + path + "' must end in " + kinds;
    return false;
}

}  // namespace

bool SideOutputs::check(std::string& error) const
{
    return checkKind("--stats", options_.statsPath,
                     statsFormatOf(options_.statsPath) != StatsFormat::Unknown, ".csv or .jsonl",
                     error) &&
           checkKind("--plot", options_.plotPath,
                     plotFormatOf(options_.plotPath) != PlotFormat::Unknown, ".png or .svg", error);
}

void SideOutputs::name(std::vector<NamedOutput>& outputs) const
{
    if (!options_.statsPath.empty()) outputs.push_back({"--stats", options_.statsPath});
    if (!options_.plotPath.empty()) outputs.push_back({"--plot", options_.plotPath});
}

bool writeWholeFile(OutputFile& file, const std::string& path, const std::string& bytes,
                    std::string& error)
{
    if (!file.create(path, false, error)) return false;
    std::FILE* f = std::fopen(file.writePath().c_str(), "wb");
    if (f == nullptr) {
        error = "cannot write '" + path + "': " + std::strerror(errno);
        return false;
    }
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (std::fclose(f) != 0 || !ok) {
        error = "cannot write '" + path + "': " + std::strerror(errno);
        return false;
    }
    return true;
}

bool SideOutputs::write(const std::vector<FrameStats>& frames, std::string& error)
{
    if (!options_.statsPath.empty()) {
        const bool restarts = options_.settings[kSceneCutsSetting] > 0;
        const bool balance = options_.settings[kBalanceSetting] != 0;
        const std::string text = statsFormatOf(options_.statsPath) == StatsFormat::Csv
                                     ? formatStatsCsv(frames, restarts, balance)
                                     : formatStatsJsonl(frames, restarts, balance);
        if (!writeWholeFile(stats_, options_.statsPath, text, error)) return false;
    }
    if (!options_.plotPath.empty()) {
        std::string bytes;
        if (!renderPlot(frames, plotFormatOf(options_.plotPath), bytes, error) ||
            !writeWholeFile(plot_, options_.plotPath, bytes, error))
            return false;
    }
    return true;
}

bool SideOutputs::commit(std::string& error)
{
    return stats_.commit(error) && plot_.commit(error);
}
