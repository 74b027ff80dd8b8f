// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "obs/yuv_matrix.h"

#include <cmath>

bool makeYuvMatrix(const float matrix[16], const float low[3], const float high[3], YuvMatrix& out)
{
    double a[3][3];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) a[i][j] = matrix[4 * i + j];
    const double det = a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) -
                       a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
                       a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
    if (!std::isfinite(det) || std::fabs(det) < 1e-6) return false;
    double inv[3][3];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            // The cofactor of a[j][i], over the determinant.
            const int r0 = (j + 1) % 3, r1 = (j + 2) % 3, c0 = (i + 1) % 3, c1 = (i + 2) % 3;
            inv[i][j] = (a[r0][c0] * a[r1][c1] - a[r0][c1] * a[r1][c0]) / det;
        }
    for (int i = 0; i < 3; ++i) {
        double offset = 0.0;
        for (int j = 0; j < 3; ++j) {
            out.toRgb[i][j] = matrix[4 * i + j];
            out.fromRgb[i][j] = static_cast<float>(inv[i][j]);
            offset -= inv[i][j] * matrix[4 * j + 3];
        }
        out.toRgb[i][3] = matrix[4 * i + 3];
        out.fromRgb[i][3] = static_cast<float>(offset);
        out.low[i] = low[i];
        out.high[i] = high[i];
    }
    return true;
}

CodeMatrix scaleYuvMatrix(const YuvMatrix& m, int codeBits, int rgbBits)
{
    CodeMatrix c{};
    c.codeMax = static_cast<float>((1 << codeBits) - 1);
    c.rgbMax = static_cast<float>((1 << rgbBits) - 1);
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            c.k[i][j] = m.toRgb[i][j] * c.rgbMax / c.codeMax;
            c.e[i][j] = m.fromRgb[i][j] * c.codeMax / c.rgbMax;
        }
        c.k[i][3] = m.toRgb[i][3] * c.rgbMax;
        c.e[i][3] = m.fromRgb[i][3] * c.codeMax;
        c.lowCode[i] = m.low[i] * c.codeMax;
        c.highCode[i] = m.high[i] * c.codeMax;
    }
    return c;
}
