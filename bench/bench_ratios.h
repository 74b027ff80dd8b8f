// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// What every Google Benchmark here shares: the frame sizes, the memcpy every kernel is
// measured against, and a reporter that keeps each benchmark's time for the ratio
// tables printed after the run.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "tests/support/test_support.h"

struct Size {
    int width, height;
};
inline constexpr Size kSizes[] = {{640, 480}, {1920, 1080}, {3840, 2160}};

inline std::string sizeName(const Size& s)
{
    return std::to_string(s.width) + "x" + std::to_string(s.height);
}

// A memcpy of a whole frame of natural content: the yardstick for every ratio.
inline void copyFrame(benchmark::State& st, Size size)
{
    const std::vector<uint32_t> src = naturalPixels(size.width, size.height, 1);
    std::vector<uint32_t> dst(src.size());
    for (auto _ : st) {
        std::memcpy(dst.data(), src.data(), src.size() * 4);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    st.SetBytesProcessed(st.iterations() * int64_t(src.size()) * 4);
}

// Collects the real time per iteration of every run. With --benchmark_repetitions it
// keeps each benchmark's best repetition: on a shared machine the workers of a slower
// one were waiting for a core, and the best is what repeats from run to run.
class BestTimeReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& r : runs) {
            if (r.run_type != Run::RT_Iteration || r.iterations == 0) continue;
            const auto [at, inserted] =
                seconds_.try_emplace(r.benchmark_name(), r.GetAdjustedRealTime());
            if (!inserted) at->second = std::min(at->second, r.GetAdjustedRealTime());
        }
        ConsoleReporter::ReportRuns(runs);
    }

    // The time of the first benchmark whose name starts with `prefix`, or 0.
    double find(const std::string& prefix) const
    {
        for (const auto& [name, t] : seconds_)
            if (name.rfind(prefix, 0) == 0) return t;
        return 0;
    }

    static double ratio(double a, double b) { return a > 0 && b > 0 ? a / b : 0.0; }

private:
    std::map<std::string, double> seconds_;
};

// Adds a memcpy of every size, runs the benchmarks the command line selects and prints
// the caller's ratio tables from their times.
inline int runWithRatios(int argc, char** argv, benchmark::TimeUnit unit,
                         void (*printRatios)(const BestTimeReporter&))
{
    for (const Size& s : kSizes)
        benchmark::RegisterBenchmark(("Memcpy/" + sizeName(s)).c_str(), copyFrame, s)
            ->Unit(unit)
            ->UseRealTime();
    benchmark::Initialize(&argc, argv);
    BestTimeReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    printRatios(reporter);
    benchmark::Shutdown();
    return 0;
}
