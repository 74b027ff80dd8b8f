// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// Every YUV layout the OBS module converts, against the same picture in planar 4:4:4:
// the frame is packed here from the layouts' published byte orders, independently of the
// module's readers and writers. The way in must give exactly the 4:4:4 picture's RGB
// (its chroma is the same over each 2 x 2 block, so no layout loses any); the way back
// must land within a code of the picture in the layout's own bytes.
#include <gtest/gtest.h>
#include <obs.h>

#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "engine/cpu_level.h"
#include "obs/yuv_frame.h"
#include "obs/yuv_matrix.h"

namespace
{

constexpr int kWidth = 6, kHeight = 4;

struct Picture {
    std::vector<int> y, u, v;  // codes per pixel, chroma the same over each 2 x 2 block
};

Picture makePicture(int bits)
{
    Picture p;
    const int scale = 1 << (bits - 8);
    for (int row = 0; row < kHeight; ++row)
        for (int x = 0; x < kWidth; ++x) {
            const int block = (row / 2) * 3 + x / 2;
            // Colours inside RGB's gamut, so the way back has nothing to clip.
            p.y.push_back((60 + 20 * row + 12 * x) * scale + (bits > 8 ? x : 0));
            p.u.push_back((118 + 3 * block) * scale + (bits > 8 ? 3 : 0));
            p.v.push_back((138 - 3 * block) * scale + (bits > 8 ? 1 : 0));
        }
    return p;
}

struct Case {
    const char* name;
    video_format format;
    YuvLayout layout;
};

// Planes of one frame in `format`'s byte order.
struct Frame {
    std::vector<uint8_t> plane[3];
    ptrdiff_t pitch[3] = {};
    YuvPlanes planes()
    {
        return {{plane[0].data(), plane[1].data(), plane[2].data()},
                {pitch[0], pitch[1], pitch[2]},
                kWidth,
                kHeight};
    }
};

void put(std::vector<uint8_t>& plane, size_t at, int value, bool word)
{
    if (word) {
        plane[2 * at] = static_cast<uint8_t>(value);
        plane[2 * at + 1] = static_cast<uint8_t>(value >> 8);
    } else {
        plane[at] = static_cast<uint8_t>(value);
    }
}

int get(const std::vector<uint8_t>& plane, size_t at, bool word)
{
    return word ? plane[2 * at] | plane[2 * at + 1] << 8 : plane[at];
}

// The layouts as their FourCCs define them.
Frame pack(video_format format, const Picture& p)
{
    Frame f;
    const auto at = [](int row, int x) { return static_cast<size_t>(row * kWidth + x); };
    const auto sizes = [&](int count, size_t bytes) {
        for (int i = 0; i < count; ++i) f.plane[i].assign(bytes, 0);
    };
    switch (format) {
        case VIDEO_FORMAT_YUY2:
        case VIDEO_FORMAT_UYVY:
        case VIDEO_FORMAT_YVYU: {
            // YUY2: Y0 U Y1 V; UYVY: U Y0 V Y1; YVYU: Y0 V Y1 U.
            sizes(1, kWidth * kHeight * 2);
            f.pitch[0] = kWidth * 2;
            for (int row = 0; row < kHeight; ++row)
                for (int x = 0; x < kWidth; x += 2) {
                    uint8_t* g = &f.plane[0][row * f.pitch[0] + 2 * x];
                    const int y0 = p.y[at(row, x)], y1 = p.y[at(row, x + 1)];
                    const int u = p.u[at(row, x)], v = p.v[at(row, x)];
                    const int order[3][4] = {{y0, u, y1, v}, {u, y0, v, y1}, {y0, v, y1, u}};
                    const int k = format == VIDEO_FORMAT_YUY2   ? 0
                                  : format == VIDEO_FORMAT_UYVY ? 1
                                                                : 2;
                    for (int i = 0; i < 4; ++i) g[i] = static_cast<uint8_t>(order[k][i]);
                }
            return f;
        }
        case VIDEO_FORMAT_NV12:
        case VIDEO_FORMAT_P010: {
            const bool word = format == VIDEO_FORMAT_P010;  // 10 bits in the top of 16
            const int shift = word ? 6 : 0, bytes = word ? 2 : 1;
            f.plane[0].assign(kWidth * kHeight * bytes, 0);
            f.plane[1].assign(kWidth * kHeight / 2 * bytes, 0);
            f.pitch[0] = f.pitch[1] = kWidth * bytes;
            for (int row = 0; row < kHeight; ++row)
                for (int x = 0; x < kWidth; ++x) {
                    put(f.plane[0], at(row, x), p.y[at(row, x)] << shift, word);
                    const size_t c = static_cast<size_t>(row / 2 * kWidth + x / 2 * 2);
                    put(f.plane[1], c, p.u[at(row, x)] << shift, word);
                    put(f.plane[1], c + 1, p.v[at(row, x)] << shift, word);
                }
            return f;
        }
        default: {  // planar: I420, I422, I444, I010 (10 bits in the low bits of 16)
            const bool word = format == VIDEO_FORMAT_I010;
            const int bytes = word ? 2 : 1;
            const int cx = format == VIDEO_FORMAT_I444 ? 1 : 2;
            const int cy = format == VIDEO_FORMAT_I420 || format == VIDEO_FORMAT_I010 ? 2 : 1;
            f.plane[0].assign(kWidth * kHeight * bytes, 0);
            f.pitch[0] = kWidth * bytes;
            for (int i = 1; i < 3; ++i) {
                f.plane[i].assign(kWidth / cx * kHeight / cy * bytes, 0);
                f.pitch[i] = kWidth / cx * bytes;
            }
            for (int row = 0; row < kHeight; ++row)
                for (int x = 0; x < kWidth; ++x) {
                    put(f.plane[0], at(row, x), p.y[at(row, x)], word);
                    const size_t c = static_cast<size_t>(row / cy * (kWidth / cx) + x / cx);
                    put(f.plane[1], c, p.u[at(row, x)], word);
                    put(f.plane[2], c, p.v[at(row, x)], word);
                }
            return f;
        }
    }
}

CodeMatrix matrixFor(video_format format, int bits, video_colorspace space = VIDEO_CS_709,
                     video_range_type range = VIDEO_RANGE_PARTIAL)
{
    float m[16], low[3], high[3];
    video_format_get_parameters_for_format(space, range, format, m, low, high);
    YuvMatrix yuv;
    EXPECT_TRUE(makeYuvMatrix(m, low, high, yuv));
    return scaleYuvMatrix(yuv, bits, bits > 8 ? 16 : 8);
}

class Layouts : public testing::TestWithParam<Case>
{
};

TEST_P(Layouts, InExactlyAsPlanarAndBackWithinACode)
{
    const Case& c = GetParam();
    const int bits = c.layout.bits;
    const Picture picture = makePicture(bits);
    const video_format planarFormat = bits > 8 ? VIDEO_FORMAT_I010 : VIDEO_FORMAT_I444;
    const YuvLayout planarLayout = bits > 8 ? kI010 : kI444;
    const CodeMatrix m = matrixFor(c.format, bits);
    const int bpp = workBytesPerPixel(c.layout);
    YuvScratch scratch;
    scratch.reserve(kWidth);

    Frame reference = pack(planarFormat, picture), frame = pack(c.format, picture);
    std::vector<uint8_t> expected(kWidth * kHeight * bpp), work(expected.size());
    yuvToWork(planarLayout, reference.planes(), m, expected.data(), kWidth * bpp, scratch);
    yuvToWork(c.layout, frame.planes(), m, work.data(), kWidth * bpp, scratch);
    EXPECT_EQ(expected, work);

    Frame back = pack(
        c.format, Picture{std::vector<int>(picture.y.size()), std::vector<int>(picture.u.size()),
                          std::vector<int>(picture.v.size())});
    workToYuv(c.layout, work.data(), kWidth * bpp, m, back.planes(), scratch);
    // Unpacked by comparing the two packings byte for byte, codes apart by at most one
    // (two 10-bit codes: the 16-bit layout's rounding), wherever the layouts put them.
    const Frame original = pack(c.format, picture);
    const bool word = bits > 8;
    const int shift = c.format == VIDEO_FORMAT_P010 ? 6 : 0;
    for (int i = 0; i < 3; ++i)
        for (size_t k = 0; k < original.plane[i].size() / (word ? 2 : 1); ++k) {
            const int a = get(original.plane[i], k, word) >> shift;
            const int b = get(back.plane[i], k, word) >> shift;
            EXPECT_LE(std::abs(a - b), word ? 2 : 1) << "plane " << i << " sample " << k;
        }
}

INSTANTIATE_TEST_SUITE_P(
    Obs, Layouts,
    testing::Values(Case{"NV12", VIDEO_FORMAT_NV12, kNV12}, Case{"I420", VIDEO_FORMAT_I420, kI420},
                    Case{"I422", VIDEO_FORMAT_I422, kI422}, Case{"YUY2", VIDEO_FORMAT_YUY2, kYUY2},
                    Case{"UYVY", VIDEO_FORMAT_UYVY, kUYVY}, Case{"YVYU", VIDEO_FORMAT_YVYU, kYVYU},
                    Case{"P010", VIDEO_FORMAT_P010, kP010}),
    [](const auto& info) { return std::string(info.param.name); });

// Every variant of the row loops the processor offers gives the portable loops' bytes,
// both ways, for every layout: odd widths and heights (a lone last column or chroma row),
// padded pitches, and samples over their whole range, so the clamps are crossed too.
struct Variant {
    const char* name;
    video_format format;
    YuvLayout layout;
};

constexpr Variant kVariants[] = {
    {"NV12", VIDEO_FORMAT_NV12, kNV12}, {"I420", VIDEO_FORMAT_I420, kI420},
    {"I422", VIDEO_FORMAT_I422, kI422}, {"I444", VIDEO_FORMAT_I444, kI444},
    {"YUY2", VIDEO_FORMAT_YUY2, kYUY2}, {"UYVY", VIDEO_FORMAT_UYVY, kUYVY},
    {"YVYU", VIDEO_FORMAT_YVYU, kYVYU}, {"P010", VIDEO_FORMAT_P010, kP010},
    {"I010", VIDEO_FORMAT_I010, kI010}, {"I210", VIDEO_FORMAT_I210, kI210},
};

// Planes of any size, their padding included, filled with noise.
struct NoiseFrame {
    std::vector<uint8_t> plane[3];
    ptrdiff_t pitch[3] = {};
    int width, height;

    NoiseFrame(const YuvLayout& l, int w, int h, std::mt19937& noise) : width(w), height(h)
    {
        const int sample = l.bits > 8 ? 2 : 1, padding = 6;
        const int chromaW = (w + (1 << l.chromaShiftX) - 1) >> l.chromaShiftX;
        const int chromaH = (h + (1 << l.chromaShiftY) - 1) >> l.chromaShiftY;
        const int planes = l.packing == YuvPacking::Planar       ? 3
                           : l.packing == YuvPacking::SemiPlanar ? 2
                                                                 : 1;
        for (int i = 0; i < planes; ++i) {
            const int row = l.packing == YuvPacking::Packed422    ? 4 * ((w + 1) / 2)
                            : i == 0                              ? w * sample
                            : l.packing == YuvPacking::SemiPlanar ? 2 * chromaW * sample
                                                                  : chromaW * sample;
            pitch[i] = row + padding;
            plane[i].resize(static_cast<size_t>(pitch[i]) * (i == 0 ? h : chromaH));
            for (uint8_t& b : plane[i]) b = static_cast<uint8_t>(noise());
        }
    }
    YuvPlanes planes()
    {
        return {{plane[0].data(), plane[1].data(), plane[2].data()},
                {pitch[0], pitch[1], pitch[2]},
                width,
                height};
    }
};

std::vector<CpuLevel> offeredLevels()
{
    std::vector<CpuLevel> levels;
    for (int l = 0; l <= static_cast<int>(detectedCpuLevel()); ++l)
        levels.push_back(static_cast<CpuLevel>(l));
    return levels;
}

struct CpuLevelCap {
    explicit CpuLevelCap(CpuLevel level) { limitCpuLevel(level); }
    ~CpuLevelCap() { limitCpuLevel(CpuLevel::Avx512Vbmi); }
};

TEST(ObsRowVariants, EveryLevelGivesThePortableBytesBothWays)
{
    struct Size {
        int width, height;
    };
    constexpr Size kSizes[] = {{1, 1}, {3, 3}, {49, 5}, {641, 3}, {64, 2}};
    std::mt19937 noise(26);
    for (const Variant& v : kVariants)
        for (const Size size : kSizes)
            for (const bool full : {false, true}) {
                const int w = size.width, h = size.height, bpp = workBytesPerPixel(v.layout);
                const CodeMatrix m =
                    matrixFor(v.format, v.layout.bits, full ? VIDEO_CS_601 : VIDEO_CS_709,
                              full ? VIDEO_RANGE_FULL : VIDEO_RANGE_PARTIAL);
                NoiseFrame frame(v.layout, w, h, noise), portableBack = frame;
                const NoiseFrame blank = frame;
                const ptrdiff_t workPitch = static_cast<ptrdiff_t>(w) * bpp + 8;
                std::vector<uint8_t> work(static_cast<size_t>(workPitch) * h), portableWork;
                for (uint8_t& b : work) b = static_cast<uint8_t>(noise());
                const std::vector<uint8_t> picture = work;
                YuvScratch scratch;
                scratch.reserve(w);
                for (const CpuLevel level : offeredLevels()) {
                    SCOPED_TRACE(std::string(v.name) + " " + std::to_string(w) + "x" +
                                 std::to_string(h) + (full ? " full " : " limited ") +
                                 cpuLevelName(level));
                    const CpuLevelCap cap(level);
                    std::vector<uint8_t> in(work.size(), 0xA5);
                    yuvToWork(v.layout, frame.planes(), m, in.data(), workPitch, scratch);
                    NoiseFrame back = blank;
                    workToYuv(v.layout, picture.data(), workPitch, m, back.planes(), scratch);
                    if (level == CpuLevel::Scalar) {
                        portableWork = in;
                        portableBack = back;
                        continue;
                    }
                    EXPECT_EQ(portableWork, in);
                    for (int i = 0; i < 3; ++i) EXPECT_EQ(portableBack.plane[i], back.plane[i]);
                }
            }
}

}  // namespace
