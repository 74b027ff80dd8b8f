// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The row remap kernels side by side on one thread: every kernel this CPU offers over
// whole frames against a memcpy of the same frame, with the ratios printed at the end.
// Run it as `telvo_bench_remap`; compare ratios, not absolute times, across runs.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "bench/bench_ratios.h"
#include "engine/cpu_level.h"
#include "engine/kernel_table.h"
#include "tests/support/test_support.h"

namespace
{

std::vector<CpuLevel> levelsOnThisCpu()
{
    std::vector<CpuLevel> levels = {CpuLevel::Scalar};
    if (detectedCpuLevel() == CpuLevel::Avx512Vbmi) levels.push_back(CpuLevel::Avx512Vbmi);
    return levels;
}

void remapFrame(benchmark::State& st, Size size, CpuLevel level)
{
    const std::vector<uint32_t> src = naturalPixels(size.width, size.height, 1);
    std::vector<uint32_t> dst(src.size());
    RemapTables tables;
    buildRemapTables({12, 241, 0.8}, {5, 230, 1.1}, {20, 250, 1.3}, tables);
    const RemapRowFunction kernel = kernelsFor(level).remapRow;
    for (auto _ : st) {
        for (int y = 0; y < size.height; ++y) {
            const size_t row = static_cast<size_t>(y) * size.width;
            kernel(tables, reinterpret_cast<const uint8_t*>(src.data() + row),
                   reinterpret_cast<uint8_t*>(dst.data() + row), size.width);
        }
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    st.SetBytesProcessed(st.iterations() * int64_t(src.size()) * 4);
}

void printRatios(const BestTimeReporter& times)
{
    std::printf("\nratios (real time)\n");
    for (const Size& s : kSizes) {
        const std::string n = sizeName(s);
        const double copy = times.find("Memcpy/" + n),
                     scalar = times.find("Remap/" + n + "/scalar");
        for (const CpuLevel level : levelsOnThisCpu()) {
            const double t = times.find("Remap/" + n + "/" + cpuLevelName(level));
            if (t <= 0) continue;
            std::printf("%-10s %-11s scalar/kernel %5.2fx   kernel/memcpy %5.2fx\n", n.c_str(),
                        cpuLevelName(level), scalar / t, copy > 0 ? t / copy : 0);
        }
    }
}

}  // namespace

int main(int argc, char** argv)
{
    for (const Size& s : kSizes) {
        const std::string n = sizeName(s);
        for (const CpuLevel level : levelsOnThisCpu())
            benchmark::RegisterBenchmark(("Remap/" + n + "/" + cpuLevelName(level)).c_str(),
                                         remapFrame, s, level)
                ->Unit(benchmark::kMicrosecond)
                ->UseRealTime();
    }
    return runWithRatios(argc, argv, benchmark::kMicrosecond, printRatios);
}
