// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// Deep frames (16 bits per channel): the row kernels against the per-component formula
// for every CPU level, the curve at exact 8-bit values against the 8-bit curve, and the
// whole frame pass against its reference twin and against the 8-bit pass of the same
// picture.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "engine/correction_params.h"
#include "engine/correction_phase.h"
#include "engine/cpu_level.h"
#include "engine/deep_pixel.h"
#include "engine/deep_remap.h"
#include "engine/frame_pass.h"
#include "engine/histogram.h"
#include "engine/kernel_table.h"
#include "platform/thread_executor.h"
#include "tests/support/cpu_levels.h"
#include "tests/support/test_support.h"

namespace
{
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

std::vector<ChannelCurve> deepTestCurves(int randomCount)
{
    std::vector<ChannelCurve> curves = {
        {0, 255, 1},      {0, 204, 1},     {10, 250, 1.25},
        {-63, 192, 0.5},  {100, 100, 1},   {0, 0, 0.8},
        {200, 50, 1},     {10, 250, 0},    {10, 250, -1},
        {10, 250, 1e300}, {10, 250, kInf}, {10, 250, -kInf},
        {10, 250, kNaN},  {kNaN, 250, 1},  {0, kInf, 1},
        {10, 250, 2},     {10, 20, 2},     {0.5, 254.5, 0.999999},
    };
    std::mt19937_64 rng(19);
    std::uniform_real_distribution<double> level(-80, 330), exponent(-3, 4);
    for (int i = 0; i < randomCount; ++i) curves.push_back({level(rng), level(rng), exponent(rng)});
    return curves;
}

// Field by field: the report has padding.
bool sameReport(const FrameReport& a, const FrameReport& b)
{
    return std::memcmp(&a.levels, &b.levels, sizeof a.levels) == 0 &&
           std::memcmp(&a.applied, &b.applied, sizeof a.applied) == 0 && a.scene == b.scene;
}

// A deep frame in a GuardedFrame twice as wide: one deep pixel is two 32-bit slots.
struct DeepFrame {
    DeepFrame(int width, int height, int padding = 0, bool negativePitch = false,
              uint8_t fill = 0x5A)
        : storage(2 * width, height, padding, negativePitch, fill)
    {
    }
    Plane plane() const
    {
        Plane p = storage.plane();
        p.width /= 2;
        p.format = PixelFormat::Bgra64;
        return p;
    }
    void set(int x, int y, uint64_t p) const { storeDeepPixel(plane().pixel(x, y), p); }
    GuardedFrame storage;
};

// The 8-bit frame spelled in 16 bits: each byte v becomes 257 v + noise, |noise| <= 128,
// so every value stays in v's bin; the A word gets junk.
void spellDeep(const GuardedFrame& eight, const DeepFrame& deep, std::mt19937& rng, int noise)
{
    std::uniform_int_distribution<int> jitter(-noise, noise);
    auto word = [&](int v) { return std::clamp(257 * v + jitter(rng), 0, 65535); };
    for (int y = 0; y < eight.plane().height; ++y) {
        for (int x = 0; x < eight.plane().width; ++x) {
            const uint32_t p = eight.at(x, y);
            deep.set(x, y,
                     makeDeepPixel(word((p >> 16) & 0xFF), word((p >> 8) & 0xFF), word(p & 0xFF)) |
                         (uint64_t(rng() & 0xFFFF) << 48));
        }
    }
}
}  // namespace

// Rows holding every 16-bit value in each channel, with junk in the A word, through each
// kernel and the host-stack fallback, against the reference formula: first the whole row
// on an empty table, then the same table read again in pieces of 13 pixels, so a vector
// kernel meets both unfilled and filled entries and a short tail on every piece.
TEST(DeepRemapKernels, EveryVariantMatchesTheFormulaForEveryValue)
{
    const std::vector<ChannelCurve> curves = deepTestCurves(12);
    std::vector<uint64_t> in(65536), out(65536), direct(65536);
    for (int v = 0; v < 65536; ++v)
        in[v] = (uint64_t(v * 40503u & 0xFFFF) << 48) | makeDeepPixel(v, 65535 - v, v * 7 & 0xFFFF);
    static DeepRemapMemo memo;
    for (const CpuLevel level : engineLevelsOnThisCpu()) {
        const CpuLevelCap cap(level);
        for (size_t i = 0; i + 2 < curves.size(); ++i) {
            const ChannelCurve &r = curves[i], &g = curves[i + 1], &b = curves[i + 2];
            const DeepCurves c = deepCurves(r, g, b);
            clearDeepRemapMemo(memo);
            remapDeepRowDirect(c, reinterpret_cast<const uint8_t*>(in.data()),
                               reinterpret_cast<uint8_t*>(direct.data()), 65536);
            for (const int piece : {65536, 13}) {
                std::fill(out.begin(), out.end(), 0x1111111111111111ull);
                for (int x = 0; x < 65536; x += piece)
                    kernelsFor(level).remapDeepRow(
                        c, memo, reinterpret_cast<const uint8_t*>(in.data() + x),
                        reinterpret_cast<uint8_t*>(out.data() + x), std::min(piece, 65536 - x));
                for (int v = 0; v < 65536; ++v) {
                    const uint64_t p = in[v];
                    const uint64_t want = makeDeepPixel(remapDeepComponentReference(deepR(p), r),
                                                        remapDeepComponentReference(deepG(p), g),
                                                        remapDeepComponentReference(deepB(p), b));
                    if (out[v] != want || direct[v] != want)
                        FAIL() << cpuLevelName(level) << " curve set " << i << " pieces of "
                               << piece << " input " << std::hex << p << " kernel " << out[v]
                               << " direct " << direct[v] << " want " << want;
                }
            }
        }
    }
}

// v = 257 n gives the 8-bit curve's own t and power: the outputs differ only by the
// rounding of 65535 p against 257 round(255 p), at most half an 8-bit step, and the
// 16-bit output's bin is the 8-bit output or its neighbour.
TEST(DeepRemap, ExactEightBitValuesGiveTheEightBitCurveTimes257)
{
    int sameBin = 0, total = 0;
    for (const ChannelCurve& c : deepTestCurves(3000)) {
        for (int n = 0; n < 256; ++n, ++total) {
            const int eight = remapComponentReference(n, c);
            const int deep = remapDeepComponentReference(257 * n, c);
            ASSERT_LE(std::abs(deep - 257 * eight), 128)
                << "n " << n << " curve {" << c.black << ", " << c.white << ", " << c.exponent
                << "}: 8-bit " << eight << " 16-bit " << deep;
            ASSERT_LE(std::abs(binOfDeep(deep) - eight), 1);
            if (eight == 0 || eight == 255) {
                ASSERT_EQ(binOfDeep(deep), eight);
            }
            sameBin += binOfDeep(deep) == eight;
        }
    }
    EXPECT_GT(sameBin, total * 99 / 100);
    for (int v = 0; v < 65536; ++v)
        ASSERT_EQ(binOfDeep(v), static_cast<int>(std::lround(v / 257.0))) << v;
}

// The deep pass on odd shapes, bottom-up and padded buffers, with every overlay, against
// the reference pass (bytes, history) and against the 8-bit pass of the picture the deep
// frame spells (same report, same measured levels and correction values).
TEST(DeepFramePass, MatchesTheReferenceAndMeasuresAsItsEightBitTwin)
{
    struct Case {
        int width, height, padding;
        bool negativePitch;
        int workers, border, graph, noise;
    };
    const Case cases[] = {{1, 1, 0, false, 1, 0, 0, 0},
                          {7, 3, 4, true, 2, 0, 1, 128},
                          {65, 17, 0, false, 3, 1, 0, 40},
                          {385, 289, 12, true, 2, 0, 1, 128},
                          {384, 288, 0, false, 3, 1, 1, 0}};
    std::mt19937 rng(1919);
    for (const CpuLevel level : engineLevelsOnThisCpu()) {
        const CpuLevelCap cap(level);
        for (const Case& k : cases) {
            GuardedFrame eight(k.width, k.height), eightOut(k.width, k.height);
            fillNatural(eight, k.width);
            DeepFrame source(k.width, k.height, k.padding, k.negativePitch);
            DeepFrame fast(k.width, k.height, k.padding, k.negativePitch, 0x11);
            DeepFrame reference(k.width, k.height, 0, false, 0x22);
            spellDeep(eight, source, rng, k.noise);

            FrameSettings s = k.border ? marginSettings(5, 3, 2, 4) : defaultFrameSettings();
            s.threadCount = k.workers;
            s.showHistogram = k.graph;
            CorrectionHistory h8 = identityHistory(), hFast = h8, hRef = h8;
            const FrameReport r8 =
                runFramePass(s, h8, {}, eight.constPlane(), eightOut.plane(), threadExecutor());
            const FrameReport rFast =
                runFramePass(s, hFast, {}, asConst(source.plane()), fast.plane(), threadExecutor());
            const FrameReport rRef =
                runFramePassReference(s, hRef, {}, asConst(source.plane()), reference.plane());

            const std::string where = std::string(cpuLevelName(level)) + " " +
                                      std::to_string(k.width) + "x" + std::to_string(k.height);
            ASSERT_EQ(fast.storage.pixels(), reference.storage.pixels()) << where;
            EXPECT_TRUE(fast.storage.guardsIntact()) << where;
            EXPECT_EQ(std::memcmp(&hFast, &hRef, sizeof hFast), 0) << where;
            EXPECT_TRUE(sameReport(rFast, rRef)) << where;
            EXPECT_TRUE(sameReport(rFast, r8)) << where;
            EXPECT_EQ(std::memcmp(&hFast, &h8, sizeof hFast), 0) << where;
        }
    }
}

// The workers' shared table, kept from frame to frame while the curves stay the same: a
// sequence of frames whose curves change, repeat (disable gives the identity each time)
// and change back, against the reference pass frame by frame.
TEST(DeepFramePass, SharedTableKeptAcrossFramesMatchesTheReference)
{
    static DeepRemapCache cache;
    const FrameLinks links{.deepRemapCache = &cache};
    std::mt19937 rng(77);
    FrameSettings s = defaultFrameSettings();
    s.threadCount = 3;
    CorrectionHistory hFast = identityHistory(), hRef = hFast;
    const int disableAt[] = {0, 1, 1, 0, 0, 1};
    for (int frame = 0; frame < 6; ++frame) {
        GuardedFrame eight(97, 31);
        fillNatural(eight, 40 + frame);
        DeepFrame source(97, 31), fast(97, 31, 0, false, 0x11), reference(97, 31, 0, false, 0x22);
        spellDeep(eight, source, rng, 128);
        s.disable = disableAt[frame];
        runFramePass(s, hFast, links, asConst(source.plane()), fast.plane(), threadExecutor());
        runFramePassReference(s, hRef, {}, asConst(source.plane()), reference.plane());
        ASSERT_EQ(fast.storage.pixels(), reference.storage.pixels()) << "frame " << frame;
        EXPECT_EQ(std::memcmp(&hFast, &hRef, sizeof hFast), 0) << "frame " << frame;
    }
}

// Both deep counters against the reference count, over regions that leave every tail of
// the eight-pixel loop, on random 16-bit values with junk in the A word.
// Every 16-bit value in each channel (the frame holds 65 536 pixels and more, junk in the
// A word), so each bin's edges are met; regions whose widths leave every tail of the
// eight-pixel blocks. The joint counter runs with each level's row kernel.
TEST(DeepHistograms, BothCountersMatchTheReference)
{
    DeepFrame frame(263, 251, 3, true);
    std::mt19937_64 rng(5);
    for (int y = 0; y < 251; ++y)
        for (int x = 0; x < 263; ++x) {
            const uint64_t v = uint64_t(y * 263 + x) & 0xFFFF;
            frame.set(
                x, y,
                (rng() << 48) | makeDeepPixel(int(65535 - v), int(v * 40503 & 0xFFFF), int(v)));
        }
    static JointCounts scratch;
    std::memset(&scratch, 0x5A, sizeof scratch);  // need not be zeroed
    const PixelRegion regions[] = {{0, 263, 0, 251}, {3, 4, 2, 3},     {1, 11, 0, 251},
                                   {5, 24, 4, 80},   {7, 19, 9, 200},  {2, 15, 0, 251},
                                   {0, 6, 0, 251},   {0, 256, 0, 251}, {0, 0, 0, 9}};
    for (const CpuLevel level : engineLevelsOnThisCpu()) {
        for (const PixelRegion& r : regions) {
            ChannelHistograms want, lanes, joint;
            countHistogramsReference(asConst(frame.plane()), r, want);
            countHistogramsDeep(asConst(frame.plane()), r, lanes);
            countHistogramsDeepJoint(asConst(frame.plane()), r, scratch, joint,
                                     kernelsFor(level).countDeepJointRow);
            EXPECT_EQ(std::memcmp(&lanes, &want, sizeof want), 0) << r.x0 << ".." << r.x1;
            EXPECT_EQ(std::memcmp(&joint, &want, sizeof want), 0)
                << cpuLevelName(level) << " " << r.x0 << ".." << r.x1;
        }
    }
}
