// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The CPU levels a test runs every kernel at, and a scope that holds the engine to one.
#pragma once

#include <vector>

#include "engine/cpu_level.h"

// Every level that this processor runs, scalar first (the AVX2 level has the balance grid's
// kernel only, and runs the scalar loops elsewhere).
inline std::vector<CpuLevel> engineLevelsOnThisCpu()
{
    std::vector<CpuLevel> levels = {CpuLevel::Scalar};
    if (detectedCpuLevel() >= CpuLevel::Avx2) levels.push_back(CpuLevel::Avx2);
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
