// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "obs/yuv_frame.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

#include "engine/cpu_level.h"
#include "obs/yuv420_rows.h"

namespace
{

// The conversions below are plain C++, written once and always inlined into each variant
// (PortableRows, Avx2Rows, at the end): the variant's target decides which vectors the
// compiler builds the row loops with, and cpuLevel() picks the variant once per frame.
// NV12 and I420 (and with AVX-512, P010 and I010) first go through hand-written vector
// rows (obs/yuv420_rows.h), widest first, which compute the same floats; these loops
// take the columns they leave.
#define TELVO_ROW_LOOP [[gnu::always_inline]] inline
#if defined(__x86_64__) && defined(__GNUC__)
#define TELVO_AVX2_ROWS 1
#endif

template <class T>
T* rowOf(uint8_t* plane, ptrdiff_t pitch, int row)
{
    return reinterpret_cast<T*>(plane + pitch * row);
}

// Chroma samples `step` apart, each repeated over the 1 << sx pixels it covers.
template <class T>
TELVO_ROW_LOOP void spreadChroma(const T* us, const T* vs, int step, int sx, int sh, unsigned mask,
                                 int w, uint16_t* u, uint16_t* v)
{
    if (sx == 0) {
        for (int x = 0; x < w; ++x) {
            u[x] = static_cast<uint16_t>((us[step * x] >> sh) & mask);
            v[x] = static_cast<uint16_t>((vs[step * x] >> sh) & mask);
        }
        return;
    }
    for (int c = 0; c < w / 2; ++c) {
        u[2 * c] = u[2 * c + 1] = static_cast<uint16_t>((us[step * c] >> sh) & mask);
        v[2 * c] = v[2 * c + 1] = static_cast<uint16_t>((vs[step * c] >> sh) & mask);
    }
    if ((w & 1) != 0) {
        u[w - 1] = static_cast<uint16_t>((us[step * (w / 2)] >> sh) & mask);
        v[w - 1] = static_cast<uint16_t>((vs[step * (w / 2)] >> sh) & mask);
    }
}

// One frame row's codes, chroma repeated for every pixel it covers (planar layouts: only
// when `chroma`; otherwise u and v keep what they hold).
template <class T>
TELVO_ROW_LOOP void readCodes(const YuvLayout& l, const YuvPlanes& f, int row, uint16_t* y,
                              uint16_t* u, uint16_t* v, bool chroma)
{
    const int w = f.width, sh = l.sampleShift, sx = l.chromaShiftX;
    const unsigned mask = (1u << l.bits) - 1;
    const int crow = row >> l.chromaShiftY;
    switch (l.packing) {
        case YuvPacking::Planar: {
            const T* ys = rowOf<T>(f.data[0], f.pitch[0], row);
            const T* us = rowOf<T>(f.data[1], f.pitch[1], crow);
            const T* vs = rowOf<T>(f.data[2], f.pitch[2], crow);
            for (int x = 0; x < w; ++x) y[x] = static_cast<uint16_t>((ys[x] >> sh) & mask);
            if (chroma) spreadChroma(us, vs, 1, sx, sh, mask, w, u, v);
            break;
        }
        case YuvPacking::SemiPlanar: {
            const T* ys = rowOf<T>(f.data[0], f.pitch[0], row);
            const T* uv = rowOf<T>(f.data[1], f.pitch[1], crow);
            for (int x = 0; x < w; ++x) y[x] = static_cast<uint16_t>((ys[x] >> sh) & mask);
            if (chroma) spreadChroma(uv, uv + 1, 2, sx, sh, mask, w, u, v);
            break;
        }
        case YuvPacking::Packed422: {
            const uint8_t* g = rowOf<uint8_t>(f.data[0], f.pitch[0], row);
            for (int x = 0; x < w; ++x) {
                const uint8_t* group = g + 4 * (x >> 1);
                y[x] = group[(x & 1) != 0 ? l.y1 : l.y0];
                u[x] = group[l.u];
                v[x] = group[l.v];
            }
            break;
        }
    }
}

// A pixel of the filter's layout as one word: 8-bit or 16-bit B, G, R and a zero.
template <class Sample>
using Pixel = std::conditional_t<sizeof(Sample) == 1, uint32_t, uint64_t>;

inline float clampTo(float value, float low, float high)
{
    return std::min(std::max(value, low), high);
}

// A clamped value, rounded: through a signed int, which vectorises (a float converted
// straight to an unsigned type does not).
template <class Out>
inline Out roundTo(float value)
{
    return static_cast<Out>(static_cast<int>(value + 0.5f));
}

// The chroma's share of each pixel's R, G and B: the matrix's chroma terms and offset.
TELVO_ROW_LOOP void chromaTerms(const uint16_t* __restrict u, const uint16_t* __restrict v,
                                int width, const CodeMatrix& m, float* __restrict cr,
                                float* __restrict cg, float* __restrict cb)
{
    // The matrix in locals: stores through the outputs could alias it otherwise, and
    // every iteration would load it again.
    const CodeMatrix c = m;
    for (int x = 0; x < width; ++x) {
        const float uu = clampTo(u[x], c.lowCode[1], c.highCode[1]);
        const float vv = clampTo(v[x], c.lowCode[2], c.highCode[2]);
        cr[x] = c.k[0][1] * uu + c.k[0][2] * vv + c.k[0][3];
        cg[x] = c.k[1][1] * uu + c.k[1][2] * vv + c.k[1][3];
        cb[x] = c.k[2][1] * uu + c.k[2][2] * vv + c.k[2][3];
    }
}

template <class Out>
TELVO_ROW_LOOP void codesToWork(const uint16_t* __restrict y, const float* __restrict cr,
                                const float* __restrict cg, const float* __restrict cb, int width,
                                const CodeMatrix& m, Pixel<Out>* __restrict out)
{
    const CodeMatrix c = m;
    for (int x = 0; x < width; ++x) {
        const float yy = clampTo(y[x], c.lowCode[0], c.highCode[0]);
        const float r = c.k[0][0] * yy + cr[x];
        const float g = c.k[1][0] * yy + cg[x];
        const float b = c.k[2][0] * yy + cb[x];
        // One whole pixel per store (B, G, R, then zero, little-endian), which
        // vectorises where four narrow stores would not.
        constexpr int kBits = 8 * sizeof(Out);
        out[x] = static_cast<Pixel<Out>>(roundTo<uint32_t>(clampTo(b, 0.0f, c.rgbMax))) |
                 static_cast<Pixel<Out>>(roundTo<uint32_t>(clampTo(g, 0.0f, c.rgbMax))) << kBits |
                 static_cast<Pixel<Out>>(roundTo<uint32_t>(clampTo(r, 0.0f, c.rgbMax)))
                     << 2 * kBits;
    }
}

// A pixel's B, G and R codes as integers.
template <class In>
struct Channels {
    int b, g, r;
    explicit Channels(Pixel<In> p)
    {
        constexpr int kBits = 8 * sizeof(In);
        constexpr unsigned kMask = (1u << kBits) - 1;
        b = static_cast<int>(static_cast<uint32_t>(p) & kMask);
        g = static_cast<int>(static_cast<uint32_t>(p >> kBits) & kMask);
        r = static_cast<int>(static_cast<uint32_t>(p >> 2 * kBits) & kMask);
    }
};

// Luma codes, rounded.
template <class In>
TELVO_ROW_LOOP void workToCodes(const Pixel<In>* __restrict in, int width, const CodeMatrix& m,
                                uint16_t* __restrict y)
{
    const CodeMatrix c = m;
    for (int x = 0; x < width; ++x) {
        const Channels<In> p(in[x]);
        const float yy = c.e[0][0] * static_cast<float>(p.r) + c.e[0][1] * static_cast<float>(p.g) +
                         c.e[0][2] * static_cast<float>(p.b) + c.e[0][3];
        y[x] = roundTo<uint16_t>(clampTo(yy, c.lowCode[0], c.highCode[0]));
    }
}

// One row of chroma codes from the mean R, G and B of the pixels each sample covers:
// columns 2c and 2c + 1 (or c) of rows 0 and 1 (row 1 = row 0 for one row). The matrix
// is linear, so this is the mean of the pixels' chroma, at a third of the multiplies.
// The sums are of at most four codes, exact in an int and in a float alike.
template <class In>
struct PixelRows {
    const Pixel<In>*row0, *row1;
};

inline void chromaOf(int r, int g, int b, float scale, const CodeMatrix& c, uint16_t& u,
                     uint16_t& v)
{
    const float rr = scale * static_cast<float>(r), gg = scale * static_cast<float>(g),
                bb = scale * static_cast<float>(b);
    u = roundTo<uint16_t>(clampTo(c.e[1][0] * rr + c.e[1][1] * gg + c.e[1][2] * bb + c.e[1][3],
                                  c.lowCode[1], c.highCode[1]));
    v = roundTo<uint16_t>(clampTo(c.e[2][0] * rr + c.e[2][1] * gg + c.e[2][2] * bb + c.e[2][3],
                                  c.lowCode[2], c.highCode[2]));
}

template <class In>
TELVO_ROW_LOOP void meanChroma(PixelRows<In> p, int w, int sx, const CodeMatrix& m,
                               uint16_t* __restrict u, uint16_t* __restrict v)
{
    const CodeMatrix c = m;
    const Pixel<In>* __restrict p0 = p.row0;
    const Pixel<In>* __restrict p1 = p.row1;
    const auto two = [&](int x, uint16_t& uu, uint16_t& vv) {
        const Channels<In> a(p0[x]), b(p1[x]);
        chromaOf(a.r + b.r, a.g + b.g, a.b + b.b, 0.5f, c, uu, vv);
    };
    if (sx == 0) {
        for (int x = 0; x < w; ++x) two(x, u[x], v[x]);
        return;
    }
    for (int k = 0; k < w / 2; ++k) {
        const int x = 2 * k;
        const Channels<In> a(p0[x]), b(p0[x + 1]), d(p1[x]), e(p1[x + 1]);
        chromaOf(a.r + b.r + d.r + e.r, a.g + b.g + d.g + e.g, a.b + b.b + d.b + e.b, 0.25f, c,
                 u[k], v[k]);
    }
    if ((w & 1) != 0) two(w - 1, u[w / 2], v[w / 2]);
}

template <class T>
TELVO_ROW_LOOP void writeLuma(const YuvLayout& l, const YuvPlanes& f, int row, const uint16_t* y)
{
    const int w = f.width, sh = l.sampleShift;
    if (l.packing == YuvPacking::Packed422) {
        uint8_t* g = rowOf<uint8_t>(f.data[0], f.pitch[0], row);
        for (int x = 0; x < w; ++x)
            g[4 * (x >> 1) + ((x & 1) != 0 ? l.y1 : l.y0)] = static_cast<uint8_t>(y[x]);
        return;
    }
    T* ys = rowOf<T>(f.data[0], f.pitch[0], row);
    for (int x = 0; x < w; ++x) ys[x] = static_cast<T>(y[x] << sh);
}

// One chroma row from one or two rows of pixels.
template <class T, class Work>
TELVO_ROW_LOOP void writeChroma(const YuvLayout& l, const YuvPlanes& f, const CodeMatrix& m,
                                int crow, PixelRows<Work> rows, uint16_t* u, uint16_t* v)
{
    const int w = f.width, sh = l.sampleShift, sx = l.chromaShiftX;
    const int samples = (w + (1 << sx) - 1) >> sx;
    meanChroma<Work>(rows, w, sx, m, u, v);
    switch (l.packing) {
        case YuvPacking::Planar: {
            T* us = rowOf<T>(f.data[1], f.pitch[1], crow);
            T* vs = rowOf<T>(f.data[2], f.pitch[2], crow);
            for (int c = 0; c < samples; ++c) us[c] = static_cast<T>(u[c] << sh);
            for (int c = 0; c < samples; ++c) vs[c] = static_cast<T>(v[c] << sh);
            break;
        }
        case YuvPacking::SemiPlanar: {
            T* uv = rowOf<T>(f.data[1], f.pitch[1], crow);
            for (int c = 0; c < samples; ++c) {
                uv[2 * c] = static_cast<T>(u[c] << sh);
                uv[2 * c + 1] = static_cast<T>(v[c] << sh);
            }
            break;
        }
        case YuvPacking::Packed422: {
            uint8_t* g = rowOf<uint8_t>(f.data[0], f.pitch[0], crow);
            for (int c = 0; c < samples; ++c) {
                g[4 * c + l.u] = static_cast<uint8_t>(u[c]);
                g[4 * c + l.v] = static_cast<uint8_t>(v[c]);
            }
            break;
        }
    }
}

template <class T, class Work>
TELVO_ROW_LOOP void toWork(const YuvLayout& l, const YuvPlanes& f, const CodeMatrix& m,
                           uint8_t* work, ptrdiff_t workPitch, YuvScratch::Rows& s)
{
    for (int row = 0; row < f.height; ++row) {
        // In 4:2:0 an odd row's chroma is the row above's, still in the scratch rows.
        const bool chroma = l.chromaShiftY == 0 || (row & 1) == 0;
        readCodes<T>(l, f, row, s.y.data(), s.u.data(), s.v.data(), chroma);
        if (chroma)
            chromaTerms(s.u.data(), s.v.data(), f.width, m, s.r.data(), s.g.data(), s.b.data());
        codesToWork<Work>(s.y.data(), s.r.data(), s.g.data(), s.b.data(), f.width, m,
                          reinterpret_cast<Pixel<Work>*>(work + workPitch * row));
    }
}

template <class T, class Work>
TELVO_ROW_LOOP void fromWork(const YuvLayout& l, const uint8_t* work, ptrdiff_t workPitch,
                             const CodeMatrix& m, const YuvPlanes& f, YuvScratch::Rows& s)
{
    const auto pixels = [&](int row) {
        return reinterpret_cast<const Pixel<Work>*>(work + workPitch * row);
    };
    const auto rows = [&](int a, int b) { return PixelRows<Work>{pixels(a), pixels(b)}; };
    for (int row = 0; row < f.height; ++row) {
        workToCodes<Work>(pixels(row), f.width, m, s.y.data());
        writeLuma<T>(l, f, row, s.y.data());
        if (l.chromaShiftY == 0)
            writeChroma<T>(l, f, m, row, rows(row, row), s.u.data(), s.v.data());
        else if ((row & 1) != 0)
            writeChroma<T>(l, f, m, row >> 1, rows(row - 1, row), s.u.data(), s.v.data());
        else if (row == f.height - 1)
            writeChroma<T>(l, f, m, row >> 1, rows(row, row), s.u.data(), s.v.data());
    }
}

// Each variant: the same loops, for one instruction set.
struct PortableRows {
    static void in(const YuvLayout& l, const YuvPlanes& f, const CodeMatrix& m, uint8_t* work,
                   ptrdiff_t workPitch, YuvScratch::Rows& s)
    {
        if (l.bits > 8)
            toWork<uint16_t, uint16_t>(l, f, m, work, workPitch, s);
        else
            toWork<uint8_t, uint8_t>(l, f, m, work, workPitch, s);
    }
    static void out(const YuvLayout& l, const uint8_t* work, ptrdiff_t workPitch,
                    const CodeMatrix& m, const YuvPlanes& f, YuvScratch::Rows& s)
    {
        if (l.bits > 8)
            fromWork<uint16_t, uint16_t>(l, work, workPitch, m, f, s);
        else
            fromWork<uint8_t, uint8_t>(l, work, workPitch, m, f, s);
    }
};

#ifdef TELVO_AVX2_ROWS
struct Avx2Rows {
    __attribute__((target("avx2"))) static void in(const YuvLayout& l, const YuvPlanes& f,
                                                   const CodeMatrix& m, uint8_t* work,
                                                   ptrdiff_t workPitch, YuvScratch::Rows& s)
    {
        if (l.bits > 8)
            toWork<uint16_t, uint16_t>(l, f, m, work, workPitch, s);
        else
            toWork<uint8_t, uint8_t>(l, f, m, work, workPitch, s);
    }
    __attribute__((target("avx2"))) static void out(const YuvLayout& l, const uint8_t* work,
                                                    ptrdiff_t workPitch, const CodeMatrix& m,
                                                    const YuvPlanes& f, YuvScratch::Rows& s)
    {
        if (l.bits > 8)
            fromWork<uint16_t, uint16_t>(l, work, workPitch, m, f, s);
        else
            fromWork<uint8_t, uint8_t>(l, work, workPitch, m, f, s);
    }
};
#endif

}  // namespace

void YuvScratch::reserve(int width)
{
    const size_t n = static_cast<size_t>(width);
    rows_.y.resize(n);
    rows_.u.resize(n);
    rows_.v.resize(n);
    rows_.r.resize(n);
    rows_.g.resize(n);
    rows_.b.resize(n);
}

#ifdef TELVO_AVX2_ROWS
namespace
{

// The frame's columns from `x` on (x even, so no chroma sample is split), as a frame.
YuvPlanes columnsFrom(const YuvLayout& l, const YuvPlanes& f, int x)
{
    const ptrdiff_t sample = l.bits > 8 ? 2 : 1;
    const ptrdiff_t chroma = (x >> l.chromaShiftX) * sample;
    YuvPlanes rest = f;
    rest.width = f.width - x;
    switch (l.packing) {
        case YuvPacking::Planar:
            rest.data[0] += x * sample;
            rest.data[1] += chroma;
            rest.data[2] += chroma;
            break;
        case YuvPacking::SemiPlanar:
            rest.data[0] += x * sample;
            rest.data[1] += 2 * chroma;
            break;
        case YuvPacking::Packed422:
            rest.data[0] += 2 * x;
            break;
    }
    return rest;
}

}  // namespace
#endif

void yuvToWork(const YuvLayout& layout, const YuvPlanes& frame, const CodeMatrix& m, uint8_t* work,
               ptrdiff_t workPitch, YuvScratch& s)
{
#ifdef TELVO_AVX2_ROWS
    const CpuLevel level = cpuLevel();
    if (level >= CpuLevel::Avx2) {
        const int bpp = workBytesPerPixel(layout);
        int done = 0;
        if (isYuv420Bytes(layout)) {
            const int wide = level >= CpuLevel::Avx512Vbmi
                                 ? yuv420ToWorkAvx512(layout, frame, m, work, workPitch)
                                 : 0;
            done = wide + yuv420ToWorkAvx2(layout, columnsFrom(layout, frame, wide), m,
                                           work + wide * bpp, workPitch);
        } else if (isYuv420Words(layout) && level >= CpuLevel::Avx512Vbmi) {
            done = yuv420WordsToWorkAvx512(layout, frame, m, work, workPitch);
        }
        if (done < frame.width)
            Avx2Rows::in(layout, columnsFrom(layout, frame, done), m, work + done * bpp, workPitch,
                         s.rows_);
        return;
    }
#endif
    PortableRows::in(layout, frame, m, work, workPitch, s.rows_);
}

void workToYuv(const YuvLayout& layout, const uint8_t* work, ptrdiff_t workPitch,
               const CodeMatrix& m, const YuvPlanes& frame, YuvScratch& s)
{
#ifdef TELVO_AVX2_ROWS
    const CpuLevel level = cpuLevel();
    if (level >= CpuLevel::Avx2) {
        const int bpp = workBytesPerPixel(layout);
        int done = 0;
        if (isYuv420Bytes(layout)) {
            const int wide = level >= CpuLevel::Avx512Vbmi
                                 ? workToYuv420Avx512(layout, work, workPitch, m, frame)
                                 : 0;
            done = wide + workToYuv420Avx2(layout, work + wide * bpp, workPitch, m,
                                           columnsFrom(layout, frame, wide));
        } else if (isYuv420Words(layout) && level >= CpuLevel::Avx512Vbmi) {
            done = workToYuv420WordsAvx512(layout, work, workPitch, m, frame);
        }
        if (done < frame.width)
            Avx2Rows::out(layout, work + done * bpp, workPitch, m, columnsFrom(layout, frame, done),
                          s.rows_);
        return;
    }
#endif
    PortableRows::out(layout, work, workPitch, m, frame, s.rows_);
}
