// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The CPU levels a test runs every kernel at, and a scope that holds the engine to one.
#pragma once

#include <vector>

#include "engine/cpu_level.h"

// Every level whose engine kernels differ that this processor runs, scalar first (the AVX2
// level runs the scalar loops in the engine).
inline std::vector<CpuLevel> engineLevelsOnThisCpu()
{
    std::vector<CpuLevel> levels = {CpuLevel::Scalar};
    if (detectedCpuLevel() == CpuLevel::Avx512Vbmi) levels.push_back(CpuLevel::Avx512Vbmi);
    return levels;
}

// Holds every kernel choice at or below `cap` while it lives.
struct CpuLevelCap {
    explicit CpuLevelCap(CpuLevel cap) { limitCpuLevel(cap); }
    ~CpuLevelCap() { limitCpuLevel(CpuLevel::Avx512Vbmi); }
    CpuLevelCap(const CpuLevelCap&) = delete;
    CpuLevelCap& operator=(const CpuLevelCap&) = delete;
};
