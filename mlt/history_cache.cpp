// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "mlt/history_cache.h"

HistoryCache::HistoryCache() : entries_(kSlots) {}

void HistoryCache::clear()
{
    for (Entry& e : entries_) e.used = false;
}

const LinkedSnapshot* HistoryCache::find(int64_t position, const SettingValues& settings) const
{
    for (const Entry& e : entries_)
        if (e.used && e.position == position && e.state.settings == settings) return &e.state;
    return nullptr;
}

void HistoryCache::store(int64_t position, const LinkedFilter& filter)
{
    // A position rendered again (a repeat) replaces its own entry.
    Entry* slot = nullptr;
    for (Entry& e : entries_)
        if (e.used && e.position == position) slot = &e;
    if (slot == nullptr) {
        slot = &entries_[static_cast<size_t>(next_)];
        next_ = (next_ + 1) % kSlots;
    }
    filter.takeSnapshot(slot->state);
    slot->position = position;
    slot->used = true;
}
