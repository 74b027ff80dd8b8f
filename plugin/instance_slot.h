// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// A value kept for one instance record on the calling thread: what a linked host hands
// RunProc, and what RunProc hands back, travel this way because the host's record has
// a fixed layout. Held in a zero-initialised thread_local, so no constructor or
// destructor runs per thread; a lookup for another instance finds nothing.
#pragma once

template <typename Value>
struct InstanceSlot {
    const void* instance;  // null: nothing kept
    Value value;

    void keep(const void* owner, const Value& v)
    {
        instance = owner;
        value = v;
    }
    void forget() { instance = nullptr; }
    const Value* find(const void* owner) const
    {
        return owner != nullptr && owner == instance ? &value : nullptr;
    }
};
