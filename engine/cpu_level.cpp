// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "engine/cpu_level.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace
{

std::atomic<int> g_cap{static_cast<int>(CpuLevel::Avx512Vbmi)};

#if defined(__x86_64__) || defined(__i386__)
struct CpuidResult {
    uint32_t a, b, c, d;
};

CpuidResult cpuid(uint32_t leaf, uint32_t subleaf)
{
    CpuidResult r;
    __asm__ volatile("cpuid"
                     : "=a"(r.a), "=b"(r.b), "=c"(r.c), "=d"(r.d)
                     : "a"(leaf), "c"(subleaf));
    return r;
}

uint64_t enabledStateBits()
{
    uint32_t low, high;
    // Assembly, not _xgetbv(): the intrinsic needs -mxsave, which the baseline lacks.
    __asm__ volatile("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
    return (uint64_t(high) << 32) | low;
}

CpuLevel detect()
{
    if (cpuid(0, 0).a < 7) return CpuLevel::Scalar;
    const bool osxsave = (cpuid(1, 0).c >> 27) & 1;
    if (!osxsave) return CpuLevel::Scalar;
    // The OS must save SSE and AVX state (bits 1, 2), and for AVX-512 the opmask and
    // both zmm halves (bits 5, 6, 7), or a context switch would corrupt the registers.
    const uint64_t state = enabledStateBits();
    const CpuidResult leaf7 = cpuid(7, 0);
    const bool avx2 = (leaf7.b >> 5) & 1;
    if ((state & 0x06) != 0x06 || !avx2) return CpuLevel::Scalar;
    const bool avx512f = (leaf7.b >> 16) & 1, avx512bw = (leaf7.b >> 30) & 1;
    const bool vbmi = (leaf7.c >> 1) & 1;
    const bool zmm = (state & 0xE6) == 0xE6;
    return zmm && avx512f && avx512bw && vbmi ? CpuLevel::Avx512Vbmi : CpuLevel::Avx2;
}
#else
CpuLevel detect()
{
    return CpuLevel::Scalar;
}
#endif

CpuLevel fromEnvironment()
{
    const char* wanted = std::getenv("TELVO_CPU");
    if (wanted != nullptr && std::strcmp(wanted, "scalar") == 0) return CpuLevel::Scalar;
    if (wanted != nullptr && std::strcmp(wanted, "avx2") == 0) return CpuLevel::Avx2;
    return CpuLevel::Avx512Vbmi;
}

}  // namespace

CpuLevel detectedCpuLevel()
{
    static const CpuLevel level = detect();
    return level;
}

CpuLevel cpuLevel()
{
    static const CpuLevel environmentCap = fromEnvironment();
    const int level =
        std::min({static_cast<int>(detectedCpuLevel()), static_cast<int>(environmentCap),
                  g_cap.load(std::memory_order_relaxed)});
    return static_cast<CpuLevel>(level);
}

void limitCpuLevel(CpuLevel cap)
{
    g_cap.store(static_cast<int>(cap), std::memory_order_relaxed);
}

const char* cpuLevelName(CpuLevel level)
{
    switch (level) {
        case CpuLevel::Scalar:
            return "scalar";
        case CpuLevel::Avx2:
            return "avx2";
        case CpuLevel::Avx512Vbmi:
            return "avx512vbmi";
    }
    return "scalar";
}
