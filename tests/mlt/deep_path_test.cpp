// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The MLT filter's pictures, driven through MLT's own frame calls: yuv422p16 frames go
// through the 16-bit path and keep a 10-bit source's levels, and YUV is read with the
// matrix the frame names. (melt on Debian 12 cannot carry 10 bits through yuv422p16 at
// all, so these frames are made here rather than decoded.)
#include <framework/mlt.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <set>
#include <vector>

#include "mlt/pixels.h"
#include "mlt/telvo_filter.h"

namespace
{

constexpr int kWidth = 256, kHeight = 8;

// A yuv422p16 frame whose luma runs through `luma(x)` (10-bit codes, stored in the top
// bits as 16-bit video stores them), gray or with a blue cast.
template <class Luma>
std::vector<uint16_t> rampFrame(Luma luma, int cb = 512)
{
    std::vector<uint16_t> words(static_cast<size_t>(kWidth) * kHeight * 2);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) words[static_cast<size_t>(y) * kWidth + x] = luma(x) << 6;
    std::fill(words.begin() + kWidth * kHeight, words.end(), uint16_t{512 << 6});
    std::fill(words.begin() + kWidth * kHeight, words.begin() + kWidth * kHeight * 3 / 2,
              static_cast<uint16_t>(cb << 6));
    return words;
}

// The frame through a telvo filter with the given strengths, as MLT hands it on.
std::vector<uint16_t> filtered(const std::vector<uint16_t>& input, bool fullRange, int strength)
{
    mlt_filter filter = filter_telvo_init(nullptr, mlt_service_filter_type, "telvo", nullptr);
    mlt_properties_set_int(MLT_FILTER_PROPERTIES(filter), "gamma", strength);
    mlt_properties_set_int(MLT_FILTER_PROPERTIES(filter), "alignment", strength);
    mlt_frame frame = mlt_frame_init(nullptr);
    const int bytes = static_cast<int>(input.size() * 2);
    auto* image = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(bytes)));
    std::memcpy(image, input.data(), static_cast<size_t>(bytes));
    mlt_frame_set_image(frame, image, bytes, std::free);
    mlt_properties p = MLT_FRAME_PROPERTIES(frame);
    mlt_properties_set_int(p, "format", mlt_image_yuv422p16);
    mlt_properties_set_int(p, "width", kWidth);
    mlt_properties_set_int(p, "height", kHeight);
    mlt_properties_set_int(p, "colorspace", 709);
    mlt_properties_set_int(p, "full_range", fullRange ? 1 : 0);
    mlt_filter_process(filter, frame);
    mlt_image_format format = mlt_image_yuv422p16;
    int width = kWidth, height = kHeight;
    uint8_t* out = nullptr;
    std::vector<uint16_t> result;
    if (mlt_frame_get_image(frame, &out, &format, &width, &height, 1) == 0 &&
        format == mlt_image_yuv422p16 && width == kWidth && height == kHeight) {
        result.resize(input.size());
        std::memcpy(result.data(), out, static_cast<size_t>(bytes));
    }
    mlt_frame_close(frame);
    mlt_filter_close(filter);
    return result;
}

// Strengths 0 correct nothing (MLT's own disable property would skip the filter).
TEST(MltDeepPath, TheIdentityKeepsEveryTenBitLevel)
{
    // Limited range runs 64..940 in 10 bits, full range 0..1023.
    for (bool full : {false, true}) {
        SCOPED_TRACE(full ? "full range" : "limited range");
        const auto input = rampFrame([&](int x) { return full ? x * 4 + x % 4 : 64 + x * 3; });
        EXPECT_EQ(filtered(input, full, 0), input);
    }
}

TEST(MltDeepPath, ACorrectedRampKeepsItsTenBitSteps)
{
    // 256 ten-bit levels inside 64 eight-bit ones, with a cast the filter takes out: an
    // 8-bit path could give back at most 64 levels.
    const auto input = rampFrame([](int x) { return 200 + x; }, 600);
    const auto output = filtered(input, false, 15);
    ASSERT_EQ(output.size(), input.size());
    EXPECT_NE(output, input);
    const std::set<uint16_t> levels(output.begin(), output.begin() + kWidth);
    EXPECT_GT(levels.size(), 200u);
}

// Saturated red as each matrix codes it in 8-bit limited range reads back as red only
// with that matrix.
TEST(MltPixels, YuvIsReadWithTheFramesMatrix)
{
    struct Case {
        int colorspace;
        uint8_t y, u, v;
    };
    for (const Case c : {Case{601, 81, 90, 240}, Case{709, 63, 102, 240}}) {
        SCOPED_TRACE(c.colorspace);
        uint8_t packed[4] = {c.y, c.u, c.y, c.v};
        uint16_t work[8] = {};
        toWork(MltPicture{PictureKind::yuv422, 2, 1, {packed}, {4}},
               yuvMatrixFor(c.colorspace, false), reinterpret_cast<uint8_t*>(work));
        EXPECT_NEAR(work[2], 65535, 65535 * 0.01);  // red
        EXPECT_NEAR(work[1], 0, 65535 * 0.01);      // green
        EXPECT_NEAR(work[0], 0, 65535 * 0.01);      // blue
    }
}

// Every YUV layout, as MLT lays it out, to the filter's pixels and back, on colours inside
// the RGB cube: each sample comes back as it was, so the planes are found where MLT puts
// them and chroma is shared as MLT shares it.
TEST(MltPixels, YuvLayoutsComeBackAsTheyWere)
{
    constexpr int w = 6, h = 4;
    struct Layout {
        PictureKind kind;
        int chromaRows;  // rows of chroma
        int sampleBytes;
    };
    for (const Layout l :
         {Layout{PictureKind::yuv422, h, 1}, Layout{PictureKind::yuv420p, h / 2, 1},
          Layout{PictureKind::yuv422p16, h, 2}}) {
        SCOPED_TRACE(static_cast<int>(l.kind));
        const int scale = l.sampleBytes == 2 ? 256 : 1;
        // Luma 50..165 and chroma within 14 of neutral, different at every sample.
        std::vector<uint16_t> y(w * h), u(w / 2 * l.chromaRows), v(u.size());
        for (size_t i = 0; i < y.size(); ++i) y[i] = static_cast<uint16_t>((50 + 5 * i) * scale);
        for (size_t i = 0; i < u.size(); ++i) {
            u[i] = static_cast<uint16_t>((120 + 2 * i) * scale);
            v[i] = static_cast<uint16_t>((136 - 2 * i) * scale);
        }
        // Laid out as MLT lays the format out: packed Y0 U Y1 V, or the planes one after
        // the other in 8-bit samples or little-endian words.
        std::vector<uint8_t> picture((y.size() + 2 * u.size()) * l.sampleBytes);
        if (l.kind == PictureKind::yuv422) {
            for (int row = 0; row < h; ++row)
                for (int x = 0; x < w; ++x) {
                    uint8_t* pair = &picture[static_cast<size_t>(row * w * 2 + (x / 2) * 4)];
                    pair[(x % 2) * 2] = static_cast<uint8_t>(y[row * w + x]);
                    pair[1] = static_cast<uint8_t>(u[row * (w / 2) + x / 2]);
                    pair[3] = static_cast<uint8_t>(v[row * (w / 2) + x / 2]);
                }
        } else {
            uint8_t* at = picture.data();
            for (const auto* samples : {&y, &u, &v})
                for (uint16_t s : *samples) {
                    if (l.sampleBytes == 2) *at++ = static_cast<uint8_t>(s & 0xff);
                    *at++ = static_cast<uint8_t>(l.sampleBytes == 2 ? s >> 8 : s);
                }
        }
        const MltPicture p = mltPicture(l.kind, picture.data(), w, h);
        const std::vector<uint8_t> before = picture;
        std::vector<uint8_t> work(workBytes(workFormatOf(l.kind), w, h));
        const YuvMatrix matrix = yuvMatrixFor(709, false);
        toWork(p, matrix, work.data());
        std::fill(picture.begin(), picture.end(), uint8_t{0});
        toPicture(work.data(), matrix, p);
        EXPECT_EQ(picture, before);
    }
}

}  // namespace
