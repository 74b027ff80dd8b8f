// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// Per-frame statistics: what the frame pass measured and applied, as RunProc reported
// it for each frame (nothing is analysed twice).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/balance_correction.h"
#include "engine/channel_levels.h"
#include "engine/correction_params.h"

struct FrameReport;

struct FrameStats {
    int64_t frame;
    ChannelLevels levels;
    CorrectionParams applied;  // after freeze, averaging and disable
    int restart = 0;           // SceneEvent: 1 restarted at a cut, 2 put back after a flash
    int putBack = 0;           // with 2: the frames put back (1 or 2)
    BalanceEstimate balance{identityCorrection(), 0};  // measured with --balance, for a plan
};

// The 19 column names, in file order.
extern const char* const kStatsColumns[19];
// With --scene-cuts on, one more column after them (off, the files stay as they were).
extern const char* const kStatsRestartColumn;
// With --balance on, one more column at the end, 1 on every frame: the balance correction
// derived the values (off, the files stay as they were).
extern const char* const kStatsBalanceColumn;

// The 18 values of a record in column order (after `frame`).
void statsValues(const FrameStats& s, double out[18]);

class StatsRecorder
{
public:
    void add(int64_t frame, const FrameReport& report);
    const std::vector<FrameStats>& frames() const { return frames_; }

private:
    std::vector<FrameStats> frames_;
};

enum class StatsFormat { Csv, Jsonl, Unknown };
StatsFormat statsFormatOf(const std::string& path);

// Numbers are written in the shortest form that reads back to the same double.
// `restartColumn` appends the restart column, `balanceColumn` then the balance column.
std::string formatStatsCsv(const std::vector<FrameStats>& frames, bool restartColumn = false,
                           bool balanceColumn = false);
std::string formatStatsJsonl(const std::vector<FrameStats>& frames, bool restartColumn = false,
                             bool balanceColumn = false);
