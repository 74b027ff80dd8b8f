// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include <limits.h>
#include <link.h>
#include <pthread.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <mutex>

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

// Stacks of ended workers, kept for the next frame's. glibc caches its own thread stacks
// too, but drops their pages at every thread's end, so a worker that keeps big tables
// on its stack faulted them in afresh each frame (about 130 page faults per 1080p frame
// for the counting workers). A stack the caller supplies is left alone by the library.
// Each has a guard page below it; the pool is bounded, and past it threads get the
// library's stacks.
class StackPool
{
public:
    ~StackPool()
    {
        for (Stack& s : stacks_)
            if (s.base != nullptr && !s.inUse) munmap(s.base, s.bytes + guardBytes());
    }

    // A stack of at least `bytes` and at most four times that, or null.
    void* acquire(size_t bytes, size_t& granted)
    {
        std::lock_guard lock(mutex_);
        Stack* best = nullptr;
        for (Stack& s : stacks_)
            if (s.base != nullptr && !s.inUse && s.bytes >= bytes && s.bytes / 4 <= bytes &&
                (best == nullptr || s.bytes < best->bytes))
                best = &s;
        if (best == nullptr) {
            for (Stack& s : stacks_)
                if (s.base == nullptr) {
                    const size_t rounded = (bytes + guardBytes() - 1) / guardBytes() * guardBytes();
                    void* base = mmap(nullptr, rounded + guardBytes(), PROT_READ | PROT_WRITE,
                                      MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
                    if (base == MAP_FAILED) return nullptr;
                    if (mprotect(base, guardBytes(), PROT_NONE) != 0) {
                        munmap(base, rounded + guardBytes());
                        return nullptr;
                    }
                    s = Stack{base, rounded, false};
                    best = &s;
                    break;
                }
            if (best == nullptr) return nullptr;
        }
        best->inUse = true;
        granted = best->bytes;
        return static_cast<char*>(best->base) + guardBytes();
    }

    void release(void* stack)
    {
        std::lock_guard lock(mutex_);
        if (Stack* s = find(stack)) s->inUse = false;
    }

private:
    struct Stack {
        void* base;  // the guard page; the stack starts one page above
        size_t bytes;
        bool inUse;
    };

    static size_t guardBytes()
    {
        static const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
        return page;
    }

    Stack* find(void* stack)
    {
        for (Stack& s : stacks_)
            if (s.base != nullptr && static_cast<char*>(s.base) + guardBytes() == stack) return &s;
        return nullptr;
    }

    std::mutex mutex_;
    Stack stacks_[64] = {};
};

StackPool& stackPool()
{
    static StackPool pool;
    return pool;
}

// The stack: `stackBytes` plus the TLS, or the library's default size when none was
// asked for; from the pool where it has one.
int createThread(pthread_t& thread, ThreadSlot& slot)
{
    pthread_attr_t attributes;
    if (pthread_attr_init(&attributes) != 0) return -1;
    size_t bytes = 0;
    int status = 0;
    if (slot.stackBytes == 0) {
        status = pthread_attr_getstacksize(&attributes, &bytes);
    } else {
        const size_t usable =
            std::max<size_t>(slot.stackBytes, static_cast<size_t>(PTHREAD_STACK_MIN));
        bytes = usable + staticTlsBytes();
    }
    size_t granted = 0;
    void* stack = status == 0 ? stackPool().acquire(bytes, granted) : nullptr;
    if (stack != nullptr)
        status = pthread_attr_setstack(&attributes, stack, granted);
    else if (status == 0 && slot.stackBytes != 0)
        status = pthread_attr_setstacksize(&attributes, bytes);
    if (status == 0) status = pthread_create(&thread, &attributes, trampoline, &slot);
    pthread_attr_destroy(&attributes);
    // Kept in the slot, not looked up by thread id after the join: by then the id may
    // already name another instance's new thread.
    if (stack != nullptr && status != 0) stackPool().release(stack);
    slot.stack = status == 0 ? stack : nullptr;
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
    if (slot.stack != nullptr) stackPool().release(slot.stack);
    slot.stack = nullptr;
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
