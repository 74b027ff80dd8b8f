// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// One row of pixels through the frame's tables: out pixel x = remapPixel(tables, in
// pixel x) for x < width, top byte cleared. Every kernel writes exactly these bytes and
// nothing outside the row; in and out may be the same row, or must not overlap.
//
// The scalar loop is the reference and runs everywhere. The AVX-512 VBMI kernel holds
// the three 256-byte tables in twelve registers and looks up 64 bytes at a time with
// two-table byte permutes (vpermt2b, 128 entries each); AVX2 has no byte permute wider
// than 16 entries and its gathers measured slower than the scalar loop, so it has none.
#pragma once

#include <cstdint>

#include "engine/remap.h"

using RemapRowFunction = void (*)(const RemapTables& tables, const uint8_t* in, uint8_t* out,
                                  int width);

void remapRowScalar(const RemapTables& tables, const uint8_t* in, uint8_t* out, int width);

// Only ever called where detectedCpuLevel() is Avx512Vbmi (engine/kernel_table.h chooses);
// off x86 it is the scalar loop.
void remapRowAvx512Vbmi(const RemapTables& tables, const uint8_t* in, uint8_t* out, int width);
