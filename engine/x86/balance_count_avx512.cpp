// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The balance grid's count with AVX-512 VBMI: sixteen grid pixels fetched at once (with
// plain loads and a permute up to a step of four, gathered beyond), their bins of the
// exponent plane and their near-grey flags computed side by side, then the additions one
// pixel after another without a branch: a pixel off the plane goes to a bin of its own, one
// not near grey to a slot past each histogram's end, neither of them ever read.
//
// The additions alternate between two copies of the tables, summed at the end, so that a
// run of pixels in one bin, which the few bins near grey make common, keeps two additions in
// flight instead of making each wait for the one before (four copies measured the same). A
// bin's pixel count and three sums are one 128-bit addition. Sixteen grid pixels of one
// colour, a flat area, are added at once, as the scalar loop adds a run.
//
// The exponent table's values lie in -29..100, so it fits bytes: four registers, looked up
// for every byte of the pixels at once. Compiled with target attributes on the functions,
// as the other kernels are.
#include <algorithm>
#include <cstring>

#include "engine/balance_counts.h"
#include "engine/x86/balance_grid_copies.h"

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

#define TELVO_AVX512 __attribute__((target("avx512f,avx512bw,avx512vbmi")))

namespace
{

// Every lane on: the masked forms keep GCC 12 from warning about the plain forms' undefined
// pass-through vector.
constexpr __mmask16 kAll = 0xFFFF;
constexpr __mmask32 kAllWords = 0xFFFFFFFF;
constexpr __mmask8 kAllQuads = 0xFF;

constexpr int kRowsAhead = 2;  // grid rows between a prefetch and the count that reads it

struct Registers {
    __m512i table[4];  // the exponent table's bytes, 64 levels each
};

TELVO_AVX512 __attribute__((always_inline)) inline void loadRegisters(Registers& reg)
{
    const int16_t* table = exponentTable();
    for (int k = 0; k < 4; ++k) {
        const __m256i low =
            _mm512_maskz_cvtepi16_epi8(kAllWords, _mm512_loadu_si512(table + 64 * k));
        const __m256i high =
            _mm512_maskz_cvtepi16_epi8(kAllWords, _mm512_loadu_si512(table + 64 * k + 32));
        reg.table[k] = _mm512_maskz_inserti64x4(kAllQuads, _mm512_castsi256_si512(low), high, 1);
    }
}

// Up to sixteen pixels 0x00RRGGBB (those of `lanes`; the others zero) into the copies.
TELVO_AVX512 __attribute__((always_inline)) inline void countPixels(
    __m512i colours, __mmask16 lanes, const Registers& reg, GridCopy* copies, uint64_t& grey)
{
    const __m512i byte = _mm512_set1_epi32(0xFF);
    const __m512i b = _mm512_and_si512(colours, byte);
    const __m512i g = _mm512_and_si512(_mm512_maskz_srli_epi32(kAll, colours, 8), byte);
    const __m512i r = _mm512_maskz_srli_epi32(kAll, colours, 16);
    const __m512i hi = _mm512_maskz_max_epu32(kAll, _mm512_maskz_max_epu32(kAll, r, g), b);
    const __m512i lo = _mm512_maskz_min_epu32(kAll, _mm512_maskz_min_epu32(kAll, r, g), b);
    // nearGrey(): both sides below 2^16, so a 16-bit multiply leaves each high word zero.
    const __m512i spread = _mm512_maskz_slli_epi32(kAll, _mm512_sub_epi32(hi, lo), 8);
    const __m512i allowance = _mm512_add_epi32(_mm512_mullo_epi16(hi, _mm512_set1_epi32(102)),
                                               _mm512_set1_epi32(6 * 256));
    const __mmask16 nearGrey = _mm512_mask_cmple_epu32_mask(lanes, spread, allowance);

    // exponentBinOf(): the permutes read an index's low seven bits, its top bit picks the half.
    const __m512i low = _mm512_permutex2var_epi8(reg.table[0], colours, reg.table[1]);
    const __m512i high = _mm512_permutex2var_epi8(reg.table[2], colours, reg.table[3]);
    const __m512i e = _mm512_mask_blend_epi8(_mm512_movepi8_mask(colours), low, high);
    const __m512i eb = _mm512_maskz_srai_epi32(kAll, _mm512_maskz_slli_epi32(kAll, e, 24), 24);
    const __m512i eg = _mm512_maskz_srai_epi32(kAll, _mm512_maskz_slli_epi32(kAll, e, 16), 24);
    const __m512i er = _mm512_maskz_srai_epi32(kAll, _mm512_maskz_slli_epi32(kAll, e, 8), 24);
    const __m512i centre = _mm512_set1_epi32(kExponentBins / 2);
    const __m512i x = _mm512_add_epi32(_mm512_sub_epi32(er, eg), centre);
    const __m512i y = _mm512_add_epi32(_mm512_sub_epi32(eb, eg), centre);
    const __m512i bins = _mm512_set1_epi32(kExponentBins);
    __mmask16 onPlane = _mm512_mask_cmplt_epu32_mask(lanes, x, bins);
    onPlane = _mm512_mask_cmplt_epu32_mask(onPlane, y, bins);
    onPlane = _mm512_mask_cmpge_epu32_mask(onPlane, hi, _mm512_set1_epi32(24));
    onPlane = _mm512_mask_cmple_epu32_mask(onPlane, hi, _mm512_set1_epi32(250));
    const __m512i at =
        _mm512_mask_mov_epi32(_mm512_set1_epi32(kOffPlane), onPlane,
                              _mm512_add_epi32(_mm512_maskz_slli_epi32(kAll, x, 5), y));

    // Each pixel's slots in the histograms: a pixel not near grey goes to the slot past
    // each histogram's end.
    const __m512i past = _mm512_set1_epi32(256);
    const __m512i row = _mm512_set1_epi32(kNeutralRow);
    uint32_t index[16], slots[3][16], colour[16];
    _mm512_storeu_si512(index, at);
    _mm512_storeu_si512(slots[0], _mm512_mask_mov_epi32(past, nearGrey, r));
    _mm512_storeu_si512(slots[1], _mm512_add_epi32(row, _mm512_mask_mov_epi32(past, nearGrey, g)));
    _mm512_storeu_si512(slots[2], _mm512_add_epi32(_mm512_add_epi32(row, row),
                                                   _mm512_mask_mov_epi32(past, nearGrey, b)));
    _mm512_storeu_si512(colour, _mm512_or_si512(colours, _mm512_set1_epi32(0x01000000)));
    // Read back through memory: loads, two or three a cycle, rather than extracts, which
    // queue on the one port the vector work above already keeps busy.
    __asm__("" : "+m"(index), "+m"(slots), "+m"(colour));
#pragma GCC unroll 16
    for (int i = 0; i < 16; ++i) {
        GridCopy& c = copies[i % kGridCopies];
        auto* bin = reinterpret_cast<__m128i*>(&c.bins[index[i]]);
        const __m128i add = _mm_cvtepu8_epi32(_mm_cvtsi32_si128(int(colour[i])));
        _mm_storeu_si128(bin, _mm_add_epi32(_mm_loadu_si128(bin), add));
        ++c.neutral[slots[0][i]];
        ++c.neutral[slots[1][i]];
        ++c.neutral[slots[2][i]];
    }
    grey += uint64_t(__builtin_popcount(nearGrey));
}

// Sixteen grid pixels of one colour: a flat area.
TELVO_AVX512 __attribute__((always_inline)) inline bool oneColour(__m512i colours)
{
    const __m512i first = _mm512_maskz_permutexvar_epi32(kAll, _mm512_setzero_si512(), colours);
    return _mm512_cmpneq_epi32_mask(colours, first) == 0;
}

TELVO_AVX512 __attribute__((always_inline)) inline void countSixteenOfOne(__m512i colours,
                                                                          GridCopy& copy,
                                                                          uint64_t& grey)
{
    const uint32_t colour =
        uint32_t(_mm_cvtsi128_si32(_mm512_maskz_extracti32x4_epi32(0xF, colours, 0)));
    addRunToCopy(copy, grey, int(colour >> 16), int(colour >> 8 & 0xFF), int(colour & 0xFF), 16);
}

// Sixteen deep pixels' 8-bit bins, as bytes B, G, R, 0 of each dword: a word v's bin is
// (v * 255 + 32895) >> 16, the high half of v * 255 plus the carry of its low half + 32895.
TELVO_AVX512 __attribute__((always_inline)) inline __m256i deepBins(__m512i pixels)
{
    const __m512i factor = _mm512_set1_epi16(255);
    const __m512i high = _mm512_mulhi_epu16(pixels, factor);
    const __m512i low = _mm512_mullo_epi16(pixels, factor);
    const __mmask32 carry = _mm512_cmpgt_epu16_mask(low, _mm512_set1_epi16(32640));
    return _mm512_maskz_cvtepi16_epi8(
        kAllWords, _mm512_mask_add_epi16(high, carry, high, _mm512_set1_epi16(1)));
}

// Pixels k * 16 .. k * 16 + 15 of a row of which `available` remain; none past them is read.
TELVO_AVX512 __attribute__((always_inline)) inline __m512i loadSixteen(const uint8_t* px,
                                                                       int available, int k)
{
    const int n = available - 16 * k;
    const __mmask16 mask = n >= 16 ? __mmask16(0xFFFF) : n <= 0 ? 0 : __mmask16((1u << n) - 1);
    return _mm512_maskz_loadu_epi32(mask, px + 64 * k);
}

// Sixteen pixels `step` apart, step 1..4, out of as many loads of sixteen in a row: a permute
// reads an index's low five bits, so one index, lane * step, serves both pairs of loads, and
// `upper` marks the lanes the second pair fills.
TELVO_AVX512 __attribute__((always_inline)) inline __m512i pickNear(const uint8_t* px,
                                                                    int available, int step,
                                                                    __m512i index, __mmask16 upper)
{
    const __m512i zero = _mm512_setzero_si512();
    const __m512i low = _mm512_permutex2var_epi32(loadSixteen(px, available, 0), index,
                                                  step > 1 ? loadSixteen(px, available, 1) : zero);
    if (step <= 2) return low;
    const __m512i high = _mm512_permutex2var_epi32(loadSixteen(px, available, 2), index,
                                                   step > 3 ? loadSixteen(px, available, 3) : zero);
    return _mm512_mask_blend_epi32(upper, low, high);
}

TELVO_AVX512 void countRows(const ConstPlane& rows, int x0, int x1, int step, GridCopy* copies,
                            uint64_t& grey)
{
    Registers reg;
    loadRegisters(reg);
    const int columns = (x1 - x0 + step - 1) / step;
    const __m512i lane = _mm512_set_epi32(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
    const __m512i first = _mm512_mullo_epi32(lane, _mm512_set1_epi32(step));
    const __m512i colourBytes = _mm512_set1_epi32(0x00FFFFFF);
    const bool deep = rows.format == PixelFormat::Bgra64;
    const int width = x1 - x0;
    // The grid rows two ahead are asked for while these are counted: the count rereads rows
    // the histograms read long before, from memory, and waiting for their lines cost about a
    // sixth of it. A block's lines are its pixels' own where those lie a line or more apart,
    // otherwise every line the block spans.
    const int pixelBytes = rows.bytesPerPixel();
    const ptrdiff_t ahead = rows.pitch * kRowsAhead, blockBytes = ptrdiff_t(16) * step * pixelBytes;
    const int prefetchStride = std::max(64, step * pixelBytes);
    const int prefetches = std::min(16, step * pixelBytes / 4);
    const __mmask16 upper = _mm512_cmpge_epi32_mask(first, _mm512_set1_epi32(32));
    for (int y = 0; y < rows.height; ++y) {
        const uint8_t* px = rows.row(y) + static_cast<ptrdiff_t>(x0) * rows.bytesPerPixel();
        __m512i offsets = first;
        for (int c = 0; c < columns; c += 16) {
            const __mmask16 lanes =
                columns - c >= 16 ? __mmask16(0xFFFF) : __mmask16((1u << (columns - c)) - 1);
            if (y + kRowsAhead < rows.height)
                for (int k = 0; k < prefetches; ++k)
                    _mm_prefetch(reinterpret_cast<const char*>(px + ahead + blockBytes * c / 16 +
                                                               prefetchStride * k),
                                 _MM_HINT_T0);
            __m512i colours;
            if (deep) {
                const __m512i a = _mm512_mask_i32gather_epi64(
                    _mm512_setzero_si512(), __mmask8(lanes),
                    _mm512_maskz_extracti64x4_epi64(kAllQuads, offsets, 0), px, 8);
                const __m512i b = _mm512_mask_i32gather_epi64(
                    _mm512_setzero_si512(), __mmask8(lanes >> 8),
                    _mm512_maskz_extracti64x4_epi64(kAllQuads, offsets, 1), px, 8);
                colours = _mm512_maskz_inserti64x4(kAllQuads, _mm512_castsi256_si512(deepBins(a)),
                                                   deepBins(b), 1);
            } else if (step <= 4) {
                colours =
                    pickNear(px + 4 * ptrdiff_t(c) * step, width - c * step, step, first, upper);
            } else {
                colours =
                    _mm512_mask_i32gather_epi32(_mm512_setzero_si512(), lanes, offsets, px, 4);
            }
            colours = _mm512_and_si512(colours, colourBytes);
            if (lanes == kAll && oneColour(colours))
                countSixteenOfOne(colours, copies[0], grey);
            else
                countPixels(colours, lanes, reg, copies, grey);
            offsets = _mm512_add_epi32(offsets, _mm512_set1_epi32(16 * step));
        }
    }
}

}  // namespace

void countBalanceGridAvx512(const ConstPlane& gridRows, int x0, int x1, int step,
                            BalanceCounts& out)
{
    countGridWith(countRows, gridRows, x0, x1, step, out);
}

#else

void countBalanceGridAvx512(const ConstPlane& gridRows, int x0, int x1, int step,
                            BalanceCounts& out)
{
    countBalanceGridScalar(gridRows, x0, x1, step, out);
}

#endif
