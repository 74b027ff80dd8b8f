// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "dialog/dialog_rules.h"

#include "plugin/filter_state.h"
#include "plugin/setting_binding.h"

namespace
{

// C++20 defines the conversion of an out-of-range value to a signed type as modulo 2^32,
// which is exactly what 32-bit int arithmetic does on our targets.
int32_t wrap32(int64_t value)
{
    return static_cast<int32_t>(value);
}

}  // namespace

int32_t marginMaximum(int32_t extent)
{
    return wrap32(int64_t{extent} - 15);
}

uint32_t packedTrackbarRange(int32_t minimum, int32_t maximum)
{
    return (static_cast<uint32_t>(minimum) & 0xFFFFu) |
           ((static_cast<uint32_t>(maximum) & 0xFFFFu) << 16);
}

MarginYield applyMarginRule(int32_t extent, int32_t position, int32_t opposite)
{
    const int32_t limit = wrap32(int64_t{extent} - opposite - 9);
    if (position < limit) return {false, opposite};
    return {true, wrap32(int64_t{extent} - 10 - position)};
}

void takeBackups(FilterState& state)
{
    for (const SettingBinding& b : kSettingBindings)
        if (b.backup != nullptr) b.backup(state) = loadShared(state.*b.field);
}

void restoreBackups(FilterState& state)
{
    for (const SettingBinding& b : kSettingBindings)
        if (b.backup != nullptr) storeShared(state.*b.field, b.backup(state));
}

int configResult(int64_t dialogResult)
{
    // -1 means the dialog never opened: the user accepted nothing, so it counts as Cancel.
    return dialogResult == 0 || dialogResult == -1 ? 1 : 0;
}
