// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// A frame's YUV interpretation, both ways. OBS hands every YUV frame the matrix its own
// shaders draw it with: codes normalised to 0..1 (code / (2^bits - 1)), clamped to the
// range's limits, then rgb = M (y, u, v, 1). The filter converts with exactly that matrix
// and its inverse, so a frame the filter leaves alone looks as OBS would have shown it,
// whatever the source tagged: BT.601, BT.709 or BT.2020, limited or full range.
#pragma once

#include <cstdint>

struct YuvMatrix {
    float toRgb[3][4];    // rgb = toRgb (y, u, v, 1), all normalised
    float fromRgb[3][4];  // (y, u, v) = fromRgb (r, g, b, 1)
    float low[3], high[3];
};

// From OBS's row-major 4 x 4 `matrix` and the range limits; false when the matrix cannot
// be inverted (a source that left it unset).
bool makeYuvMatrix(const float matrix[16], const float low[3], const float high[3], YuvMatrix& out);

// The matrix scaled for one depth of codes and one of RGB, so a row converts with one
// multiply-add per term: rgb = k (y, u, v, 1) on codes clamped to lowCode..highCode, and
// back, code = e (r, g, b, 1).
struct CodeMatrix {
    float k[3][4];
    float e[3][4];
    float lowCode[3], highCode[3];
    float codeMax, rgbMax;
};

CodeMatrix scaleYuvMatrix(const YuvMatrix& m, int codeBits, int rgbBits);
