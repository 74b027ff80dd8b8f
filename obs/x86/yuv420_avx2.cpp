// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// NV12 and I420 to and from the filter's BGRX bytes, eight pixels a vector. Target
// attributes on the functions, not a file-wide flag, so nothing else in this file can
// carry AVX2 instructions into the baseline build. Every step mirrors one in
// yuv_frame.cpp: clamps as min(high, max(low, v)) (the same result as std::min and
// std::max, signed zeros included), sums left to right, rounding as int(v + 0.5).
#include "obs/yuv420_rows.h"

#if defined(__x86_64__) && defined(__GNUC__)

#include <immintrin.h>

#define TELVO_AVX2 __attribute__((target("avx2")))
#define TELVO_AVX2_INLINE __attribute__((target("avx2"), always_inline)) inline

namespace
{

constexpr int kBlock = 16;  // pixels per step: eight chroma samples

// A CodeMatrix's numbers, each in every lane.
struct Lanes {
    __m256 k[3][4], e[3][4], low[3], high[3], half, quarter;

    TELVO_AVX2_INLINE explicit Lanes(const CodeMatrix& m)
    {
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 4; ++j) {
                k[i][j] = _mm256_set1_ps(m.k[i][j]);
                e[i][j] = _mm256_set1_ps(m.e[i][j]);
            }
            low[i] = _mm256_set1_ps(m.lowCode[i]);
            high[i] = _mm256_set1_ps(m.highCode[i]);
        }
        half = _mm256_set1_ps(0.5f);
        quarter = _mm256_set1_ps(0.25f);
    }
};

TELVO_AVX2_INLINE __m256 clampPs(__m256 v, __m256 low, __m256 high)
{
    return _mm256_min_ps(high, _mm256_max_ps(low, v));
}

TELVO_AVX2_INLINE __m256i roundPs(__m256 v, const Lanes& c)
{
    return _mm256_cvttps_epi32(_mm256_add_ps(v, c.half));
}

TELVO_AVX2_INLINE __m128i load8(const uint8_t* p)
{
    return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
}

// The chroma's share of eight pixels' R, G and B, from their chroma codes (one per pixel).
struct Terms {
    __m256 c[3];
};

TELVO_AVX2_INLINE Terms chromaTerms(__m256i u, __m256i v, const Lanes& c)
{
    const __m256 uu = clampPs(_mm256_cvtepi32_ps(u), c.low[1], c.high[1]);
    const __m256 vv = clampPs(_mm256_cvtepi32_ps(v), c.low[2], c.high[2]);
    Terms t;
    for (int i = 0; i < 3; ++i)
        t.c[i] = _mm256_add_ps(
            _mm256_add_ps(_mm256_mul_ps(c.k[i][1], uu), _mm256_mul_ps(c.k[i][2], vv)), c.k[i][3]);
    return t;
}

// Eight chroma samples' terms, worked out once, then spread over the sixteen pixels
// they cover as two vectors (a term is the same float whichever pixel it is computed
// for).
TELVO_AVX2_INLINE void chromaOfBlock(const YuvLayout& l, const YuvPlanes& f, int crow, int x,
                                     const Lanes& c, Terms& first, Terms& second)
{
    __m256i u, v;
    if (l.packing == YuvPacking::SemiPlanar) {
        // u0 v0 u1 v1 .. u7 v7 into u0 .. u7 and v0 .. v7.
        const __m128i pairs =
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(f.data[1] + f.pitch[1] * crow + x));
        const __m128i split = _mm_shuffle_epi8(
            pairs, _mm_setr_epi8(0, 2, 4, 6, 8, 10, 12, 14, 1, 3, 5, 7, 9, 11, 13, 15));
        u = _mm256_cvtepu8_epi32(split);
        v = _mm256_cvtepu8_epi32(_mm_unpackhi_epi64(split, split));
    } else {
        u = _mm256_cvtepu8_epi32(load8(f.data[1] + f.pitch[1] * crow + x / 2));
        v = _mm256_cvtepu8_epi32(load8(f.data[2] + f.pitch[2] * crow + x / 2));
    }
    const Terms samples = chromaTerms(u, v, c);
    const __m256i low = _mm256_setr_epi32(0, 0, 1, 1, 2, 2, 3, 3);
    const __m256i high = _mm256_setr_epi32(4, 4, 5, 5, 6, 6, 7, 7);
    for (int i = 0; i < 3; ++i) {
        first.c[i] = _mm256_permutevar8x32_ps(samples.c[i], low);
        second.c[i] = _mm256_permutevar8x32_ps(samples.c[i], high);
    }
}

// Eight pixels of the filter's layout: B, G, R and a zero byte each. The bytes are
// packed with saturation instead of clamping to 0..255 first: int(v + 0.5) of a value
// below 0 is at most 0 and of one above 255 at least 255 (all are far inside int), so
// the bytes are the same.
TELVO_AVX2_INLINE void storePixels(const uint8_t* y, const Terms& t, const Lanes& c, uint8_t* out)
{
    const __m256 yy =
        clampPs(_mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(load8(y))), c.low[0], c.high[0]);
    __m256i ch[3];
    for (int i = 0; i < 3; ++i)
        ch[i] = roundPs(_mm256_add_ps(_mm256_mul_ps(c.k[i][0], yy), t.c[i]), c);
    // Per 128-bit lane (four pixels): words b0-3 g0-3 and r0-3 0000, bytes
    // b0-3 g0-3 r0-3 0000, then each pixel's bytes together.
    const __m256i bg = _mm256_packus_epi32(ch[2], ch[1]);
    const __m256i r0 = _mm256_packus_epi32(ch[0], _mm256_setzero_si256());
    const __m256i order = _mm256_setr_epi8(0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15, 0,
                                           4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out),
                        _mm256_shuffle_epi8(_mm256_packus_epi16(bg, r0), order));
}

// A pixel vector's R, G and B codes: byte shuffles zero-extend R and G in one step each.
struct Channels {
    __m256i c[3];
    Channels() = default;
    TELVO_AVX2_INLINE explicit Channels(__m256i p)
    {
        constexpr char z = -128;  // a shuffle index that gives a zero byte
        c[0] = _mm256_shuffle_epi8(
            p, _mm256_setr_epi8(2, z, z, z, 6, z, z, z, 10, z, z, z, 14, z, z, z, 2, z, z, z, 6, z,
                                z, z, 10, z, z, z, 14, z, z, z));
        c[1] = _mm256_shuffle_epi8(
            p, _mm256_setr_epi8(1, z, z, z, 5, z, z, z, 9, z, z, z, 13, z, z, z, 1, z, z, z, 5, z,
                                z, z, 9, z, z, z, 13, z, z, z));
        c[2] = _mm256_and_si256(p, _mm256_set1_epi32(0xFF));
    }
};

TELVO_AVX2_INLINE __m256i lumaOf(const Channels& p, const Lanes& c)
{
    __m256 yy = _mm256_mul_ps(c.e[0][0], _mm256_cvtepi32_ps(p.c[0]));
    yy = _mm256_add_ps(yy, _mm256_mul_ps(c.e[0][1], _mm256_cvtepi32_ps(p.c[1])));
    yy = _mm256_add_ps(yy, _mm256_mul_ps(c.e[0][2], _mm256_cvtepi32_ps(p.c[2])));
    yy = _mm256_add_ps(yy, c.e[0][3]);
    return roundPs(clampPs(yy, c.low[0], c.high[0]), c);
}

// Sixteen codes of at most 255, in order, as bytes.
TELVO_AVX2_INLINE __m128i bytesOf(__m256i first, __m256i second)
{
    // Words a0-3 b0-3 | a4-7 b4-7, then a0-7 | b0-7, then their bytes.
    const __m256i words = _mm256_permute4x64_epi64(_mm256_packus_epi32(first, second), 0xD8);
    const __m256i bytes = _mm256_packus_epi16(words, words);
    return _mm256_castsi256_si128(_mm256_permute4x64_epi64(bytes, 0x08));
}

TELVO_AVX2_INLINE __m256 chromaCode(const __m256 (&e)[4], __m256 r, __m256 g, __m256 b, __m256 low,
                                    __m256 high)
{
    __m256 v = _mm256_mul_ps(e[0], r);
    v = _mm256_add_ps(v, _mm256_mul_ps(e[1], g));
    v = _mm256_add_ps(v, _mm256_mul_ps(e[2], b));
    return clampPs(_mm256_add_ps(v, e[3]), low, high);
}

// Eight chroma samples from the means of the 2 x 2 pixels each covers (rows a and b:
// sixteen pixels each, as two vectors).
TELVO_AVX2_INLINE void storeChroma(const YuvLayout& l, const YuvPlanes& f, int crow, int x,
                                   const Channels (&a)[2], const Channels (&b)[2], const Lanes& c)
{
    __m256 mean[3];
    for (int i = 0; i < 3; ++i) {
        // Columns 0..7 then 8..15, each summed over both rows; then neighbours summed
        // (hadd pairs them lane by lane: 0+1, 2+3, 8+9, 10+11 | 4+5, 6+7, 12+13, 14+15).
        const __m256i left = _mm256_add_epi32(a[0].c[i], b[0].c[i]);
        const __m256i right = _mm256_add_epi32(a[1].c[i], b[1].c[i]);
        const __m256i sums = _mm256_permute4x64_epi64(_mm256_hadd_epi32(left, right), 0xD8);
        mean[i] = _mm256_mul_ps(c.quarter, _mm256_cvtepi32_ps(sums));
    }
    const __m256i u =
        roundPs(chromaCode(c.e[1], mean[0], mean[1], mean[2], c.low[1], c.high[1]), c);
    const __m256i v =
        roundPs(chromaCode(c.e[2], mean[0], mean[1], mean[2], c.low[2], c.high[2]), c);
    if (l.packing == YuvPacking::SemiPlanar) {
        const __m256i pairs = _mm256_or_si256(u, _mm256_slli_epi32(v, 8));
        const __m256i words = _mm256_packus_epi32(pairs, pairs);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(f.data[1] + f.pitch[1] * crow + x),
                         _mm256_castsi256_si128(_mm256_permute4x64_epi64(words, 0x08)));
        return;
    }
    // Words u0-3 v0-3 | u4-7 v4-7, their bytes, then u0-7 v0-7.
    const __m256i words = _mm256_packus_epi32(u, v);
    const __m256i bytes = _mm256_packus_epi16(words, words);
    const __m128i uv = _mm256_castsi256_si128(
        _mm256_permutevar8x32_epi32(bytes, _mm256_setr_epi32(0, 4, 1, 5, 0, 0, 0, 0)));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(f.data[1] + f.pitch[1] * crow + x / 2), uv);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(f.data[2] + f.pitch[2] * crow + x / 2),
                     _mm_unpackhi_epi64(uv, uv));
}

}  // namespace

TELVO_AVX2 int yuv420ToWorkAvx2(const YuvLayout& l, const YuvPlanes& f, const CodeMatrix& m,
                                uint8_t* work, ptrdiff_t workPitch)
{
    const Lanes c(m);
    const int columns = f.width / kBlock * kBlock;
    for (int row = 0; row < f.height; row += 2) {
        const int rows = row + 1 < f.height ? 2 : 1;
        for (int x = 0; x < columns; x += kBlock) {
            Terms first, second;
            chromaOfBlock(l, f, row / 2, x, c, first, second);
            for (int r = 0; r < rows; ++r) {
                const uint8_t* y = f.data[0] + f.pitch[0] * (row + r) + x;
                uint8_t* out = work + workPitch * (row + r) + 4 * x;
                storePixels(y, first, c, out);
                storePixels(y + 8, second, c, out + 32);
            }
        }
    }
    return columns;
}

TELVO_AVX2 int workToYuv420Avx2(const YuvLayout& l, const uint8_t* work, ptrdiff_t workPitch,
                                const CodeMatrix& m, const YuvPlanes& f)
{
    const Lanes c(m);
    const int columns = f.width / kBlock * kBlock;
    for (int row = 0; row < f.height; row += 2) {
        // A last odd row is its chroma's both rows.
        const int next = row + 1 < f.height ? row + 1 : row;
        for (int x = 0; x < columns; x += kBlock) {
            Channels p[2][2];
            for (int r = 0; r < 2; ++r) {
                const uint8_t* in = work + workPitch * (r == 0 ? row : next) + 4 * x;
                p[r][0] = Channels(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(in)));
                p[r][1] = Channels(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + 32)));
                const __m128i luma = bytesOf(lumaOf(p[r][0], c), lumaOf(p[r][1], c));
                _mm_storeu_si128(
                    reinterpret_cast<__m128i*>(f.data[0] + f.pitch[0] * (r == 0 ? row : next) + x),
                    luma);
            }
            storeChroma(l, f, row / 2, x, p[0], p[1], c);
        }
    }
    return columns;
}

#else

int yuv420ToWorkAvx2(const YuvLayout&, const YuvPlanes&, const CodeMatrix&, uint8_t*, ptrdiff_t)
{
    return 0;
}

int workToYuv420Avx2(const YuvLayout&, const uint8_t*, ptrdiff_t, const CodeMatrix&,
                     const YuvPlanes&)
{
    return 0;
}

#endif
