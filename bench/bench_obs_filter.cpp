// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The OBS module's cost per frame: the whole asynchronous filter (conversion in, the
// frame pass, conversion back) on frames as OBS hands them over, against a plain copy
// of the same frame (OBS's unfiltered path does no work on the CPU at all: a copy is
// the least any CPU filter costs), and the conversions alone. Median of the
// repetitions; the ratios are printed at the end, with the filter's processor time (all
// its threads), which is what one core costs when other programs share the machine.
//   telvo_bench_obs                    every core (the filter's workers take them all)
//   taskset -c 0 telvo_bench_obs       one core
#include <benchmark/benchmark.h>
#include <obs-module.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "engine/cpu_level.h"
#include "obs/async_filter.h"
#include "obs/yuv_frame.h"
#include "obs/yuv_matrix.h"
#include "tests/support/test_support.h"

namespace
{

struct Size {
    int width, height;
    const char* name;
};
constexpr Size k1080p{1920, 1080, "1920x1080"};
constexpr Size k2160p{3840, 2160, "3840x2160"};

// A frame of natural content with a cast in one of OBS's formats, in one buffer.
struct TestFrame {
    std::vector<uint8_t> bytes, original;
    obs_source_frame frame{};
};

void makeFrame(TestFrame& t, Size size, video_format format)
{
    const int w = size.width, h = size.height;
    std::vector<uint32_t> pixels = naturalPixels(w, h, 1);
    obs_source_frame& f = t.frame;
    f.width = static_cast<uint32_t>(w);
    f.height = static_cast<uint32_t>(h);
    f.format = format;
    f.timestamp = 0;
    video_format_get_parameters_for_format(VIDEO_CS_709, VIDEO_RANGE_PARTIAL, format,
                                           f.color_matrix, f.color_range_min, f.color_range_max);
    if (format == VIDEO_FORMAT_BGRA) {
        t.bytes.resize(static_cast<size_t>(w) * h * 4);
        std::memcpy(t.bytes.data(), pixels.data(), t.bytes.size());
        f.data[0] = t.bytes.data();
        f.linesize[0] = static_cast<uint32_t>(4 * w);
    } else {
        const bool deep = format == VIDEO_FORMAT_P010;
        const size_t sample = deep ? 2 : 1, luma = static_cast<size_t>(w) * h * sample;
        t.bytes.resize(luma + luma / 2);
        f.data[0] = t.bytes.data();
        f.data[1] = t.bytes.data() + luma;
        f.linesize[0] = f.linesize[1] = static_cast<uint32_t>(w * sample);
        // The natural pixels made into the frame's YUV by the module's own converter.
        std::vector<uint8_t> work(static_cast<size_t>(w) * h * (deep ? 8 : 4));
        for (size_t i = 0; i < pixels.size(); ++i)
            for (int c = 0; c < 4; ++c) {
                const uint8_t v = static_cast<uint8_t>(pixels[i] >> (8 * c));
                if (deep) {
                    const uint16_t word = static_cast<uint16_t>(v * 257);
                    std::memcpy(&work[8 * i + 2 * c], &word, 2);
                } else {
                    work[4 * i + c] = v;
                }
            }
        YuvMatrix m;
        makeYuvMatrix(f.color_matrix, f.color_range_min, f.color_range_max, m);
        const YuvLayout layout = deep ? kP010 : kNV12;
        YuvScratch scratch;
        scratch.reserve(w);
        const YuvPlanes planes{
            {f.data[0], f.data[1], nullptr}, {f.linesize[0], f.linesize[1], 0}, w, h};
        workToYuv(layout, work.data(), static_cast<ptrdiff_t>(w) * (deep ? 8 : 4),
                  scaleYuvMatrix(m, layout.bits, deep ? 16 : 8), planes, scratch);
    }
    t.original = t.bytes;
}

void plainCopy(benchmark::State& st, Size size, video_format format)
{
    TestFrame t;
    makeFrame(t, size, format);
    std::vector<uint8_t> copy(t.bytes.size());
    for (auto _ : st) {
        std::memcpy(copy.data(), t.bytes.data(), t.bytes.size());
        benchmark::DoNotOptimize(copy.data());
        benchmark::ClobberMemory();
    }
}

void filterFrames(benchmark::State& st, Size size, video_format format)
{
    TestFrame t;
    makeFrame(t, size, format);
    obs_data_t* settings = obs_data_create();
    AsyncFilter filter(settings, nullptr);
    obs_data_release(settings);
    filter.filter(&t.frame);  // opens the filter for this size and format
    for (auto _ : st) {
        st.PauseTiming();
        std::memcpy(t.bytes.data(), t.original.data(), t.bytes.size());
        t.frame.timestamp += 33333333;
        st.ResumeTiming();
        benchmark::DoNotOptimize(filter.filter(&t.frame));
        benchmark::ClobberMemory();
    }
}

// The two conversions alone, NV12 into the filter's layout and back, at `level` (the
// portable row loops at Scalar, vector kernels above).
void convertOnly(benchmark::State& st, Size size, CpuLevel level)
{
    limitCpuLevel(level);
    TestFrame t;
    makeFrame(t, size, VIDEO_FORMAT_NV12);
    const int w = size.width, h = size.height;
    std::vector<uint8_t> work(static_cast<size_t>(w) * h * 4);
    YuvMatrix m;
    makeYuvMatrix(t.frame.color_matrix, t.frame.color_range_min, t.frame.color_range_max, m);
    const CodeMatrix codes = scaleYuvMatrix(m, 8, 8);
    YuvScratch scratch;
    scratch.reserve(w);
    const YuvPlanes planes{{t.frame.data[0], t.frame.data[1], nullptr},
                           {t.frame.linesize[0], t.frame.linesize[1], 0},
                           w,
                           h};
    for (auto _ : st) {
        yuvToWork(kNV12, planes, codes, work.data(), 4 * w, scratch);
        workToYuv(kNV12, work.data(), 4 * w, codes, planes, scratch);
        benchmark::ClobberMemory();
    }
    limitCpuLevel(CpuLevel::Avx512Vbmi);
}

std::string convertName(CpuLevel level)
{
    return std::string("Convert/NV12/1920x1080/") + cpuLevelName(level);
}

// Every repetition's time, for the medians: real time, and the processor time of the
// whole process (every thread's), which other programs sharing the core do not inflate.
class MedianReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& r : runs)
            if (r.run_type == Run::RT_Iteration && r.iterations > 0) {
                real_[r.run_name.function_name].push_back(r.GetAdjustedRealTime());
                cpu_[r.run_name.function_name].push_back(r.GetAdjustedCPUTime());
            }
        ConsoleReporter::ReportRuns(runs);
    }
    double median(const std::string& name) const { return medianOf(real_, name); }
    double cpuMedian(const std::string& name) const { return medianOf(cpu_, name); }

private:
    using Times = std::map<std::string, std::vector<double>>;
    static double medianOf(const Times& times, const std::string& name)
    {
        const auto at = times.find(name);
        if (at == times.end() || at->second.empty()) return 0.0;
        std::vector<double> t = at->second;
        std::nth_element(t.begin(), t.begin() + t.size() / 2, t.end());
        return t[t.size() / 2];
    }
    Times real_, cpu_;
};

struct Case {
    const char* format;
    video_format obs;
    Size size;
};
constexpr Case kCases[] = {
    {"NV12", VIDEO_FORMAT_NV12, k1080p},
    {"NV12", VIDEO_FORMAT_NV12, k2160p},
    {"BGRA", VIDEO_FORMAT_BGRA, k1080p},
    {"P010", VIDEO_FORMAT_P010, k1080p},
};

std::string caseName(const char* what, const Case& c)
{
    return std::string(what) + "/" + c.format + "/" + c.size.name;
}

// The levels with conversions of their own that this processor offers.
int lastConvertLevel()
{
    return static_cast<int>(detectedCpuLevel());
}

}  // namespace

int main(int argc, char** argv)
{
    for (const Case& c : kCases) {
        benchmark::RegisterBenchmark(caseName("Copy", c).c_str(), plainCopy, c.size, c.obs)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark(caseName("Telvo", c).c_str(), filterFrames, c.size, c.obs)
            ->Unit(benchmark::kMillisecond)
            ->MeasureProcessCPUTime()
            ->UseRealTime();
    }
    for (int level = 0; level <= lastConvertLevel(); ++level)
        benchmark::RegisterBenchmark(convertName(CpuLevel(level)).c_str(), convertOnly, k1080p,
                                     CpuLevel(level))
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    std::vector<char*> args(argv, argv + argc);
    std::string repetitions = "--benchmark_repetitions=9";
    if (std::none_of(argv + 1, argv + argc, [](const char* a) {
            return std::strncmp(a, "--benchmark_repetitions", 23) == 0;
        }))
        args.push_back(repetitions.data());
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\nmedian ms per frame     telvo  telvo cpu    copy   telvo/copy\n");
    for (const Case& c : kCases) {
        const double run = reporter.median(caseName("Telvo", c));
        const double cpu = reporter.cpuMedian(caseName("Telvo", c));
        const double copy = reporter.median(caseName("Copy", c));
        std::printf("%-4s %-10s      %7.2f %10.2f %7.3f %9.0fx\n", c.format, c.size.name, run, cpu,
                    copy, copy > 0 ? run / copy : 0.0);
    }
    const double portable = reporter.median(convertName(CpuLevel::Scalar));
    for (int level = 0; level <= lastConvertLevel(); ++level) {
        const double t = reporter.median(convertName(CpuLevel(level)));
        std::printf("NV12 1920x1080 conversions in and out alone, %-10s %5.2f ms  %.2fx portable\n",
                    cpuLevelName(CpuLevel(level)), t, t > 0 ? portable / t : 0.0);
    }
    benchmark::Shutdown();
    return 0;
}
