// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The first of two passes in the editor: each frame's measurement kept by its position in
// the clip as the clip plays or renders, in any order, and the plan written, as
// `telvo --analyse` writes it, once every frame of the clip has been measured.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/frame_pass.h"
#include "linked/plan_file.h"
#include "plugin/settings_table.h"

class PlanRecorder
{
public:
    // Starts recording into `path` for a clip of `frames` frames of width x height
    // measured with `settings`, unless that is what is being recorded already; a new
    // path, size, length or setting starts again.
    void start(const std::string& path, int64_t frames, int width, int height,
               const SettingValues& settings);
    const std::string& path() const { return path_; }

    // Keeps what the frame at `position` measured. True when that completed the clip.
    bool record(int64_t position, const FrameReport& report);

    // Plans the corrections (one per scene) and writes the plan; false with `error`.
    bool write(std::string& error);

private:
    std::string path_;
    PassPlan plan_;
    std::vector<bool> seen_;
    int64_t missing_ = 0;
};
