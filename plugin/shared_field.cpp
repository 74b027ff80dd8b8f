// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "plugin/shared_field.h"

#include <atomic>

static_assert(std::atomic_ref<int>::required_alignment <= alignof(int));

int loadShared(const int& field)
{
    // atomic_ref of const is not in C++20; the load does not write.
    return std::atomic_ref<int>(const_cast<int&>(field)).load(std::memory_order_relaxed);
}

void storeShared(int& field, int value)
{
    std::atomic_ref<int>(field).store(value, std::memory_order_relaxed);
}
