// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// Sweeps the engine's tone curves over many black points, white points and exponents,
// ordinary and extreme (zero, negative, huge, infinite, NaN, black = white or above
// white), and prints one hash of all the remap tables, one of rows remapped through them
// by the row kernel the CPU level chose, and that kernel's name. Built natively and for
// Windows: the curves go through the C library's pow, which differs between the
// platforms in the last bits for some arguments, and the hashes show whether any output
// byte follows; under wine the Windows build runs its own (vector) kernel, or the scalar
// one with TELVO_CPU=scalar.
//
// usage: telvo_curve_runner [curve-count]
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "engine/cpu_level.h"
#include "engine/kernel_table.h"
#include "engine/remap.h"

namespace
{

uint64_t g_state = 0x9E3779B97F4A7C15ull;

uint64_t nextRandom()
{
    g_state ^= g_state << 13;
    g_state ^= g_state >> 7;
    g_state ^= g_state << 17;
    return g_state;
}

double pick(const double* values, size_t count)
{
    return values[nextRandom() % count];
}

ChannelCurve randomCurve(bool extreme)
{
    constexpr double inf = std::numeric_limits<double>::infinity();
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    static const double exponents[] = {0.0, -0.0, -1.0, -2.5, 1e-300, 1e300,     inf,  -inf,
                                       nan, 1.0,  2.0,  0.5,  3.0,    1.0 / 3.0, 40.0, -40.0};
    static const double points[] = {0.0, 255.0, 128.0, -10.0, 300.0, 1e308, -1e308, inf, nan};
    ChannelCurve c;
    c.black = double(nextRandom() % 120);
    c.white = double(130 + nextRandom() % 126);
    c.exponent = 0.2 + double(nextRandom() % 1000000) / 300000.0;
    if (extreme) {
        switch (nextRandom() % 4) {
            case 0:
                c.exponent = pick(exponents, sizeof exponents / sizeof *exponents);
                break;
            case 1:
                c.white = c.black;
                break;
            case 2:
                c.black = pick(points, sizeof points / sizeof *points);
                break;
            default:
                c.white = pick(points, sizeof points / sizeof *points);
                break;
        }
    }
    return c;
}

}  // namespace

int main(int argc, char** argv)
{
    const long count = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 50000;
    RemapTables tables;
    uint64_t hash = 1469598103934665603ull, rowHash = hash;
    const CpuLevel level = cpuLevel();
    const RemapRowFunction remapRow = kernelsFor(level).remapRow;
    // Every input value in every channel, junk in the top bytes, and a 3-pixel tail.
    uint32_t in[259], out[259];
    for (int x = 0; x < 259; ++x)
        in[x] = uint32_t(nextRandom() & 0xFF000000u) | uint32_t(x & 255) << 16 |
                uint32_t((x * 11) & 255) << 8 | uint32_t(255 - (x & 255));
    for (long i = 0; i < count; ++i) {
        const bool extreme = i % 8 == 0;
        const ChannelCurve r = randomCurve(extreme), g = randomCurve(extreme),
                           b = randomCurve(extreme);
        buildRemapTables(r, g, b, tables);
        for (int v = 0; v < 256; ++v) {
            hash ^= tables.r[v] | tables.g[v] | tables.b[v];
            hash *= 1099511628211ull;
        }
        if (i % 16 == 0) {
            remapRow(tables, reinterpret_cast<const uint8_t*>(in), reinterpret_cast<uint8_t*>(out),
                     259);
            for (uint32_t p : out) {
                rowHash ^= p;
                rowHash *= 1099511628211ull;
            }
        }
    }
    std::printf("%ld curves %016llx rows %016llx kernel %s\n", count,
                static_cast<unsigned long long>(hash), static_cast<unsigned long long>(rowHash),
                cpuLevelName(level));
    return 0;
}
