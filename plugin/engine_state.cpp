// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "plugin/engine_state.h"

#include <cstring>

#include "plugin/filter_state.h"
#include "plugin/setting_binding.h"
#include "plugin/shared_field.h"

// The record's arrays and the engine's are the same shape, so they copy as bytes.
static_assert(sizeof(FilterState::history) == sizeof(CorrectionHistory::history));
static_assert(sizeof(FilterState::frozen) == sizeof(CorrectionHistory::frozen));

FrameSettings loadFrameSettings(const FilterState& state, const SettingValues* linked)
{
    FrameSettings s{};
    for (int i = 0; i < kSettingCount; ++i) {
        const SettingBinding& b = kSettingBindings[i];
        if (b.frame == nullptr) continue;
        s.*b.frame = b.field != nullptr  ? loadShared(state.*b.field)
                     : linked != nullptr ? (*linked)[i]
                                         : kSettings[i].defaultValue;
    }
    // The open dialog shows each frame's own values and the margins' outline.
    const int dialogClosed = loadShared(state.dialogClosed);
    s.averageHistory = dialogClosed;
    s.outlineMargins = !dialogClosed;
    s.threadCount = state.threadCount;
    return s;
}

CorrectionHistory loadCorrectionHistory(const FilterState& state)
{
    CorrectionHistory h;
    std::memcpy(h.history, state.history, sizeof h.history);
    std::memcpy(h.frozen, state.frozen, sizeof h.frozen);
    return h;
}

void storeCorrectionHistory(FilterState& state, const CorrectionHistory& h)
{
    std::memcpy(state.history, h.history, sizeof h.history);
    std::memcpy(state.frozen, h.frozen, sizeof h.frozen);
}
