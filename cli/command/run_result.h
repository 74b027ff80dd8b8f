// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// How a run ends: the process exit code and the one line that explains a failure.
#pragma once

#include <string>

enum ExitCode { kExitOk = 0, kExitFailure = 1, kExitUsage = 2 };

struct RunResult {
    int code = kExitOk;
    std::string message;  // empty on success

    static RunResult ok() { return {}; }
    static RunResult failure(std::string m) { return {kExitFailure, std::move(m)}; }
    static RunResult usage(std::string m) { return {kExitUsage, std::move(m)}; }
};
