// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// What the fuzz targets share: a failed expectation prints what broke and aborts, which
// libFuzzer reports as a crash and keeps the input that caused it; and settings drawn
// from the input as a script may hold them.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <climits>
#include <cstdio>
#include <cstdlib>

inline void require(bool ok, const char* what)
{
    if (ok) return;
    std::fprintf(stderr, "fuzz expectation failed: %s\n", what);
    std::abort();
}

// Mostly in or near the dialog's ranges, sometimes an edge of int, sometimes any int.
inline int anyScriptValue(FuzzedDataProvider& in)
{
    switch (in.ConsumeIntegralInRange(0, 3)) {
        case 0:
            return in.ConsumeIntegralInRange(-3, 70);
        case 1:
            return in.PickValueInArray({INT_MIN, INT_MIN + 1, -1, 0, 1, 2, INT_MAX - 1, INT_MAX});
        default:
            return in.ConsumeIntegral<int>();
    }
}
