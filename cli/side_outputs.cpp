#include "cli/side_outputs.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "cli/options.h"
#include "cli/plot.h"

SideOutputs::SideOutputs(const CliOptions& options) : options_(options) {}

bool SideOutputs::check(std::string& error) const
{
    if (!options_.statsPath.empty()) {
        if (statsFormatOf(options_.statsPath) == StatsFormat::Unknown) {
            error = "--stats: '" + options_.statsPath + "' must end in .csv or .jsonl";
            return false;
        }
        if (sameFile(options_.statsPath, options_.input)) {
            error = "--stats: '" + options_.statsPath + "' is the input";
            return false;
        }
    }
    if (!options_.plotPath.empty()) {
        if (plotFormatOf(options_.plotPath) == PlotFormat::Unknown) {
            error = "--plot: '" + options_.plotPath + "' must end in .png or .svg";
            return false;
        }
        if (sameFile(options_.plotPath, options_.input)) {
            error = "--plot: '" + options_.plotPath + "' is the input";
            return false;
        }
    }
    return true;
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
        const std::string text = statsFormatOf(options_.statsPath) == StatsFormat::Csv
                                     ? formatStatsCsv(frames)
                                     : formatStatsJsonl(frames);
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
