// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The balance grid's count with AVX2, for processors without AVX-512 VBMI: eight grid pixels
// loaded at once, their brightest levels and near-grey flags computed side by side, then the
// additions one pixel after another without a branch, as the AVX-512 kernel does: a pixel
// off the plane goes to a bin of its own, one not near grey to a slot past each histogram's
// end, neither of them ever read. Two copies of the tables keep a run of pixels in one bin
// from making each addition wait for the one before; a bin's pixel count and three sums
// are one 128-bit addition; eight grid pixels of one colour, a flat area, are added at once;
// the grid rows two ahead are asked for while these are counted.
//
// Without a byte permute over 256 entries, the exponent table is looked up in the additions'
// loop, from a copy widened to dwords, and the pixels are fetched by plain loads: AVX2 gathers,
// slow where microcode patches them, made this kernel slower than the scalar loop (measured
// 6.5 ns a grid pixel against 5.7; 4.0 with plain loads).
#include <algorithm>
#include <cstring>

#include "engine/balance_counts.h"
#include "engine/x86/balance_grid_copies.h"

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

#define TELVO_AVX2 __attribute__((target("avx2")))

namespace
{

constexpr int kRowsAhead = 2;  // grid rows between a prefetch and the count that reads it

// Up to eight pixels 0x00RRGGBB (those whose `lanes` dword is all ones; the others zero) into
// the copies.
TELVO_AVX2 __attribute__((always_inline)) inline void countPixels(__m256i colours, __m256i lanes,
                                                                  const int32_t* table,
                                                                  GridCopy* copies, uint64_t& grey)
{
    const __m256i byte = _mm256_set1_epi32(0xFF);
    const __m256i b = _mm256_and_si256(colours, byte);
    const __m256i g = _mm256_and_si256(_mm256_srli_epi32(colours, 8), byte);
    const __m256i r = _mm256_srli_epi32(colours, 16);
    const __m256i hi = _mm256_max_epu32(_mm256_max_epu32(r, g), b);
    const __m256i lo = _mm256_min_epu32(_mm256_min_epu32(r, g), b);
    // nearGrey(): both sides below 2^17, so the signed comparison is exact, and hi * 102 below
    // 2^16, so a 16-bit multiply leaves each high word zero.
    const __m256i spread = _mm256_slli_epi32(_mm256_sub_epi32(hi, lo), 8);
    const __m256i allowance = _mm256_add_epi32(_mm256_mullo_epi16(hi, _mm256_set1_epi32(102)),
                                               _mm256_set1_epi32(6 * 256));
    const __m256i nearGrey = _mm256_andnot_si256(_mm256_cmpgt_epi32(spread, allowance), lanes);

    // exponentBinOf()'s level range here; its table lookups below, one pixel at a time.
    __m256i inRange = _mm256_and_si256(lanes, _mm256_cmpgt_epi32(hi, _mm256_set1_epi32(23)));
    inRange = _mm256_and_si256(inRange, _mm256_cmpgt_epi32(_mm256_set1_epi32(251), hi));
    const auto levelsOn = unsigned(_mm256_movemask_ps(_mm256_castsi256_ps(inRange)));

    // Each pixel's slots in the histograms: a pixel not near grey goes to the slot past each
    // histogram's end.
    const __m256i past = _mm256_set1_epi32(256);
    const __m256i row = _mm256_set1_epi32(kNeutralRow);
    uint32_t slots[3][8], colour[8];
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(slots[0]),
                        _mm256_blendv_epi8(past, r, nearGrey));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(slots[1]),
                        _mm256_add_epi32(row, _mm256_blendv_epi8(past, g, nearGrey)));
    _mm256_storeu_si256(
        reinterpret_cast<__m256i*>(slots[2]),
        _mm256_add_epi32(_mm256_add_epi32(row, row), _mm256_blendv_epi8(past, b, nearGrey)));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(colour),
                        _mm256_or_si256(colours, _mm256_set1_epi32(0x01000000)));
    // Read back through memory: loads rather than extracts, which queue on the shuffle port.
    __asm__("" : "+m"(slots), "+m"(colour));
#pragma GCC unroll 8
    for (int i = 0; i < 8; ++i) {
        GridCopy& c = copies[i % kGridCopies];
        const int eg = table[colour[i] >> 8 & 0xFF];
        const auto x = unsigned(table[colour[i] >> 16 & 0xFF] - eg + kExponentBins / 2);
        const auto y = unsigned(table[colour[i] & 0xFF] - eg + kExponentBins / 2);
        const bool onPlane = (levelsOn >> i & 1) != 0 && (x | y) < unsigned(kExponentBins);
        const unsigned at = onPlane ? x * kExponentBins + y : unsigned(kOffPlane);
        auto* bin = reinterpret_cast<__m128i*>(&c.bins[at]);
        const __m128i add = _mm_cvtepu8_epi32(_mm_cvtsi32_si128(int(colour[i])));
        _mm_storeu_si128(bin, _mm_add_epi32(_mm_loadu_si128(bin), add));
        ++c.neutral[slots[0][i]];
        ++c.neutral[slots[1][i]];
        ++c.neutral[slots[2][i]];
    }
    grey +=
        uint64_t(__builtin_popcount(unsigned(_mm256_movemask_ps(_mm256_castsi256_ps(nearGrey)))));
}

// Eight grid pixels of one colour: a flat area.
TELVO_AVX2 __attribute__((always_inline)) inline bool oneColour(__m256i colours)
{
    const __m256i first = _mm256_broadcastd_epi32(_mm256_castsi256_si128(colours));
    return _mm256_movemask_epi8(_mm256_cmpeq_epi32(colours, first)) == -1;
}

TELVO_AVX2 __attribute__((always_inline)) inline void countEightOfOne(__m256i colours,
                                                                      GridCopy& copy,
                                                                      uint64_t& grey)
{
    const auto colour = uint32_t(_mm_cvtsi128_si32(_mm256_castsi256_si128(colours)));
    addRunToCopy(copy, grey, int(colour >> 16), int(colour >> 8 & 0xFF), int(colour & 0xFF), 8);
}

// Four deep pixels' words to their 8-bit bins: a word v's bin is (v * 255 + 32895) >> 16, the
// high half of v * 255 plus the carry of its low half + 32895.
TELVO_AVX2 __attribute__((always_inline)) inline __m256i deepBins(__m256i pixels)
{
    const __m256i factor = _mm256_set1_epi16(255);
    const __m256i high = _mm256_mulhi_epu16(pixels, factor);
    const __m256i low = _mm256_mullo_epi16(pixels, factor);
    const __m256i limit = _mm256_set1_epi16(32641);
    const __m256i carry = _mm256_cmpeq_epi16(_mm256_max_epu16(low, limit), low);  // low > 32640
    return _mm256_sub_epi16(high, carry);
}

// Eight deep pixels `step` apart (or the `available` left) as bytes B, G, R, 0.
TELVO_AVX2 __attribute__((always_inline)) inline __m256i loadEightDeep(const uint8_t* px,
                                                                       int available, int step)
{
    uint64_t p[8] = {};
    const int n = std::min(8, available);
    for (int i = 0; i < n; ++i) std::memcpy(&p[i], px + 8 * ptrdiff_t(i) * step, 8);
    const __m256i a =
        _mm256_setr_epi64x(int64_t(p[0]), int64_t(p[1]), int64_t(p[2]), int64_t(p[3]));
    const __m256i b =
        _mm256_setr_epi64x(int64_t(p[4]), int64_t(p[5]), int64_t(p[6]), int64_t(p[7]));
    // The pack works within each 128-bit half: pixels 0, 1, 4, 5, 2, 3, 6, 7, put back in order.
    const __m256i packed = _mm256_packus_epi16(deepBins(a), deepBins(b));
    return _mm256_permute4x64_epi64(packed, 0xD8);
}

// Grid pixels c, c + step, ... of a row's eight (or the `available` left), by plain loads:
// gathers cost more than the loads they replace on processors that patch them in microcode.
TELVO_AVX2 __attribute__((always_inline)) inline __m256i loadEight(const uint8_t* px, int available,
                                                                   int step)
{
    uint32_t p[8] = {};
    const int n = std::min(8, available);
    for (int i = 0; i < n; ++i) std::memcpy(&p[i], px + 4 * ptrdiff_t(i) * step, 4);
    return _mm256_setr_epi32(int(p[0]), int(p[1]), int(p[2]), int(p[3]), int(p[4]), int(p[5]),
                             int(p[6]), int(p[7]));
}

TELVO_AVX2 void countRows(const ConstPlane& rows, int x0, int x1, int step, GridCopy* copies,
                          uint64_t& grey)
{
    int32_t table[256];
    const int16_t* exponents = exponentTable();
    for (int v = 0; v < 256; ++v) table[v] = exponents[v];
    const int columns = (x1 - x0 + step - 1) / step;
    const __m256i lane = _mm256_set_epi32(7, 6, 5, 4, 3, 2, 1, 0);
    const __m256i colourBytes = _mm256_set1_epi32(0x00FFFFFF);
    const bool deep = rows.format == PixelFormat::Bgra64;
    // A block's lines are its pixels' own where those lie a line or more apart, otherwise
    // every line the block spans.
    const int pixelBytes = rows.bytesPerPixel();
    const ptrdiff_t ahead = rows.pitch * kRowsAhead, blockBytes = ptrdiff_t(8) * step * pixelBytes;
    const int prefetchStride = std::max(64, step * pixelBytes);
    const int prefetches = std::clamp(step * pixelBytes / 8, 1, 8);
    for (int y = 0; y < rows.height; ++y) {
        const uint8_t* px = rows.row(y) + static_cast<ptrdiff_t>(x0) * pixelBytes;
        for (int c = 0; c < columns; c += 8) {
            const __m256i lanes =
                _mm256_cmpgt_epi32(_mm256_set1_epi32(columns - c), lane);  // lane < remaining
            if (y + kRowsAhead < rows.height)
                for (int k = 0; k < prefetches; ++k)
                    _mm_prefetch(reinterpret_cast<const char*>(px + ahead + blockBytes * c / 8 +
                                                               prefetchStride * k),
                                 _MM_HINT_T0);
            __m256i colours;
            if (deep)
                colours = loadEightDeep(px + 8 * ptrdiff_t(c) * step, columns - c, step);
            else
                colours = loadEight(px + 4 * ptrdiff_t(c) * step, columns - c, step);
            colours = _mm256_and_si256(colours, colourBytes);
            if (columns - c >= 8 && oneColour(colours))
                countEightOfOne(colours, copies[0], grey);
            else
                countPixels(colours, lanes, table, copies, grey);
        }
    }
}

}  // namespace

void countBalanceGridAvx2(const ConstPlane& gridRows, int x0, int x1, int step, BalanceCounts& out)
{
    countGridWith(countRows, gridRows, x0, x1, step, out);
}

#else

void countBalanceGridAvx2(const ConstPlane& gridRows, int x0, int x1, int step, BalanceCounts& out)
{
    countBalanceGridScalar(gridRows, x0, x1, step, out);
}

#endif
