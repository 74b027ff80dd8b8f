// The eight script settings and their two text forms: the summary the host shows next
// to the filter's name, and the script line it saves and replays.
#pragma once

#include <cstddef>

struct FilterState;

// In the fixed order the script function, the script line and the summary share.
struct ScriptSettings {
    int gamma;
    int alignment;
    int border;
    int top;
    int left;
    int right;
    int bottom;
    int freeze;
};

constexpr int kScriptSettingCount = 8;

ScriptSettings loadScriptSettings(const FilterState& state);
void storeScriptSettings(FilterState& state, const ScriptSettings& settings);

// Both return the full length the text needs, like snprintf; the buffer always ends up
// terminated when size > 0, cut when the text is longer.
int formatSummary(char* buffer, size_t size, const ScriptSettings& s);
int formatScriptLine(char* buffer, size_t size, const ScriptSettings& s);
