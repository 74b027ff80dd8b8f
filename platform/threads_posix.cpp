#include <pthread.h>
#include <unistd.h>

#include "platform/threads.h"

bool threadStartShouldFail(const ThreadSlot& slot);

static_assert(sizeof(pthread_t) <= sizeof(uintptr_t), "pthread_t must fit the handle slot");

namespace
{
void* trampoline(void* slotPointer)
{
    const ThreadSlot& slot = *static_cast<const ThreadSlot*>(slotPointer);
    slot.entry(slot.argument);
    return nullptr;
}
}  // namespace

bool startThread(ThreadSlot& slot)
{
    if (threadStartShouldFail(slot)) return false;
    pthread_t thread;
    if (pthread_create(&thread, nullptr, trampoline, &slot) != 0) return false;
    slot.handle = static_cast<uintptr_t>(thread);
    return true;
}

void waitThread(ThreadSlot& slot)
{
    pthread_join(static_cast<pthread_t>(slot.handle), nullptr);
}

// A joined POSIX thread has nothing left to release.
void closeThread(ThreadSlot& slot)
{
    slot.handle = 0;
}

int processorCount()
{
    const long n = sysconf(_SC_NPROCESSORS_ONLN);
    return n < 1 ? 1 : n > 1024 ? 1024 : static_cast<int>(n);
}
