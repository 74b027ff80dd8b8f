// Per-frame statistics: what the frame pass measured and applied, recorded through the
// engine's frame observer (the pass reports its own values; nothing is analysed twice).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/channel_levels.h"
#include "engine/correction_params.h"

struct FilterState;
struct FrameReport;

struct FrameStats {
    int64_t frame;
    ChannelLevels levels;
    CorrectionParams applied;  // after freeze, averaging and disable
};

// The 19 column names, in file order.
extern const char* const kStatsColumns[19];

// The 18 values of a record in column order (after `frame`).
void statsValues(const FrameStats& s, double out[18]);

class StatsRecorder
{
public:
    StatsRecorder();
    ~StatsRecorder();
    StatsRecorder(const StatsRecorder&) = delete;
    StatsRecorder& operator=(const StatsRecorder&) = delete;

    // The next frame pass reports frame `index`; kept only when `keep` is set.
    void expect(int64_t index, bool keep)
    {
        index_ = index;
        keep_ = keep;
    }
    const std::vector<FrameStats>& frames() const { return frames_; }

private:
    static void observe(void* context, const FilterState&, const FrameReport& r);

    std::vector<FrameStats> frames_;
    int64_t index_ = 0;
    bool keep_ = false;
};

enum class StatsFormat { Csv, Jsonl, Unknown };
StatsFormat statsFormatOf(const std::string& path);

// Numbers are written in the shortest form that reads back to the same double.
std::string formatStatsCsv(const std::vector<FrameStats>& frames);
std::string formatStatsJsonl(const std::vector<FrameStats>& frames);
