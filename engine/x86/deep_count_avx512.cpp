// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The deep joint count with AVX-512: the bins of eight pixels' 32 words at once, the
// increments then one by one as the scalar loop does them (a scatter would lose a count
// where two pixels of the eight share a counter).
//
// A word v's bin is (v * 255 + 32895) >> 16. With h and l the high and low halves of
// the 32-bit product v * 255, that is h plus the carry out of l + 32895, which is set
// exactly when l > 32640: two 16-bit multiplies, a compare and a masked add.
//
// Compiled with a target attribute on the function, as the other kernels are; the
// masked forms with every lane on keep GCC 12 from warning about the plain forms'
// undefined pass-through vector.
#include "engine/histogram.h"

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

#define TELVO_AVX512 __attribute__((target("avx512f,avx512bw,avx512vbmi")))

namespace
{

constexpr __mmask8 kAll = 0xFF;

// Per pixel: bits 0..15 the joint index green * 256 + blue, bits 32..39 the red bin.
TELVO_AVX512 __attribute__((always_inline)) inline __m512i bins(__m512i pixels)
{
    const __m512i factor = _mm512_set1_epi16(255);
    const __m512i high = _mm512_mulhi_epu16(pixels, factor);
    const __m512i low = _mm512_mullo_epi16(pixels, factor);
    const __mmask32 carry = _mm512_cmpgt_epu16_mask(low, _mm512_set1_epi16(32640));
    const __m512i bin = _mm512_mask_add_epi16(high, carry, high, _mm512_set1_epi16(1));
    // Words B, G, R, A of bins below 256: folding G's onto bits 8..15 leaves R's in place.
    const __m512i folded = _mm512_or_si512(bin, _mm512_maskz_srli_epi64(kAll, bin, 8));
    return _mm512_maskz_and_epi64(kAll, folded, _mm512_set1_epi64(0xFF0000FFFFll));
}

}  // namespace

TELVO_AVX512 void countDeepJointRowAvx512(JointCounts& joint, const uint8_t* px, int width)
{
    uint64_t b[8];
    int x = 0;
    for (; x + 8 <= width; x += 8, px += 64) {
        _mm512_storeu_si512(b, bins(_mm512_loadu_si512(px)));
        for (int i = 0; i < 8; ++i) ++joint.greenBlue[b[i] & 0xFFFF];
        for (int i = 0; i < 8; ++i) ++joint.red[i % 4][b[i] >> 32];
    }
    countDeepJointRowScalar(joint, px, width - x);
}

#else

void countDeepJointRowAvx512(JointCounts& joint, const uint8_t* px, int width)
{
    countDeepJointRowScalar(joint, px, width);
}

#endif
