// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The tone curve: rounding and clamping, the tables against the formula, and every row
// kernel this processor can run against the formula and the reference pass.
#include "engine/remap.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>

#include "engine/correction_params.h"
#include "engine/correction_phase.h"
#include "engine/cpu_level.h"
#include "engine/kernel_table.h"
#include "platform/thread_executor.h"
#include "tests/support/cpu_levels.h"
#include "tests/support/test_support.h"

namespace
{
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Ordinary and extreme curves, then seeded random ones.
std::vector<ChannelCurve> testCurves()
{
    std::vector<ChannelCurve> curves = {
        {0, 255, 1},          {0, 204, 1},      {10, 250, 1.25},   {-63, 192, 0.5},
        {63, 318, 2.144},     {100, 100, 1},    {0, 0, 0.8},       {200, 50, 1},
        {-300, 600, 1},       {300, 900, 0.3},  {10, 250, 0},      {10, 250, -1},
        {10, 250, -2.144034}, {10, 250, 1e300}, {10, 250, kInf},   {10, 250, -kInf},
        {10, 250, kNaN},      {kNaN, 250, 1},   {0, kInf, 1},      {-kInf, 10, 1},
        {10, 250, 2},         {10, 250, 3},     {10, 250, 1e-300}, {0.5, 254.5, 0.999999},
    };
    std::mt19937_64 rng(99);
    std::uniform_real_distribution<double> level(-80, 330), exponent(-3, 4);
    for (int i = 0; i < 2000; ++i)
        curves.push_back(
            {level(rng), level(rng), i % 7 == 0 ? std::round(exponent(rng)) : exponent(rng)});
    return curves;
}

// Runs each job on the calling thread and notes the row kernel its task was given.
class KernelRecorder : public RowExecutor
{
public:
    void run(const WorkerJob* jobs, int count, size_t) override
    {
        for (int i = 0; i < count; ++i) {
            kernels.push_back(static_cast<const WorkerTask*>(jobs[i].argument)->remapRow);
            jobs[i].entry(jobs[i].argument);
        }
    }
    std::vector<RemapRowFunction> kernels;
};

// The kernel a frame's workers are given, when they all got the same one.
RemapRowFunction kernelOfAFrame()
{
    GuardedFrame source(8, 3), destination(8, 3);
    KernelRecorder recorder;
    RemapTables tables;
    runCorrectionPhase(source.constPlane(), destination.plane(), CorrectionParams{}, 3, recorder,
                       tables);
    for (RemapRowFunction kernel : recorder.kernels)
        if (kernel != recorder.kernels.front()) return nullptr;
    return recorder.kernels.empty() ? nullptr : recorder.kernels.front();
}

// Restores the uncapped level however the test ends.
}  // namespace

TEST(Remap, RoundingAndClampingExamples)
{
    // A product with the reciprocal span, not a division: 22.499999999999996 -> 22.
    EXPECT_EQ(remapComponentReference(18, {0, 204, 1}), 22);
    EXPECT_EQ(remapComponentReference(130, {10, 250, 1}), 128);      // 127.5 goes up
    EXPECT_EQ(remapComponentReference(5, {10, 250, 1}), 0);          // -5.3125 clamps
    EXPECT_EQ(remapComponentReference(5, {10, 250, 1.25}), 0);       // NaN
    EXPECT_EQ(remapComponentReference(255, {10, 250, 1}), 255);      // 260.3125 clamps
    EXPECT_EQ(remapComponentReference(255, {10, 250, 1e300}), 255);  // +infinity
    EXPECT_EQ(remapComponentReference(200, {10, 100, 1e6}), 255);
    EXPECT_EQ(remapComponentReference(5, {10, 250, 2}), 0);   // even power of a negative
    EXPECT_EQ(remapComponentReference(0, {10, 20, 2}), 255);  // (-1)^2 * 255
    EXPECT_EQ(channelByteFromReal(kNaN), 0);
    EXPECT_EQ(channelByteFromReal(-kInf), 0);
    EXPECT_EQ(channelByteFromReal(kInf), 255);
    EXPECT_EQ(channelByteFromReal(254.5), 255);
    EXPECT_EQ(channelByteFromReal(-0.5), 0);
    for (int v = 0; v < 256; ++v) EXPECT_EQ(remapComponentReference(v, {0, 255, 1}), v);
}

TEST(Remap, TablesMatchTheFormulaForEveryInput)
{
    const std::vector<ChannelCurve> curves = testCurves();

    for (size_t i = 0; i + 2 < curves.size(); i += 1) {
        const ChannelCurve &r = curves[i], &g = curves[i + 1], &b = curves[i + 2];
        RemapTables t;
        buildRemapTables(r, g, b, t);
        for (int v = 0; v < 256; ++v) {
            const uint32_t p = makePixel(v, 255 - v, (v * 7) & 255);
            const uint32_t expected =
                makePixel(remapComponentReference(v, r), remapComponentReference(255 - v, g),
                          remapComponentReference((v * 7) & 255, b));
            const uint32_t got = remapPixel(t, p | 0xFF000000u);
            if (got != expected) {
                FAIL() << std::hexfloat << "input " << v << " red {" << r.black << ", " << r.white
                       << ", " << r.exponent << "} green {" << g.black << ", " << g.white << ", "
                       << g.exponent << "} blue {" << b.black << ", " << b.white << ", "
                       << b.exponent << "}: table " << std::hex << got << " formula " << expected;
            }
        }
    }
}

TEST(Workers, SevenRowsOnThreeWorkersAreInterleaved)
{
    GuardedFrame source(5, 7), destination(5, 7, 0, false, 0x77);
    fillNatural(source, 3);
    RemapTables identity;
    buildRemapTables({0, 255, 1}, {0, 255, 1}, {0, 255, 1}, identity);
    const int expectedRows[3][3] = {{0, 3, 6}, {1, 4, -1}, {2, 5, -1}};
    for (int worker = 0; worker < 3; ++worker) {
        GuardedFrame out(5, 7, 0, false, 0x77);
        WorkerTask task{};
        task.source = source.constPlane().row0;
        task.destination = out.plane().row0;
        task.frameHeight = 7;
        task.frameWidth = 5;
        task.threadCount = 3;
        task.threadIndex = worker;
        task.sourcePitch = source.constPlane().pitch;
        task.destinationPitch = out.plane().pitch;
        task.tables = &identity;
        task.remapRow = remapRowScalar;
        progres(&task);
        for (int y = 0; y < 7; ++y) {
            const bool mine =
                std::find(std::begin(expectedRows[worker]), std::end(expectedRows[worker]), y) !=
                std::end(expectedRows[worker]);
            for (int x = 0; x < 5; ++x) {
                const uint32_t want = mine ? (source.at(x, y) & 0xFFFFFF) : 0x77777777u;
                EXPECT_EQ(out.at(x, y), want) << "worker " << worker << " row " << y;
            }
        }
        EXPECT_TRUE(out.guardsIntact());
    }
}

TEST(Workers, IdentityCorrectionKeepsChannelsAndClearsTheTopByte)
{
    GuardedFrame source(9, 4), destination(9, 4);
    fillRandom(source, 11);
    source.set(0, 0, 0xFF123456);
    RemapTables tables;
    runCorrectionPhase(source.constPlane(), destination.plane(), identityCorrection(), 3,
                       threadExecutor(), tables);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 9; ++x) EXPECT_EQ(destination.at(x, y), source.at(x, y) & 0xFFFFFF);
    EXPECT_EQ(destination.at(0, 0), 0x123456u);
    EXPECT_TRUE(destination.guardsIntact());
}

// checkasm-style: each kernel straight against the per-pixel formula, over every table
// of the sweep, rows holding every input value of every channel with junk in the top
// byte, widths that leave every possible tail, an output pre-filled with a sentinel and
// exactly as long as the row, so a sanitizer sees a write past its end.
TEST(RemapKernels, EveryVariantMatchesTheFormulaOverManyTables)
{
    const std::vector<ChannelCurve> curves = testCurves();
    std::mt19937 rng(7);
    // The deep row kernel's and the deep joint counter's checks are in deep_colour_test.cpp,
    // the balance grid counter's in balance_test.cpp.
    static_assert(sizeof(KernelTable) == sizeof(RemapRowFunction) + sizeof(RemapDeepRowFunction) +
                                             sizeof(CountDeepJointRowFunction) +
                                             sizeof(CountBalanceGridFunction),
                  "a new kernel in KernelTable gets its check next to this one");
    for (const CpuLevel level : engineLevelsOnThisCpu()) {
        const RemapRowFunction kernel = kernelsFor(level).remapRow;
        for (size_t i = 0; i + 2 < curves.size(); ++i) {
            const ChannelCurve &r = curves[i], &g = curves[i + 1], &b = curves[i + 2];
            RemapTables t;
            buildRemapTables(r, g, b, t);
            const int width = 256 + static_cast<int>(i % 19);
            std::vector<uint32_t> in(width), out(width, 0xDEADBEEFu);
            for (int x = 0; x < width; ++x)
                in[x] = x < 256 ? (rng() & 0xFF000000u) | makePixel(x, (x * 11) & 255, 255 - x)
                                : static_cast<uint32_t>(rng());
            kernel(t, reinterpret_cast<const uint8_t*>(in.data()),
                   reinterpret_cast<uint8_t*>(out.data()), width);
            for (int x = 0; x < width; ++x) {
                const int32_t p = static_cast<int32_t>(in[x]);
                const uint32_t expected = makePixel(remapComponentReference(GetR(p), r),
                                                    remapComponentReference(GetG(p), g),
                                                    remapComponentReference(GetB(p), b));
                if (out[x] != expected) {
                    FAIL() << cpuLevelName(level) << " curve set " << i << " width " << width
                           << " x " << x << std::hex << ": input " << in[x] << " got " << out[x]
                           << " want " << expected;
                }
            }
        }
    }
}

// The workers on every kernel against the single-threaded formula: odd and tiny shapes,
// padded rows whose starts are not 4-aligned, bottom-up buffers, in place, 1 to 3
// workers; nothing outside the pixels may change.
TEST(RemapKernels, EveryVariantThroughTheWorkersMatchesTheReferencePass)
{
    struct Shape {
        int width, height, padding;
        bool negativePitch;
    };
    const Shape shapes[] = {{1, 1, 0, false},    {1, 1, 3, true},      {2, 3, 0, false},
                            {7, 2, 5, false},    {15, 4, 0, true},     {16, 2, 0, false},
                            {17, 5, 64, false},  {33, 3, 1, true},     {63, 2, 0, false},
                            {64, 1, 4, true},    {65, 7, 2, false},    {641, 3, 12, false},
                            {385, 289, 0, true}, {384, 288, 60, false}};
    std::mt19937_64 rng(2024);
    std::uniform_real_distribution<double> level(-40, 300), curve(0.3, 3);
    int round = 0;
    for (const CpuLevel kernelLevel : engineLevelsOnThisCpu()) {
        const CpuLevelCap cap(kernelLevel);
        for (const Shape& s : shapes) {
            for (int workers = 1; workers <= 3; ++workers, ++round) {
                CorrectionParams params;
                for (int c = 0; c < 3; ++c) {
                    params.value[kBlackR + c] = level(rng);
                    params.value[kWhiteR + c] = level(rng);
                    params.value[kCurveR + c] = curve(rng);
                }
                GuardedFrame source(s.width, s.height, s.padding, s.negativePitch);
                GuardedFrame fast(s.width, s.height, s.padding, s.negativePitch, 0x11);
                GuardedFrame reference(s.width, s.height, 0, false, 0x22);
                fillRandom(source, round);
                runCorrectionReference(source.constPlane(), reference.plane(), params);
                const bool inPlace = round % 4 == 0;
                RemapTables tables;
                runCorrectionPhase(source.constPlane(), inPlace ? source.plane() : fast.plane(),
                                   params, workers, threadExecutor(), tables);
                const GuardedFrame& result = inPlace ? source : fast;
                ASSERT_EQ(result.pixels(), reference.pixels())
                    << cpuLevelName(kernelLevel) << " " << s.width << "x" << s.height << " padding "
                    << s.padding << (s.negativePitch ? " bottom-up" : "") << " workers " << workers
                    << (inPlace ? " in place" : "");
                EXPECT_TRUE(result.guardsIntact());
            }
        }
    }
}

// A kernel wider than the processor offers dies of an illegal instruction, so the one a
// frame runs with never exceeds the detected level, and both ways of asking for the
// scalar loop get it. TELVO_CPU is read once per process: a fresh one runs this test
// alone with it set.
TEST(RemapKernels, ChosenKernelStaysWithinTheCpuAndTheCaps)
{
    const char* wanted = std::getenv("TELVO_CPU");
    const bool scalarFromEnvironment = wanted != nullptr && std::string(wanted) == "scalar";
    EXPECT_LE(static_cast<int>(cpuLevel()), static_cast<int>(detectedCpuLevel()));
    EXPECT_EQ(kernelOfAFrame(),
              scalarFromEnvironment ? remapRowScalar : kernelsFor(detectedCpuLevel()).remapRow);
    {
        const CpuLevelCap cap(CpuLevel::Scalar);
        EXPECT_EQ(kernelOfAFrame(), remapRowScalar);
        // The deep kernels too: a vector entry in the scalar row dies on an older CPU,
        // while on this one it computes the same and no comparison notices.
        EXPECT_EQ(kernelsFor(cpuLevel()).remapDeepRow, remapDeepRowScalar);
        EXPECT_EQ(kernelsFor(cpuLevel()).countDeepJointRow, countDeepJointRowScalar);
        EXPECT_EQ(kernelsFor(cpuLevel()).countBalanceGrid, countBalanceGridScalar);
    }
    // The AVX2 row has the balance grid's kernel only: an AVX-512 entry in that row dies on
    // AVX2-only CPUs.
    const KernelTable& avx2 = kernelsFor(CpuLevel::Avx2);
    EXPECT_EQ(avx2.remapRow, remapRowScalar);
    EXPECT_EQ(avx2.remapDeepRow, remapDeepRowScalar);
    EXPECT_EQ(avx2.countDeepJointRow, countDeepJointRowScalar);
    EXPECT_EQ(avx2.countBalanceGrid, countBalanceGridAvx2);
    if (scalarFromEnvironment) return;
    char self[4096];
    const ssize_t size = readlink("/proc/self/exe", self, sizeof self - 1);
    ASSERT_GT(size, 0);
    self[size] = '\0';
    const std::string command =
        std::string("TELVO_CPU=scalar '") + self +
        "' --gtest_filter=RemapKernels.ChosenKernelStaysWithinTheCpuAndTheCaps"
        " > /dev/null";
    EXPECT_EQ(std::system(command.c_str()), 0) << "under TELVO_CPU=scalar";
}
