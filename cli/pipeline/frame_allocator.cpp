// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "cli/pipeline/frame_allocator.h"

#include <cstdlib>  // defines __GLIBC__ on glibc

#if defined(__GLIBC__)
#include <malloc.h>
#endif

void keepFrameBuffersMapped()
{
#if defined(__GLIBC__)
    // 32 MiB is the largest mmap threshold glibc accepts on 64-bit systems.
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    // The top pad is both how much a heap grows by beyond a request and how much free
    // space trimming leaves at its top.
    mallopt(M_TOP_PAD, 64 << 20);
#endif
}
