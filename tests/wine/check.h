// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// Minimal checks for the stand-alone test programs (no test framework is cross-built):
// each failed check prints where and what, and the program's exit code counts them.
#pragma once

#include <cstdio>

inline int g_checkFailures = 0;

#define CHECK(condition)                                                     \
    do {                                                                     \
        if (!(condition)) {                                                  \
            ++g_checkFailures;                                               \
            std::printf("FAIL %s:%d: %s\n", __FILE__, __LINE__, #condition); \
        }                                                                    \
    } while (0)

#define CHECK_EQ(actual, expected)                                                              \
    do {                                                                                        \
        const long long a_ = static_cast<long long>(actual);                                    \
        const long long e_ = static_cast<long long>(expected);                                  \
        if (a_ != e_) {                                                                         \
            ++g_checkFailures;                                                                  \
            std::printf("FAIL %s:%d: %s is %lld, expected %lld\n", __FILE__, __LINE__, #actual, \
                        a_, e_);                                                                \
        }                                                                                       \
    } while (0)
