// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The files written next to the video: --stats and --plot. They follow the same rule as
// the video: written under temporary names, renamed only when the whole run succeeded.
#pragma once

#include <string>
#include <vector>

#include "cli/media/output_clash.h"
#include "cli/media/output_file.h"
#include "cli/report/frame_stats.h"

struct CliOptions;

class SideOutputs
{
public:
    explicit SideOutputs(const CliOptions& options);

    // Usage check before anything runs: known extensions.
    bool check(std::string& error) const;
    // Adds the files this run will write, for the check that no two outputs clash.
    void name(std::vector<NamedOutput>& outputs) const;
    bool write(const std::vector<FrameStats>& frames, std::string& error);
    bool commit(std::string& error);

private:
    const CliOptions& options_;
    OutputFile stats_, plot_;
};

// Writes `bytes` to `file`'s temporary name (created here for `path`).
bool writeWholeFile(OutputFile& file, const std::string& path, const std::string& bytes,
                    std::string& error);
