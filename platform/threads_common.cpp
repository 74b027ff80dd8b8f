// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include <atomic>

#include "platform/threads.h"

namespace
{
std::atomic<ThreadStartFailureHook> g_failureHook{nullptr};
}

void setThreadStartFailureHook(ThreadStartFailureHook hook)
{
    g_failureHook.store(hook);
}

bool threadStartShouldFail(const ThreadSlot& slot)
{
    const ThreadStartFailureHook hook = g_failureHook.load(std::memory_order_relaxed);
    return hook != nullptr && hook(slot);
}
