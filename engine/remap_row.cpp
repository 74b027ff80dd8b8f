// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "engine/remap_row.h"

#include "engine/pixel.h"

void remapRowScalar(const RemapTables& tables, const uint8_t* in, uint8_t* out, int width)
{
    for (int x = 0; x < width; ++x, in += 4, out += 4)
        storePixel(out, remapPixel(tables, loadPixel(in)));
}
