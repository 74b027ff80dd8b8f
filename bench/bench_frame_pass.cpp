// Frame pass throughput: RunProc against a memcpy of the same frame and against the
// reference pass, side by side in one run, with the ratios printed at the end. Run it
// as `telvo_bench`; the ratios, not the absolute times, are what compare across runs
// on a shared machine.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "engine/frame_pass.h"
#include "tests/support/test_support.h"

namespace
{

struct Size {
    int width, height;
};
constexpr Size kSizes[] = {{640, 480}, {1920, 1080}, {3840, 2160}};

std::vector<uint32_t> content(const Size& s, bool flat)
{
    if (flat) return std::vector<uint32_t>(static_cast<size_t>(s.width) * s.height, 0x00506070u);
    return naturalPixels(s.width, s.height, 1);
}

void runProc(benchmark::State& st, Size size, bool flat)
{
    std::vector<uint32_t> src = content(size, flat), dst(src.size());
    TestFilter f(size.width, size.height);
    f.state().showHistogram = 0;
    const ptrdiff_t pitch = 4 * static_cast<ptrdiff_t>(size.width);
    for (auto _ : st) {
        f.host.run(reinterpret_cast<const uint8_t*>(src.data()), pitch,
                   reinterpret_cast<uint8_t*>(dst.data()), pitch, size.width, size.height);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    st.SetBytesProcessed(st.iterations() * int64_t(src.size()) * 4);
}

void reference(benchmark::State& st, Size size, bool flat)
{
    std::vector<uint32_t> src = content(size, flat), dst(src.size());
    TestFilter f(size.width, size.height);
    const ptrdiff_t pitch = 4 * static_cast<ptrdiff_t>(size.width);
    const ConstPlane in{reinterpret_cast<const uint8_t*>(src.data()), pitch, size.width,
                        size.height};
    const Plane out{reinterpret_cast<uint8_t*>(dst.data()), pitch, size.width, size.height};
    for (auto _ : st) {
        runReferencePass(f.state(), in, out);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    st.SetBytesProcessed(st.iterations() * int64_t(src.size()) * 4);
}

void copyFrame(benchmark::State& st, Size size)
{
    std::vector<uint32_t> src = content(size, false), dst(src.size());
    for (auto _ : st) {
        std::memcpy(dst.data(), src.data(), src.size() * 4);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    st.SetBytesProcessed(st.iterations() * int64_t(src.size()) * 4);
}

std::string sizeName(const Size& s)
{
    return std::to_string(s.width) + "x" + std::to_string(s.height);
}

// Collects the mean time per iteration of every run for the ratio table.
class RatioReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& r : runs)
            if (r.run_type == Run::RT_Iteration && r.iterations > 0)
                seconds_[r.benchmark_name()] = r.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }

    void printRatios() const
    {
        std::printf("\nratios (real time)\n");
        for (const Size& s : kSizes) {
            const std::string n = sizeName(s);
            const double copy = find("Memcpy/" + n);
            for (const char* kind : {"natural", "flat"}) {
                const double run = find("RunProc/" + n + "/" + kind);
                const double ref = find("Reference/" + n + "/" + kind);
                if (run <= 0) continue;
                std::printf("%-10s %-8s RunProc/Memcpy %6.2fx   Reference/RunProc %7.1fx\n",
                            n.c_str(), kind, copy > 0 ? run / copy : 0.0,
                            ref > 0 ? ref / run : 0.0);
            }
        }
    }

private:
    double find(const std::string& prefix) const
    {
        for (const auto& [name, t] : seconds_)
            if (name.rfind(prefix, 0) == 0) return t;
        return 0;
    }
    std::map<std::string, double> seconds_;
};

}  // namespace

int main(int argc, char** argv)
{
    for (const Size& s : kSizes) {
        const std::string n = sizeName(s);
        for (bool flat : {false, true}) {
            const std::string kind = flat ? "flat" : "natural";
            benchmark::RegisterBenchmark(("RunProc/" + n + "/" + kind).c_str(), runProc, s, flat)
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime();
            benchmark::RegisterBenchmark(("Reference/" + n + "/" + kind).c_str(), reference, s,
                                         flat)
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime()
                ->Iterations(s.width > 2000 ? 1 : 3);
        }
        benchmark::RegisterBenchmark(("Memcpy/" + n).c_str(), copyFrame, s)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printRatios();
    benchmark::Shutdown();
    return 0;
}
