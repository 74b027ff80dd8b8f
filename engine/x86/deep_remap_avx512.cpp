// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The deep row kernel with AVX-512 gathers: eight pixels at a time, each channel's eight
// entries fetched from the table with one gather of 32-bit words. The table is filled
// lazily, so a block where any entry is still unfilled goes through the scalar loop,
// which computes and stores the missing entries; the values are the scalar kernel's by
// construction, the gather only reads them. A gathered 32-bit element is one aligned
// load, as the scalar kernel's relaxed load is, so workers may share the table.
//
// Compiled with a target attribute on the function, as the 8-bit kernel is. The masked
// forms with every lane on keep GCC 12 from warning about the plain forms' undefined
// pass-through vector.
#include "engine/deep_remap.h"

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

#define TELVO_AVX512 __attribute__((target("avx512f,avx512bw,avx512vbmi")))

namespace
{

constexpr __mmask8 kAll = 0xFF;

struct Gathered {
    __m256i b, g, r;
};

TELVO_AVX512 __attribute__((always_inline)) inline Gathered gather(const DeepRemapMemo& memo,
                                                                   __m512i pixels)
{
    const __m512i word = _mm512_set1_epi64(0xFFFF);
    const __m512i b = _mm512_and_si512(pixels, word);
    const __m512i g = _mm512_and_si512(_mm512_maskz_srli_epi64(kAll, pixels, 16), word);
    const __m512i r = _mm512_and_si512(_mm512_maskz_srli_epi64(kAll, pixels, 32), word);
    const __m256i none = _mm256_setzero_si256();
    return {_mm512_mask_i64gather_epi32(none, kAll, b, memo.entry[0], 4),
            _mm512_mask_i64gather_epi32(none, kAll, g, memo.entry[1], 4),
            _mm512_mask_i64gather_epi32(none, kAll, r, memo.entry[2], 4)};
}

// Filled entries are at most 65535; the unfilled mark has its top bit set.
TELVO_AVX512 __attribute__((always_inline)) inline bool allFilled(const Gathered& e)
{
    const __m256i any = _mm256_or_si256(_mm256_or_si256(e.b, e.g), e.r);
    return _mm256_movemask_ps(_mm256_castsi256_ps(any)) == 0;
}

TELVO_AVX512 __attribute__((always_inline)) inline __m512i pack(const Gathered& e)
{
    const __m512i b = _mm512_maskz_cvtepu32_epi64(kAll, e.b);
    const __m512i g = _mm512_maskz_slli_epi64(kAll, _mm512_maskz_cvtepu32_epi64(kAll, e.g), 16);
    const __m512i r = _mm512_maskz_slli_epi64(kAll, _mm512_maskz_cvtepu32_epi64(kAll, e.r), 32);
    return _mm512_or_si512(_mm512_or_si512(b, g), r);
}

}  // namespace

TELVO_AVX512 void remapDeepRowAvx512(const DeepCurves& curves, DeepRemapMemo& memo,
                                     const uint8_t* in, uint8_t* out, int width)
{
    int x = 0;
    for (; x + 8 <= width; x += 8, in += 64, out += 64) {
        const Gathered e = gather(memo, _mm512_loadu_si512(in));
        if (allFilled(e))
            _mm512_storeu_si512(out, pack(e));
        else
            remapDeepRowScalar(curves, memo, in, out, 8);
    }
    remapDeepRowScalar(curves, memo, in, out, width - x);
}

#else

void remapDeepRowAvx512(const DeepCurves& curves, DeepRemapMemo& memo, const uint8_t* in,
                        uint8_t* out, int width)
{
    remapDeepRowScalar(curves, memo, in, out, width);
}

#endif
