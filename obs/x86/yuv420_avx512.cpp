// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// NV12 and I420 to and from the filter's BGRX bytes, sixteen pixels a vector: the AVX2
// kernels' steps (yuv420_avx2.cpp) at twice the width, with AVX-512's narrowing moves
// for the packing; and the same steps for P010 and I010 and the filter's 16-bit words.
// AVX-512 F and BW only, on 512-bit vectors, so the CpuLevel that admits it (F, BW,
// VBMI) is all it needs. Target attributes on the functions, not a file-wide flag, as
// in the engine's AVX-512 kernels; the masked forms with every lane on keep GCC 12 from
// warning about the plain forms' undefined pass-through vector.
#include "obs/yuv420_rows.h"

#if defined(__x86_64__) && defined(__GNUC__)

#include <immintrin.h>

#define TELVO_AVX512 __attribute__((target("avx512f,avx512bw")))
#define TELVO_AVX512_INLINE __attribute__((target("avx512f,avx512bw"), always_inline)) inline

namespace
{

constexpr int kBlock = 32;  // pixels per step: sixteen chroma samples
constexpr __mmask16 kAll = 0xFFFF;

struct Lanes {
    __m512 k[3][4], e[3][4], low[3], high[3], half, quarter;

    TELVO_AVX512_INLINE explicit Lanes(const CodeMatrix& m)
    {
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 4; ++j) {
                k[i][j] = _mm512_set1_ps(m.k[i][j]);
                e[i][j] = _mm512_set1_ps(m.e[i][j]);
            }
            low[i] = _mm512_set1_ps(m.lowCode[i]);
            high[i] = _mm512_set1_ps(m.highCode[i]);
        }
        half = _mm512_set1_ps(0.5f);
        quarter = _mm512_set1_ps(0.25f);
    }
};

TELVO_AVX512_INLINE __m512 clampPs(__m512 v, __m512 low, __m512 high)
{
    return _mm512_maskz_min_ps(kAll, high, _mm512_maskz_max_ps(kAll, low, v));
}

TELVO_AVX512_INLINE __m512i roundPs(__m512 v, const Lanes& c)
{
    return _mm512_maskz_cvttps_epi32(kAll, _mm512_add_ps(v, c.half));
}

TELVO_AVX512_INLINE __m512i widen16(const uint8_t* p)
{
    return _mm512_maskz_cvtepu8_epi32(kAll, _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
}

struct Terms {
    __m512 c[3];
};

TELVO_AVX512_INLINE Terms chromaTerms(__m512i u, __m512i v, const Lanes& c)
{
    const __m512 uu = clampPs(_mm512_maskz_cvtepi32_ps(kAll, u), c.low[1], c.high[1]);
    const __m512 vv = clampPs(_mm512_maskz_cvtepi32_ps(kAll, v), c.low[2], c.high[2]);
    Terms t;
    for (int i = 0; i < 3; ++i)
        t.c[i] = _mm512_add_ps(
            _mm512_add_ps(_mm512_mul_ps(c.k[i][1], uu), _mm512_mul_ps(c.k[i][2], vv)), c.k[i][3]);
    return t;
}

// Sixteen samples' terms spread over the 32 pixels they cover, as two vectors.
TELVO_AVX512_INLINE void spreadTerms(const Terms& samples, Terms& first, Terms& second)
{
    const __m512i low = _mm512_setr_epi32(0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7);
    const __m512i high =
        _mm512_setr_epi32(8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13, 14, 14, 15, 15);
    for (int i = 0; i < 3; ++i) {
        first.c[i] = _mm512_maskz_permutexvar_ps(kAll, low, samples.c[i]);
        second.c[i] = _mm512_maskz_permutexvar_ps(kAll, high, samples.c[i]);
    }
}

// Sixteen chroma samples' terms, worked out once, then spread over the 32 pixels they
// cover as two vectors (a term is the same float whichever pixel it is computed for).
TELVO_AVX512_INLINE void chromaOfBlock(const YuvLayout& l, const YuvPlanes& f, int crow, int x,
                                       const Lanes& c, Terms& first, Terms& second)
{
    __m512i u, v;
    if (l.packing == YuvPacking::SemiPlanar) {
        const uint8_t* uv = f.data[1] + f.pitch[1] * crow + x;
        const __m512i evens =
            _mm512_setr_epi32(0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 26, 28, 30);
        const __m512i odds =
            _mm512_setr_epi32(1, 3, 5, 7, 9, 11, 13, 15, 17, 19, 21, 23, 25, 27, 29, 31);
        const __m512i a = widen16(uv), b = widen16(uv + 16);
        u = _mm512_maskz_permutex2var_epi32(kAll, a, evens, b);
        v = _mm512_maskz_permutex2var_epi32(kAll, a, odds, b);
    } else {
        u = widen16(f.data[1] + f.pitch[1] * crow + x / 2);
        v = widen16(f.data[2] + f.pitch[2] * crow + x / 2);
    }
    spreadTerms(chromaTerms(u, v, c), first, second);
}

// Sixteen pixels of the filter's layout: B, G, R and a zero byte each. The bytes are
// packed with saturation instead of clamping to 0..255 first: int(v + 0.5) of a value
// below 0 is at most 0 and of one above 255 at least 255 (all are far inside int), so
// the bytes are the same.
TELVO_AVX512_INLINE void storePixels(const uint8_t* y, const Terms& t, const Lanes& c, uint8_t* out)
{
    const __m512 yy = clampPs(_mm512_maskz_cvtepi32_ps(kAll, widen16(y)), c.low[0], c.high[0]);
    __m512i ch[3];
    for (int i = 0; i < 3; ++i)
        ch[i] = roundPs(_mm512_add_ps(_mm512_mul_ps(c.k[i][0], yy), t.c[i]), c);
    // Per 128-bit lane (four pixels): words b0-3 g0-3 and r0-3 0000, bytes
    // b0-3 g0-3 r0-3 0000, then each pixel's bytes together.
    const __m512i bg = _mm512_packus_epi32(ch[2], ch[1]);
    const __m512i r0 = _mm512_packus_epi32(ch[0], _mm512_setzero_si512());
    const __m512i order = _mm512_maskz_broadcast_i32x4(
        kAll, _mm_setr_epi8(0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15));
    _mm512_storeu_si512(out, _mm512_shuffle_epi8(_mm512_packus_epi16(bg, r0), order));
}

// A pixel vector's R, G and B codes: byte shuffles zero-extend R and G in one step each.
struct Channels {
    __m512i c[3];
    Channels() = default;
    TELVO_AVX512_INLINE explicit Channels(const uint8_t* pixels)
    {
        const __m512i p = _mm512_loadu_si512(pixels);
        constexpr char z = -128;  // a shuffle index that gives a zero byte
        c[0] = _mm512_shuffle_epi8(
            p, _mm512_maskz_broadcast_i32x4(
                   kAll, _mm_setr_epi8(2, z, z, z, 6, z, z, z, 10, z, z, z, 14, z, z, z)));
        c[1] = _mm512_shuffle_epi8(
            p, _mm512_maskz_broadcast_i32x4(
                   kAll, _mm_setr_epi8(1, z, z, z, 5, z, z, z, 9, z, z, z, 13, z, z, z)));
        c[2] = _mm512_and_si512(p, _mm512_set1_epi32(0xFF));
    }
};

// Sixteen luma codes.
TELVO_AVX512_INLINE __m512i lumaCodes(const Channels& p, const Lanes& c)
{
    __m512 yy = _mm512_mul_ps(c.e[0][0], _mm512_maskz_cvtepi32_ps(kAll, p.c[0]));
    yy = _mm512_add_ps(yy, _mm512_mul_ps(c.e[0][1], _mm512_maskz_cvtepi32_ps(kAll, p.c[1])));
    yy = _mm512_add_ps(yy, _mm512_mul_ps(c.e[0][2], _mm512_maskz_cvtepi32_ps(kAll, p.c[2])));
    yy = _mm512_add_ps(yy, c.e[0][3]);
    return roundPs(clampPs(yy, c.low[0], c.high[0]), c);
}

TELVO_AVX512_INLINE __m512i chromaCode(const __m512 (&e)[4], const __m512 (&mean)[3], __m512 low,
                                       __m512 high, const Lanes& c)
{
    __m512 v = _mm512_mul_ps(e[0], mean[0]);
    v = _mm512_add_ps(v, _mm512_mul_ps(e[1], mean[1]));
    v = _mm512_add_ps(v, _mm512_mul_ps(e[2], mean[2]));
    return roundPs(clampPs(_mm512_add_ps(v, e[3]), low, high), c);
}

// Sixteen chroma samples' codes from the means of the 2 x 2 pixels each covers (rows a
// and b: 32 pixels each, as two vectors).
TELVO_AVX512_INLINE void chromaCodes(const Channels (&a)[2], const Channels (&b)[2], const Lanes& c,
                                     __m512i& u, __m512i& v)
{
    const __m512i evens =
        _mm512_setr_epi32(0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 26, 28, 30);
    const __m512i odds =
        _mm512_setr_epi32(1, 3, 5, 7, 9, 11, 13, 15, 17, 19, 21, 23, 25, 27, 29, 31);
    __m512 mean[3];
    for (int i = 0; i < 3; ++i) {
        const __m512i left = _mm512_add_epi32(a[0].c[i], b[0].c[i]);
        const __m512i right = _mm512_add_epi32(a[1].c[i], b[1].c[i]);
        const __m512i sums = _mm512_add_epi32(_mm512_permutex2var_epi32(left, evens, right),
                                              _mm512_permutex2var_epi32(left, odds, right));
        mean[i] = _mm512_mul_ps(c.quarter, _mm512_maskz_cvtepi32_ps(kAll, sums));
    }
    u = chromaCode(c.e[1], mean, c.low[1], c.high[1], c);
    v = chromaCode(c.e[2], mean, c.low[2], c.high[2], c);
}

TELVO_AVX512_INLINE void storeChroma(const YuvLayout& l, const YuvPlanes& f, int crow, int x,
                                     const Channels (&a)[2], const Channels (&b)[2], const Lanes& c)
{
    __m512i u, v;
    chromaCodes(a, b, c, u, v);
    if (l.packing == YuvPacking::SemiPlanar) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(f.data[1] + f.pitch[1] * crow + x),
                            _mm512_maskz_cvtepi32_epi16(
                                kAll, _mm512_or_si512(u, _mm512_maskz_slli_epi32(kAll, v, 8))));
        return;
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(f.data[1] + f.pitch[1] * crow + x / 2),
                     _mm512_maskz_cvtepi32_epi8(kAll, u));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(f.data[2] + f.pitch[2] * crow + x / 2),
                     _mm512_maskz_cvtepi32_epi8(kAll, v));
}

// 10-bit video in 16-bit samples (P010: in the top bits; I010: in the low bits), to and
// from the filter's 16-bit words: the same steps on words.
struct Samples {
    __m512i shift, mask;
    TELVO_AVX512_INLINE explicit Samples(const YuvLayout& l)
        : shift(_mm512_set1_epi32(l.sampleShift)), mask(_mm512_set1_epi32((1 << l.bits) - 1))
    {
    }
    // Sixteen samples' codes.
    TELVO_AVX512_INLINE __m512i codes(const uint8_t* p) const
    {
        const __m512i w = _mm512_maskz_cvtepu16_epi32(
            kAll, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)));
        return _mm512_and_si512(_mm512_maskz_srlv_epi32(kAll, w, shift), mask);
    }
    // Sixteen codes stored as samples.
    TELVO_AVX512_INLINE void store(uint8_t* p, __m512i codes) const
    {
        _mm256_storeu_si256(
            reinterpret_cast<__m256i*>(p),
            _mm512_maskz_cvtepi32_epi16(kAll, _mm512_maskz_sllv_epi32(kAll, codes, shift)));
    }
};

TELVO_AVX512_INLINE void wordChromaOfBlock(const YuvLayout& l, const YuvPlanes& f, int crow, int x,
                                           const Samples& s, const Lanes& c, Terms& first,
                                           Terms& second)
{
    __m512i u, v;
    if (l.packing == YuvPacking::SemiPlanar) {
        const uint8_t* uv = f.data[1] + f.pitch[1] * crow + 2 * x;
        const __m512i evens =
            _mm512_setr_epi32(0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 26, 28, 30);
        const __m512i odds =
            _mm512_setr_epi32(1, 3, 5, 7, 9, 11, 13, 15, 17, 19, 21, 23, 25, 27, 29, 31);
        const __m512i a = s.codes(uv), b = s.codes(uv + 32);
        u = _mm512_maskz_permutex2var_epi32(kAll, a, evens, b);
        v = _mm512_maskz_permutex2var_epi32(kAll, a, odds, b);
    } else {
        u = s.codes(f.data[1] + f.pitch[1] * crow + x);
        v = s.codes(f.data[2] + f.pitch[2] * crow + x);
    }
    spreadTerms(chromaTerms(u, v, c), first, second);
}

// Sixteen pixels of 16-bit B, G, R and a zero word each, saturating as storePixels does.
TELVO_AVX512_INLINE void storeWordPixels(const uint8_t* y, const Samples& s, const Terms& t,
                                         const Lanes& c, uint8_t* out)
{
    const __m512 yy = clampPs(_mm512_maskz_cvtepi32_ps(kAll, s.codes(y)), c.low[0], c.high[0]);
    __m512i ch[3];
    for (int i = 0; i < 3; ++i)
        ch[i] = roundPs(_mm512_add_ps(_mm512_mul_ps(c.k[i][0], yy), t.c[i]), c);
    // Per 128-bit lane (four pixels): words b0-3 g0-3 and r0-3 0000; b r pairs and g 0
    // pairs; then pixels 0-1 and 2-3 as b g r 0; then the lanes' halves in pixel order.
    const __m512i bg = _mm512_packus_epi32(ch[2], ch[1]);
    const __m512i r0 = _mm512_packus_epi32(ch[0], _mm512_setzero_si512());
    const __m512i br = _mm512_unpacklo_epi16(bg, r0), g0 = _mm512_unpackhi_epi16(bg, r0);
    const __m512i low = _mm512_unpacklo_epi16(br, g0), high = _mm512_unpackhi_epi16(br, g0);
    _mm512_storeu_si512(out, _mm512_maskz_permutex2var_epi64(
                                 0xFF, low, _mm512_setr_epi64(0, 1, 8, 9, 2, 3, 10, 11), high));
    _mm512_storeu_si512(out + 64,
                        _mm512_maskz_permutex2var_epi64(
                            0xFF, low, _mm512_setr_epi64(4, 5, 12, 13, 6, 7, 14, 15), high));
}

// Sixteen 16-bit pixels' R, G and B: each channel's words picked from both vectors into
// the low halves of 32-bit lanes, the high halves zero.
TELVO_AVX512_INLINE Channels wordChannels(const uint8_t* pixels)
{
    const __m512i a = _mm512_loadu_si512(pixels), b = _mm512_loadu_si512(pixels + 64);
    constexpr __mmask32 kLow = 0x55555555;
    Channels p;
    for (int i = 0; i < 3; ++i) {
        // Word 2k of the result is pixel k's word 2 - i (R, G, B), at 4k + 2 - i of a:b.
        const int w = 2 - i;
        const __m512i index = _mm512_add_epi16(
            _mm512_set1_epi16(static_cast<short>(w)),
            _mm512_setr_epi32(0, 4, 8, 12, 16, 20, 24, 28, 32, 36, 40, 44, 48, 52, 56, 60));
        p.c[i] = _mm512_maskz_permutex2var_epi16(kLow, a, index, b);
    }
    return p;
}

TELVO_AVX512_INLINE void storeWordChroma(const YuvLayout& l, const YuvPlanes& f, int crow, int x,
                                         const Samples& s, const Channels (&a)[2],
                                         const Channels (&b)[2], const Lanes& c)
{
    __m512i u, v;
    chromaCodes(a, b, c, u, v);
    if (l.packing == YuvPacking::SemiPlanar) {
        const __m512i us = _mm512_maskz_sllv_epi32(kAll, u, s.shift);
        const __m512i vs = _mm512_maskz_sllv_epi32(kAll, v, s.shift);
        _mm512_storeu_si512(f.data[1] + f.pitch[1] * crow + 2 * x,
                            _mm512_or_si512(us, _mm512_maskz_slli_epi32(kAll, vs, 16)));
        return;
    }
    s.store(f.data[1] + f.pitch[1] * crow + x, u);
    s.store(f.data[2] + f.pitch[2] * crow + x, v);
}

}  // namespace

TELVO_AVX512 int yuv420ToWorkAvx512(const YuvLayout& l, const YuvPlanes& f, const CodeMatrix& m,
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
                storePixels(y + 16, second, c, out + 64);
            }
        }
    }
    return columns;
}

TELVO_AVX512 int workToYuv420Avx512(const YuvLayout& l, const uint8_t* work, ptrdiff_t workPitch,
                                    const CodeMatrix& m, const YuvPlanes& f)
{
    const Lanes c(m);
    const int columns = f.width / kBlock * kBlock;
    for (int row = 0; row < f.height; row += 2) {
        const int rows[2] = {row, row + 1 < f.height ? row + 1 : row};
        for (int x = 0; x < columns; x += kBlock) {
            Channels p[2][2];
            for (int r = 0; r < 2; ++r) {
                const uint8_t* in = work + workPitch * rows[r] + 4 * x;
                p[r][0] = Channels(in);
                p[r][1] = Channels(in + 64);
                uint8_t* y = f.data[0] + f.pitch[0] * rows[r] + x;
                _mm_storeu_si128(reinterpret_cast<__m128i*>(y),
                                 _mm512_maskz_cvtepi32_epi8(kAll, lumaCodes(p[r][0], c)));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(y + 16),
                                 _mm512_maskz_cvtepi32_epi8(kAll, lumaCodes(p[r][1], c)));
            }
            storeChroma(l, f, row / 2, x, p[0], p[1], c);
        }
    }
    return columns;
}

TELVO_AVX512 int yuv420WordsToWorkAvx512(const YuvLayout& l, const YuvPlanes& f,
                                         const CodeMatrix& m, uint8_t* work, ptrdiff_t workPitch)
{
    const Lanes c(m);
    const Samples s(l);
    const int columns = f.width / kBlock * kBlock;
    for (int row = 0; row < f.height; row += 2) {
        const int rows = row + 1 < f.height ? 2 : 1;
        for (int x = 0; x < columns; x += kBlock) {
            Terms first, second;
            wordChromaOfBlock(l, f, row / 2, x, s, c, first, second);
            for (int r = 0; r < rows; ++r) {
                const uint8_t* y = f.data[0] + f.pitch[0] * (row + r) + 2 * x;
                uint8_t* out = work + workPitch * (row + r) + 8 * x;
                storeWordPixels(y, s, first, c, out);
                storeWordPixels(y + 32, s, second, c, out + 128);
            }
        }
    }
    return columns;
}

TELVO_AVX512 int workToYuv420WordsAvx512(const YuvLayout& l, const uint8_t* work,
                                         ptrdiff_t workPitch, const CodeMatrix& m,
                                         const YuvPlanes& f)
{
    const Lanes c(m);
    const Samples s(l);
    const int columns = f.width / kBlock * kBlock;
    for (int row = 0; row < f.height; row += 2) {
        const int rows[2] = {row, row + 1 < f.height ? row + 1 : row};
        for (int x = 0; x < columns; x += kBlock) {
            Channels p[2][2];
            for (int r = 0; r < 2; ++r) {
                const uint8_t* in = work + workPitch * rows[r] + 8 * x;
                p[r][0] = wordChannels(in);
                p[r][1] = wordChannels(in + 128);
                uint8_t* y = f.data[0] + f.pitch[0] * rows[r] + 2 * x;
                s.store(y, lumaCodes(p[r][0], c));
                s.store(y + 32, lumaCodes(p[r][1], c));
            }
            storeWordChroma(l, f, row / 2, x, s, p[0], p[1], c);
        }
    }
    return columns;
}

#else

int yuv420WordsToWorkAvx512(const YuvLayout&, const YuvPlanes&, const CodeMatrix&, uint8_t*,
                            ptrdiff_t)
{
    return 0;
}

int workToYuv420WordsAvx512(const YuvLayout&, const uint8_t*, ptrdiff_t, const CodeMatrix&,
                            const YuvPlanes&)
{
    return 0;
}

int yuv420ToWorkAvx512(const YuvLayout&, const YuvPlanes&, const CodeMatrix&, uint8_t*, ptrdiff_t)
{
    return 0;
}

int workToYuv420Avx512(const YuvLayout&, const uint8_t*, ptrdiff_t, const CodeMatrix&,
                       const YuvPlanes&)
{
    return 0;
}

#endif
