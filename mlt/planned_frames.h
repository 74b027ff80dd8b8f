// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The second of two passes in the editor: a plan file, as `telvo --analyse` writes it,
// applied by frame position. Each frame gets the plan's correction for its position in
// the clip and depends on no other frame, so seeks and threads need nothing more.
#pragma once

#include <cstdint>
#include <string>

#include "engine/correction_params.h"
#include "linked/plan_file.h"
#include "plugin/settings_table.h"

class PlannedFrames
{
public:
    // Reads the plan at `path` unless it is the one already read; false with `error`
    // (kept, and not read again, until the path changes) when it cannot be read or holds
    // measurements only.
    bool load(const std::string& path, std::string& error);
    const std::string& lastPath() const { return path_; }

    // The plan's correction for `position`, or null for a position the plan does not have.
    const CorrectionParams* at(int64_t position) const;

    // `values` with the settings the plan was made with, as `telvo --plan` takes them:
    // the strengths, and the region pass 1 measured (margins scaled from the plan's
    // picture to one of width x height); no cut detector, since no frame depends on
    // another.
    SettingValues adopt(SettingValues values, int width, int height) const;

private:
    std::string path_;
    std::string error_;
    PassPlan plan_;
};
