// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The filter's state after each of the last few positions it rendered, with the settings
// each was rendered with. A frame at position N continues from the state after N - 1
// when it is here (playback, a repeated frame, frames a second rendering thread handed in
// slightly out of turn); only otherwise is the history rebuilt from the frames before.
#pragma once

#include <cstdint>
#include <vector>

#include "linked/linked_filter.h"

class HistoryCache
{
public:
    static constexpr int kSlots = 8;

    HistoryCache();
    void clear();

    // The state after `position`, when it was rendered with `settings`; null otherwise
    // (a changed property makes the stored states stale).
    const LinkedSnapshot* find(int64_t position, const SettingValues& settings) const;

    // Keeps `filter`'s state as the one after `position`, in place of the oldest entry.
    // The slots' storage is reused, so steady playback does not allocate.
    void store(int64_t position, const LinkedFilter& filter);

private:
    struct Entry {
        int64_t position = -1;
        bool used = false;
        LinkedSnapshot state;
    };
    std::vector<Entry> entries_;
    int next_ = 0;
};
