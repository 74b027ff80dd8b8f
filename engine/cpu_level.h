// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// Which instruction-set level the engine's kernels may use, decided at run time so one
// binary runs everywhere: the baseline build stays plain x86-64 and only a kernel
// compiled for a wider level is skipped on a processor (or OS) without it.
//
// TELVO_CPU=scalar in the environment (read once, at the first question) keeps every
// kernel on its scalar loop, TELVO_CPU=avx2 every kernel at or below the AVX2 level;
// limitCpuLevel() does the same from code, for tests and callers comparing the paths.
#pragma once

enum class CpuLevel {
    Scalar,      // plain C++, every processor
    Avx2,        // AVX2, with the OS saving the ymm state
    Avx512Vbmi,  // AVX-512 F, BW and VBMI, with the OS saving the zmm and mask state
};

// What the processor and the OS offer, from cpuid and xgetbv; Scalar off x86.
CpuLevel detectedCpuLevel();

// The level kernels dispatch on: the detected one, capped by TELVO_CPU and by the last
// limitCpuLevel() call. Cheap enough to ask once per frame.
CpuLevel cpuLevel();

// Caps cpuLevel() process-wide until the next call; CpuLevel::Avx512Vbmi lifts the cap.
void limitCpuLevel(CpuLevel cap);

// "scalar", "avx2" or "avx512vbmi", for reports and test names.
const char* cpuLevelName(CpuLevel level);
