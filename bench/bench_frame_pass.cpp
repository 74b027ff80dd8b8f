// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// Frame pass throughput: RunProc against a memcpy of the same frame and against the
// reference pass, and its phases (the analysis count, the correction, the histogram
// graph) against the same memcpy, side by side in one run, with the ratios printed at
// the end. Run it as `telvo_bench`; the ratios, not the absolute times, are what
// compare across runs on a shared machine.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "bench/bench_ratios.h"
#include "engine/analysis_phase.h"
#include "engine/channel_levels.h"
#include "engine/correction_history.h"
#include "engine/correction_phase.h"
#include "engine/cpu_level.h"
#include "engine/deep_remap.h"
#include "engine/frame_pass.h"
#include "engine/overlays.h"
#include "engine/peak_threshold.h"
#include "platform/thread_executor.h"
#include "platform/threads.h"
#include "tests/support/test_support.h"

namespace
{

std::vector<uint32_t> content(const Size& s, bool flat)
{
    if (flat) return std::vector<uint32_t>(static_cast<size_t>(s.width) * s.height, 0x00506070u);
    return naturalPixels(s.width, s.height, 1);
}

void runProc(benchmark::State& st, Size size, bool flat, bool graph)
{
    std::vector<uint32_t> src = content(size, flat), dst(src.size());
    TestFilter f(size.width, size.height);
    f.state().showHistogram = graph;
    const ptrdiff_t pitch = 4 * static_cast<ptrdiff_t>(size.width);
    for (auto _ : st) {
        f.host.run(reinterpret_cast<const uint8_t*>(src.data()), pitch,
                   reinterpret_cast<uint8_t*>(dst.data()), pitch, size.width, size.height);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    st.SetBytesProcessed(st.iterations() * int64_t(src.size()) * 4);
}

// The engine's pass with a scene carry, side by side with one setting changed: the cut
// detector off and on (it reads the counted histograms only), the default correction and
// the balance one (a derivation from the same histograms).
void enginePass(benchmark::State& st, Size size, bool flat, int sensitivity, int balance)
{
    std::vector<uint32_t> src = content(size, flat), dst(src.size());
    const ptrdiff_t pitch = 4 * static_cast<ptrdiff_t>(size.width);
    const ConstPlane in{reinterpret_cast<const uint8_t*>(src.data()), pitch, size.width,
                        size.height};
    const Plane out{reinterpret_cast<uint8_t*>(dst.data()), pitch, size.width, size.height};
    FrameSettings settings = defaultFrameSettings();
    settings.threadCount = processorCount();
    settings.sceneCuts = sensitivity;
    settings.balance = balance;
    CorrectionHistory history = identityHistory();
    LinkedCarry carry{};
    for (auto _ : st) {
        runFramePass(settings, history, {.carry = &carry}, in, out, threadExecutor());
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    st.SetBytesProcessed(st.iterations() * int64_t(src.size()) * 4);
}

// The detector's own work on a frame's counted histograms, which is all that the pass
// adds with it on; steadier on a shared machine than the difference of two whole passes.
void sceneDetector(benchmark::State& st, Size size, bool flat)
{
    const std::vector<uint32_t> src = content(size, flat);
    const ConstPlane in{reinterpret_cast<const uint8_t*>(src.data()),
                        4 * static_cast<ptrdiff_t>(size.width), size.width, size.height};
    ChannelHistograms h;
    countHistograms(in, PixelRegion{0, size.width, 0, size.height}, h);
    CorrectionHistory history = identityHistory();
    LinkedCarry carry{};
    for (auto _ : st) {
        benchmark::DoNotOptimize(advanceSceneCarry(carry.scene, kSceneCutsDefault, h, history));
        benchmark::ClobberMemory();
    }
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

struct Frame {
    std::vector<uint32_t> src, dst;
    ConstPlane in;
    Plane out;
    Frame(Size size, bool flat) : src(content(size, flat)), dst(src.size())
    {
        const ptrdiff_t pitch = 4 * static_cast<ptrdiff_t>(size.width);
        in = ConstPlane{reinterpret_cast<const uint8_t*>(src.data()), pitch, size.width,
                        size.height};
        out = Plane{reinterpret_cast<uint8_t*>(dst.data()), pitch, size.width, size.height};
    }
};

enum class Counter { reference, lanes, joint, workers };

// The analysis count alone: the reference, the two single-thread kernels, and the
// frame pass's count on one worker per processor.
void count(benchmark::State& st, Size size, bool flat, Counter counter)
{
    Frame f(size, flat);
    const PixelRegion whole{0, size.width, 0, size.height};
    static JointCounts scratch;
    ChannelHistograms h;
    for (auto _ : st) {
        switch (counter) {
            case Counter::reference:
                countHistogramsReference(f.in, whole, h);
                break;
            case Counter::lanes:
                countHistograms(f.in, whole, h);
                break;
            case Counter::joint:
                countHistogramsJoint(f.in, whole, scratch, h);
                break;
            case Counter::workers:
                countOnWorkers(f.in, whole, processorCount(), threadExecutor(), h);
                break;
        }
        benchmark::DoNotOptimize(h);
        benchmark::ClobberMemory();
    }
    st.SetBytesProcessed(st.iterations() * int64_t(f.src.size()) * 4);
}

// The correction alone, with the correction the frame itself calls for.
void correct(benchmark::State& st, Size size, bool flat)
{
    Frame f(size, flat);
    ChannelHistograms h;
    countHistograms(f.in, PixelRegion{0, size.width, 0, size.height}, h);
    CorrectionHistory history = identityHistory();
    const CorrectionParams applied = deriveCorrectionParams(history, defaultFrameSettings(),
                                                            levelsFromHistograms(h, peakThreshold));
    RemapTables tables;
    for (auto _ : st) {
        runCorrectionPhase(f.in, f.out, applied, processorCount(), threadExecutor(), tables);
        benchmark::DoNotOptimize(f.dst.data());
        benchmark::ClobberMemory();
    }
    st.SetBytesProcessed(st.iterations() * int64_t(f.src.size()) * 4);
}

// The histogram graph on the frame's own content: with its own count of the output, as
// when the analysis did not cover the whole frame, or drawn from histograms at hand.
void drawGraph(benchmark::State& st, Size size, bool flat, bool recount)
{
    Frame f(size, flat);
    f.dst = f.src;
    ChannelHistograms h;
    countHistograms(f.in, PixelRegion{0, size.width, 0, size.height}, h);
    for (auto _ : st) {
        if (recount)
            drawHistogramGraph(f.out);
        else
            drawHistogramGraph(f.out, h);
        benchmark::ClobberMemory();
    }
    st.SetBytesProcessed(st.iterations() * int64_t(f.src.size()) * 4);
}

// The whole pass called directly, 8-bit against deep frames of the same picture: each
// byte v spelled 257 v plus noise (every 16-bit value possible, the deep kernel's worst
// case: a worker meets most of the 65536 inputs per channel), or the 10-bit value nearest
// it widened to 16 bits (1024 inputs per channel, as a 10-bit RGB source gives).
enum class Depth { eight, deep16, deep10 };

std::vector<uint64_t> deepContent(const std::vector<uint32_t>& pixels, Depth depth)
{
    std::vector<uint64_t> deep(pixels.size());
    uint32_t noise = 12345;
    auto word = [&](uint32_t v) {
        noise = noise * 1664525u + 1013904223u;
        const int w = std::clamp(int(v) * 257 + int(noise >> 24) - 128, 0, 65535);
        const int ten = (w * 1023 + 32767) / 65535;
        return uint64_t(depth == Depth::deep10 ? (ten << 6) | (ten >> 4) : w);
    };
    for (size_t i = 0; i < pixels.size(); ++i) {
        const uint32_t p = pixels[i];
        deep[i] = (word((p >> 16) & 0xFF) << 32) | (word((p >> 8) & 0xFF) << 16) | word(p & 0xFF);
    }
    return deep;
}

// `scalar` caps the kernels at the scalar level for the run: the deep kernel's portable
// loop, side by side with the vector one.
void framePass(benchmark::State& st, Size size, Depth depth, bool scalar)
{
    limitCpuLevel(scalar ? CpuLevel::Scalar : CpuLevel::Avx512Vbmi);
    const std::vector<uint32_t> eight = naturalPixels(size.width, size.height, 1);
    std::vector<uint64_t> deep = deepContent(eight, depth), deepOut(deep.size());
    std::vector<uint32_t> eightOut(eight.size());
    FrameSettings settings = defaultFrameSettings();
    settings.threadCount = processorCount();
    const int bytes = depth == Depth::eight ? 4 : 8;
    const ptrdiff_t pitch = bytes * static_cast<ptrdiff_t>(size.width);
    const PixelFormat format = depth == Depth::eight ? PixelFormat::Bgrx32 : PixelFormat::Bgra64;
    const ConstPlane in{depth == Depth::eight ? reinterpret_cast<const uint8_t*>(eight.data())
                                              : reinterpret_cast<const uint8_t*>(deep.data()),
                        pitch, size.width, size.height, format};
    const Plane out{depth == Depth::eight ? reinterpret_cast<uint8_t*>(eightOut.data())
                                          : reinterpret_cast<uint8_t*>(deepOut.data()),
                    pitch, size.width, size.height, format};
    CorrectionHistory history = identityHistory();
    // As the linked filter runs deep frames: with the shared table it keeps.
    static DeepRemapCache cache;
    cache.holds = false;
    for (auto _ : st) {
        runFramePass(settings, history, {.deepRemapCache = &cache}, in, out, threadExecutor());
        benchmark::ClobberMemory();
    }
    limitCpuLevel(CpuLevel::Avx512Vbmi);
    st.SetBytesProcessed(st.iterations() * int64_t(eight.size()) * bytes);
}

void printRatios(const BestTimeReporter& times)
{
    std::printf("\ndeep frame pass against the 8-bit one (real time)\n");
    for (const Size& s : kSizes) {
        const std::string n = sizeName(s);
        const double eight = times.find("Pass/" + n + "/eight");
        if (eight <= 0) continue;
        auto deep = [&](const char* kind) {
            return BestTimeReporter::ratio(times.find("Pass/" + n + "/" + kind), eight);
        };
        std::printf(
            "%-10s 8-bit %7.2f ms   16-bit (all values) %5.2fx (scalar %5.2fx)   16-bit "
            "(10-bit values) %5.2fx (scalar %5.2fx)\n",
            n.c_str(), eight, deep("deep16"), deep("deep16scalar"), deep("deep10"),
            deep("deep10scalar"));
    }
    std::printf("\nratios (real time)\n");
    for (const Size& s : kSizes) {
        const std::string n = sizeName(s);
        const double copy = times.find("Memcpy/" + n);
        for (const char* kind : {"natural", "flat"}) {
            const std::string at = n + "/" + kind;
            const double run = times.find("RunProc/" + at + "/plain");
            const double ref = times.find("Reference/" + at);
            if (run <= 0) continue;
            std::printf("%-10s %-8s RunProc/Memcpy %6.2fx   Reference/RunProc %7.1fx\n", n.c_str(),
                        kind, BestTimeReporter::ratio(run, copy),
                        BestTimeReporter::ratio(ref, run));
        }
    }
    std::printf("\ncut detector (real time)\n");
    for (const Size& s : kSizes) {
        const std::string n = sizeName(s);
        for (const char* kind : {"natural", "flat"}) {
            const std::string at = n + "/" + kind;
            const double off = times.find("SceneCuts/" + at + "/off");
            const double on = times.find("SceneCuts/" + at + "/on");
            const double own = times.find("SceneDetector/" + at);
            if (off <= 0 || on <= 0) continue;
            std::printf("%-10s %-8s on/off %6.3fx   detector/off %8.5fx\n", n.c_str(), kind,
                        BestTimeReporter::ratio(on, off), BestTimeReporter::ratio(own, off));
        }
    }
    std::printf("\nbalance correction (real time)\n");
    for (const Size& s : kSizes) {
        const std::string n = sizeName(s);
        for (const char* kind : {"natural", "flat"}) {
            const std::string at = n + "/" + kind;
            const double off = times.find("Balance/" + at + "/off");
            const double on = times.find("Balance/" + at + "/on");
            if (off <= 0 || on <= 0) continue;
            std::printf("%-10s %-8s balance/default %6.3fx\n", n.c_str(), kind,
                        BestTimeReporter::ratio(on, off));
        }
    }
    std::printf("\nphases against Memcpy (real time)\n");
    std::printf("%-10s %-8s %8s %8s %8s %8s %8s %8s %8s\n", "", "", "countRef", "lanes", "joint",
                "workers", "correct", "draw", "recount");
    for (const Size& s : kSizes) {
        const std::string n = sizeName(s);
        const double copy = times.find("Memcpy/" + n);
        for (const char* kind : {"natural", "flat"}) {
            const std::string at = n + "/" + kind;
            if (copy <= 0 || times.find("RunProc/" + at + "/plain") <= 0) continue;
            std::printf("%-10s %-8s %7.2fx %7.2fx %7.2fx %7.2fx %7.2fx %7.2fx %7.2fx\n", n.c_str(),
                        kind,
                        BestTimeReporter::ratio(times.find("Count/" + at + "/reference"), copy),
                        BestTimeReporter::ratio(times.find("Count/" + at + "/lanes"), copy),
                        BestTimeReporter::ratio(times.find("Count/" + at + "/joint"), copy),
                        BestTimeReporter::ratio(times.find("Count/" + at + "/workers"), copy),
                        BestTimeReporter::ratio(times.find("Correct/" + at), copy),
                        BestTimeReporter::ratio(times.find("GraphDraw/" + at), copy),
                        BestTimeReporter::ratio(times.find("GraphRecount/" + at), copy));
        }
    }
}

}  // namespace

int main(int argc, char** argv)
{
    for (const Size& s : kSizes) {
        const std::string n = sizeName(s);
        struct PassKind {
            const char* name;
            Depth depth;
            bool scalar;
        };
        const PassKind kinds[] = {{"eight", Depth::eight, false},
                                  {"deep16", Depth::deep16, false},
                                  {"deep16scalar", Depth::deep16, true},
                                  {"deep10", Depth::deep10, false},
                                  {"deep10scalar", Depth::deep10, true}};
        for (const PassKind& k : kinds)
            benchmark::RegisterBenchmark(("Pass/" + n + "/" + k.name).c_str(), framePass, s,
                                         k.depth, k.scalar)
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime();
        for (bool flat : {false, true}) {
            const std::string kind = flat ? "flat" : "natural";
            const std::string at = n + "/" + kind;
            for (bool graph : {false, true})
                benchmark::RegisterBenchmark(
                    ("RunProc/" + at + (graph ? "/graph" : "/plain")).c_str(), runProc, s, flat,
                    graph)
                    ->Unit(benchmark::kMillisecond)
                    ->UseRealTime();
            const std::pair<const char*, Counter> counters[] = {{"reference", Counter::reference},
                                                                {"lanes", Counter::lanes},
                                                                {"joint", Counter::joint},
                                                                {"workers", Counter::workers}};
            for (auto [name, counter] : counters)
                benchmark::RegisterBenchmark(("Count/" + at + "/" + name).c_str(), count, s, flat,
                                             counter)
                    ->Unit(benchmark::kMillisecond)
                    ->UseRealTime();
            for (bool on : {false, true})
                benchmark::RegisterBenchmark(("SceneCuts/" + at + (on ? "/on" : "/off")).c_str(),
                                             enginePass, s, flat, on ? kSceneCutsDefault : 0, 0)
                    ->Unit(benchmark::kMillisecond)
                    ->UseRealTime();
            for (bool on : {false, true})
                benchmark::RegisterBenchmark(("Balance/" + at + (on ? "/on" : "/off")).c_str(),
                                             enginePass, s, flat, 0, on ? 1 : 0)
                    ->Unit(benchmark::kMillisecond)
                    ->UseRealTime();
            benchmark::RegisterBenchmark(("SceneDetector/" + at).c_str(), sceneDetector, s, flat)
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime();
            benchmark::RegisterBenchmark(("Correct/" + at).c_str(), correct, s, flat)
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime();
            for (bool recount : {false, true})
                benchmark::RegisterBenchmark(
                    ((recount ? "GraphRecount/" : "GraphDraw/") + at).c_str(), drawGraph, s, flat,
                    recount)
                    ->Unit(benchmark::kMillisecond)
                    ->UseRealTime();
            benchmark::RegisterBenchmark(("Reference/" + n + "/" + kind).c_str(), reference, s,
                                         flat)
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime()
                ->Iterations(s.width > 2000 ? 1 : 3);
        }
    }
    return runWithRatios(argc, argv, benchmark::kMillisecond, printRatios);
}
