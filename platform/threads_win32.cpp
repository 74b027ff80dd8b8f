// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include <process.h>
#include <windows.h>

#include "platform/threads.h"

bool threadStartShouldFail(const ThreadSlot& slot);

namespace
{
unsigned __stdcall trampoline(void* slotPointer)
{
    const ThreadSlot& slot = *static_cast<const ThreadSlot*>(slotPointer);
    slot.entry(slot.argument);
    _endthreadex(0);
    return 0;
}
}  // namespace

bool startThread(ThreadSlot& slot)
{
    if (threadStartShouldFail(slot)) return false;
    unsigned threadId = 0;
    // As on POSIX, a size asked for is the stack reserved, not merely its first commit.
    const unsigned flags = slot.stackBytes != 0 ? STACK_SIZE_PARAM_IS_A_RESERVATION : 0;
    const uintptr_t handle = _beginthreadex(nullptr, static_cast<unsigned>(slot.stackBytes),
                                            trampoline, &slot, flags, &threadId);
    if (handle == 0) return false;
    slot.handle = handle;
    return true;
}

void waitThread(ThreadSlot& slot)
{
    WaitForSingleObject(reinterpret_cast<HANDLE>(slot.handle), INFINITE);
}

void closeThread(ThreadSlot& slot)
{
    CloseHandle(reinterpret_cast<HANDLE>(slot.handle));
    slot.handle = 0;
}

int processorCount()
{
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwNumberOfProcessors < 1 ? 1 : static_cast<int>(info.dwNumberOfProcessors);
}
