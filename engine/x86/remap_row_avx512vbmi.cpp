// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The AVX-512 VBMI row remap. Compiled with a target attribute on the functions, not a
// file-wide flag, so nothing else in this file (inline library code included) can carry
// AVX-512 instructions into the baseline build.
//
// Every vector lives in a register: twelve table registers, the pixels and the result
// fit the 32 zmm registers, and the helper is always inlined (a __m512i passed by value
// on Windows would go through the stack). mingw-w64 does not align the stack to 64
// bytes, so a spilled zmm stored with an aligned move would fault there; the Windows
// build additionally assembles this file with unaligned moves only.
#include "engine/remap_row.h"

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

#define TELVO_AVX512VBMI __attribute__((target("avx512f,avx512bw,avx512vbmi")))

namespace
{

struct ChannelRegisters {
    __m512i low0, low1;    // table entries 0..127
    __m512i high0, high1;  // table entries 128..255
};

// Every byte of `pixels` looked up in its own channel's table, top bytes zero. The
// permutes read only an index's low seven bits; its top bit picks the table half. Each
// channel is looked up for all 64 bytes and the bytes are then picked by position:
// zero-masked permutes, which would skip the picking, ran at half the speed on Zen 4.
TELVO_AVX512VBMI __attribute__((always_inline)) inline __m512i lookup(__m512i pixels,
                                                                      const ChannelRegisters& blue,
                                                                      const ChannelRegisters& green,
                                                                      const ChannelRegisters& red)
{
    constexpr __mmask64 kBlue = 0x1111111111111111ull, kGreen = kBlue << 1, kRed = kBlue << 2;
    const __mmask64 high = _mm512_movepi8_mask(pixels);
    const __m512i b =
        _mm512_mask_blend_epi8(high, _mm512_permutex2var_epi8(blue.low0, pixels, blue.low1),
                               _mm512_permutex2var_epi8(blue.high0, pixels, blue.high1));
    const __m512i g =
        _mm512_mask_blend_epi8(high, _mm512_permutex2var_epi8(green.low0, pixels, green.low1),
                               _mm512_permutex2var_epi8(green.high0, pixels, green.high1));
    const __m512i r =
        _mm512_mask_blend_epi8(high, _mm512_permutex2var_epi8(red.low0, pixels, red.low1),
                               _mm512_permutex2var_epi8(red.high0, pixels, red.high1));
    const __m512i bg = _mm512_mask_blend_epi8(kGreen, b, g);
    return _mm512_maskz_mov_epi8(kBlue | kGreen | kRed, _mm512_mask_blend_epi8(kRed, bg, r));
}

TELVO_AVX512VBMI __attribute__((always_inline)) inline ChannelRegisters channelRegisters(
    const uint8_t* table)
{
    return {_mm512_loadu_si512(table), _mm512_loadu_si512(table + 64),
            _mm512_loadu_si512(table + 128), _mm512_loadu_si512(table + 192)};
}

}  // namespace

TELVO_AVX512VBMI void remapRowAvx512Vbmi(const RemapTables& tables, const uint8_t* in, uint8_t* out,
                                         int width)
{
    const ChannelRegisters blue = channelRegisters(tables.bytes[0]);
    const ChannelRegisters green = channelRegisters(tables.bytes[1]);
    const ChannelRegisters red = channelRegisters(tables.bytes[2]);
    int x = 0;
    for (; x + 16 <= width; x += 16, in += 64, out += 64)
        _mm512_storeu_si512(out, lookup(_mm512_loadu_si512(in), blue, green, red));
    if (x < width) {
        // The last 1..15 pixels through byte masks: masked-off bytes are neither read
        // (no fault past the buffer's end) nor written.
        const __mmask64 rest = ~0ull >> (64 - 4 * (width - x));
        const __m512i pixels = _mm512_maskz_loadu_epi8(rest, in);
        _mm512_mask_storeu_epi8(out, rest, lookup(pixels, blue, green, red));
    }
}

#else

void remapRowAvx512Vbmi(const RemapTables& tables, const uint8_t* in, uint8_t* out, int width)
{
    remapRowScalar(tables, in, out, width);
}

#endif
