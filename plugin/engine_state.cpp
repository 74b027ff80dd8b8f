// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "plugin/engine_state.h"

#include <cstring>

#include "plugin/filter_state.h"
#include "plugin/shared_field.h"

// The record's arrays and the engine's are the same shape, so they copy as bytes.
static_assert(sizeof(FilterState::history) == sizeof(CorrectionHistory::history));
static_assert(sizeof(FilterState::frozen) == sizeof(CorrectionHistory::frozen));

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
    s.sceneCuts = 0;  // the record has no room for it: only linked hosts carry a SceneCarry
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
