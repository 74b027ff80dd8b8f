#include "plugin/settings_text.h"

#include <cstdio>

#include "plugin/filter_state.h"

ScriptSettings loadScriptSettings(const FilterState& state)
{
    return ScriptSettings{loadShared(state.gamma),  loadShared(state.alignment),
                          loadShared(state.border), loadShared(state.top),
                          loadShared(state.left),   loadShared(state.right),
                          loadShared(state.bottom), loadShared(state.freeze)};
}

void storeScriptSettings(FilterState& state, const ScriptSettings& s)
{
    storeShared(state.gamma, s.gamma);
    storeShared(state.alignment, s.alignment);
    storeShared(state.border, s.border);
    storeShared(state.top, s.top);
    storeShared(state.left, s.left);
    storeShared(state.right, s.right);
    storeShared(state.bottom, s.bottom);
    storeShared(state.freeze, s.freeze);
}

int formatSummary(char* buffer, size_t size, const ScriptSettings& s)
{
    return std::snprintf(buffer, size,
                         " (gamma %d, alignment %d, border %d, top %d, left %d, right %d, "
                         "bottom %d, freeze %d)",
                         s.gamma, s.alignment, s.border, s.top, s.left, s.right, s.bottom,
                         s.freeze);
}

int formatScriptLine(char* buffer, size_t size, const ScriptSettings& s)
{
    return std::snprintf(buffer, size, "Config(%d,%d,%d,%d,%d,%d,%d,%d)", s.gamma, s.alignment,
                         s.border, s.top, s.left, s.right, s.bottom, s.freeze);
}
