#include "engine/frame_settings.h"

#include "plugin/filter_state.h"

FrameSettings loadFrameSettings(const FilterState& state)
{
    FrameSettings s;
    s.gamma = loadShared(state.gamma);
    s.alignment = loadShared(state.alignment);
    s.border = loadShared(state.border);
    s.disable = loadShared(state.disable);
    s.dialogClosed = loadShared(state.dialogClosed);
    s.showHistogram = loadShared(state.showHistogram);
    s.freeze = loadShared(state.freeze);
    s.top = loadShared(state.top);
    s.left = loadShared(state.left);
    s.right = loadShared(state.right);
    s.bottom = loadShared(state.bottom);
    s.threadCount = state.threadCount;
    return s;
}
