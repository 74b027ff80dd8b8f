// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// No heap allocation per frame: the pass keeps its tables, tasks and thread slots in the
// frame call's own storage. Counted through the global allocation functions while
// RunProc runs (the operating system's own bookkeeping for thread creation is not ours
// and does not go through them).
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "tests/support/test_support.h"

namespace
{
std::atomic<bool> g_counting{false};
std::atomic<long> g_allocations{0};

void* countedAllocation(std::size_t size)
{
    if (g_counting.load(std::memory_order_relaxed))
        g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
}  // namespace

void* operator new(std::size_t size)
{
    return countedAllocation(size);
}
void* operator new[](std::size_t size)
{
    return countedAllocation(size);
}
void operator delete(void* p) noexcept
{
    std::free(p);
}
void operator delete[](void* p) noexcept
{
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept
{
    std::free(p);
}

TEST(Allocation, RunProcAllocatesNothing)
{
    TestFilter f(320, 240);
    FilterState& s = f.state();
    s.showHistogram = 1;
    s.border = 1;
    s.dialogClosed = 0;
    s.threadCount = 4;
    GuardedFrame src(320, 240), dst(320, 240);
    fillNatural(src, 1);
    const ConstPlane in = src.constPlane();
    const Plane out = dst.plane();

    g_allocations = 0;
    g_counting = true;
    for (int frame = 0; frame < 5; ++frame)
        f.host.run(in.row0, in.pitch, out.row0, out.pitch, 320, 240, frame);
    g_counting = false;
    EXPECT_EQ(g_allocations.load(), 0);

    // The counter itself works.
    g_counting = true;
    delete new int(3);
    g_counting = false;
    EXPECT_EQ(g_allocations.load(), 1);
}
