// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "engine/remap.h"

#include <cmath>

uint8_t remapComponent(int v, double black, double reciprocalSpan, double exponent)
{
    const double t = (static_cast<double>(v) - black) * reciprocalSpan;
    const double s = std::pow(t, exponent) * 255.0;
    return channelByteFromReal(s);
}

// Written out again on purpose, so that a change to the fast path's arithmetic shows
// up as a mismatch instead of changing both sides.
uint8_t remapComponentReference(int v, const ChannelCurve& curve)
{
    const double reciprocalSpan = 1.0 / (curve.white - curve.black);
    const double t = (static_cast<double>(v) - curve.black) * reciprocalSpan;
    const double s = std::pow(t, curve.exponent) * 255.0;
    if (std::isnan(s)) return 0;
    const double n = std::round(s);
    return n < 0 ? 0 : n > 255 ? 255 : static_cast<uint8_t>(n);
}

void buildRemapTables(const ChannelCurve& r, const ChannelCurve& g, const ChannelCurve& b,
                      RemapTables& out)
{
    const double invR = 1.0 / (r.white - r.black);
    const double invG = 1.0 / (g.white - g.black);
    const double invB = 1.0 / (b.white - b.black);
    for (int v = 0; v < 256; ++v) {
        const uint8_t red = remapComponent(v, r.black, invR, r.exponent);
        const uint8_t green = remapComponent(v, g.black, invG, g.exponent);
        const uint8_t blue = remapComponent(v, b.black, invB, b.exponent);
        out.r[v] = uint32_t(red) << 16;
        out.g[v] = uint32_t(green) << 8;
        out.b[v] = uint32_t(blue);
        out.bytes[0][v] = blue;
        out.bytes[1][v] = green;
        out.bytes[2][v] = red;
    }
}
