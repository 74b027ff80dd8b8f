// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The thin thread layer: start a thread on a plain function, wait for it, close it.
// Windows uses _beginthreadex / WaitForSingleObject / CloseHandle; elsewhere POSIX
// threads of the same shape. The slot lives in the caller's storage for the thread's
// whole life, so starting a thread allocates nothing of ours.
#pragma once

#include <cstddef>
#include <cstdint>

struct ThreadSlot {
    void (*entry)(void* argument);
    void* argument;
    size_t stackBytes;  // stack the thread has to run on; 0: the platform's default
    uintptr_t handle;   // native handle; valid only after a successful start
    void* stack;  // the platform's own stack for the thread, if any; given back after the wait
};

// Starts slot.entry(slot.argument) on a new thread. False when the thread could not be
// started; such a slot must be neither waited for nor closed.
bool startThread(ThreadSlot& slot);

// Blocks with no time limit until the thread has ended.
void waitThread(ThreadSlot& slot);

// Releases the handle of an ended thread.
void closeThread(ThreadSlot& slot);

// Number of processors the operating system reports, at least 1.
int processorCount();

// Test hook: while set, startThread consults it and fails the start when it returns
// true, so the fallback for threads that cannot be started can be exercised.
using ThreadStartFailureHook = bool (*)(const ThreadSlot& slot);
void setThreadStartFailureHook(ThreadStartFailureHook hook);
