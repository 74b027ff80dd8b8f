#include <limits.h>
#include <link.h>
#include <pthread.h>
#include <unistd.h>

#include <algorithm>

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

// glibc carves a thread's static TLS blocks out of the stack it allocates for it, so a
// thread given N bytes has N less its TLS to run on. That is a few bytes normally, but
// close to 800 KiB under ThreadSanitizer, enough to overflow a worker's tables. The TLS
// segments of every object loaded so far are added to the size asked for.
size_t staticTlsBytes()
{
    static const size_t bytes = [] {
        size_t total = 0;
        dl_iterate_phdr(
            [](dl_phdr_info* info, size_t, void* sum) {
                for (int i = 0; i < info->dlpi_phnum; ++i) {
                    const ElfW(Phdr)& header = info->dlpi_phdr[i];
                    if (header.p_type == PT_TLS)
                        *static_cast<size_t*>(sum) += header.p_memsz + header.p_align;
                }
                return 0;
            },
            &total);
        return total;
    }();
    return bytes;
}

// Attributes only when a stack size was asked for; otherwise the library's defaults.
int createThread(pthread_t& thread, ThreadSlot& slot)
{
    if (slot.stackBytes == 0) return pthread_create(&thread, nullptr, trampoline, &slot);
    pthread_attr_t attributes;
    if (pthread_attr_init(&attributes) != 0) return -1;
    const size_t usable = std::max<size_t>(slot.stackBytes, static_cast<size_t>(PTHREAD_STACK_MIN));
    int status = pthread_attr_setstacksize(&attributes, usable + staticTlsBytes());
    if (status == 0) status = pthread_create(&thread, &attributes, trampoline, &slot);
    pthread_attr_destroy(&attributes);
    return status;
}
}  // namespace

bool startThread(ThreadSlot& slot)
{
    if (threadStartShouldFail(slot)) return false;
    pthread_t thread;
    if (createThread(thread, slot) != 0) return false;
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
