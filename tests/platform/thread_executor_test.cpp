// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The platform's executor: every job runs exactly once, on a thread of its own with the
// stack it asked for, or on the calling thread (through its entry for that, if any) when
// its thread cannot be started.
#include "platform/thread_executor.h"

#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/resource.h>

#include "platform/threads.h"

namespace
{

struct Seen {
    int runs = 0;
    int callerRuns = 0;
    pthread_t thread{};
    size_t stackBytes = 0;
};

void record(void* argument)
{
    Seen& seen = *static_cast<Seen*>(argument);
    ++seen.runs;
    seen.thread = pthread_self();
    pthread_attr_t attributes;
    if (pthread_getattr_np(seen.thread, &attributes) == 0) {
        pthread_attr_getstacksize(&attributes, &seen.stackBytes);
        pthread_attr_destroy(&attributes);
    }
}

void recordOnCaller(void* argument)
{
    ++static_cast<Seen*>(argument)->callerRuns;
    record(argument);
}

}  // namespace

TEST(ThreadExecutor, RunsEveryJobOnceWithTheStackItAskedFor)
{
    constexpr size_t kStack = 512 * 1024;  // well below the libraries' default of 8 MiB
    const ThreadStartFailureHook everyOtherFails = [](const ThreadSlot&) {
        static int starts = 0;
        return starts++ % 2 == 1;
    };
    for (ThreadStartFailureHook hook : {ThreadStartFailureHook{nullptr}, everyOtherFails}) {
        Seen seen[5];
        WorkerJob jobs[5];
        // Jobs 3 and 4 name an entry of their own for the calling thread.
        for (int i = 0; i < 5; ++i)
            jobs[i] = WorkerJob{record, &seen[i], i < 3 ? nullptr : recordOnCaller};
        setThreadStartFailureHook(hook);
        threadExecutor().run(jobs, 5, kStack);
        setThreadStartFailureHook(nullptr);
        for (int i = 0; i < 5; ++i) {
            SCOPED_TRACE(testing::Message() << "job " << i << (hook ? " with failing starts" : ""));
            EXPECT_EQ(seen[i].runs, 1);
            const bool inline_ = pthread_equal(seen[i].thread, pthread_self()) != 0;
            EXPECT_EQ(inline_, hook != nullptr && i % 2 == 1);
            EXPECT_EQ(seen[i].callerRuns, inline_ && i >= 3 ? 1 : 0);
            if (!inline_) {
                // glibc hands out a cached stack of up to four times the size asked for
                // (the frame pass's counting workers leave 1 MiB ones behind).
                EXPECT_GE(seen[i].stackBytes, kStack);
                EXPECT_LE(seen[i].stackBytes, 4 * kStack);
            }
        }
    }
}

namespace
{

// Fills 256 KiB of the worker's stack, as the counting workers' tables do.
void touchStack(void*)
{
    volatile char tables[256 * 1024];
    for (size_t i = 0; i < sizeof tables; i += 512) tables[i] = static_cast<char>(i);
}

long minorFaults()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

}  // namespace

// The workers of one frame leave their stacks to the next frame's with the pages still
// in place: without that every frame faults the workers' tables in again (128 pages for
// these two workers).
TEST(ThreadExecutor, WorkerStacksStayMappedFromFrameToFrame)
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizers map and fault their own shadow of every stack";
#endif
    WorkerJob jobs[2] = {{touchStack, nullptr, nullptr}, {touchStack, nullptr, nullptr}};
    threadExecutor().run(jobs, 2, 512 * 1024);
    const long before = minorFaults();
    for (int frame = 0; frame < 4; ++frame) threadExecutor().run(jobs, 2, 512 * 1024);
    EXPECT_LT(minorFaults() - before, 64);
}
