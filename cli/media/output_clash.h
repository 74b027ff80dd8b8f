// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// Refuses a run before it writes anything when an output would replace a file the input
// reads, or two outputs would write the same file. Outputs are written under temporary
// names and renamed at the end, so such a run would end by destroying its own input or
// one of its results. A name longer than its file system allows is refused here too,
// rather than when the finished file is renamed onto it.
#pragma once

#include <string>
#include <vector>

struct NamedOutput {
    std::string option;     // how the command line names it: "OUTPUT", "--stats", ...
    std::string path;       // as given
    bool sequence = false;  // a numbered image sequence: the file name holds a %d pattern
};

// The usage message for the first clash (or overlong name) found; empty when every
// output stands apart.
// The input is what FFmpeg would read: a file (also as file:NAME), or every existing
// frame of a numbered image sequence; other protocols name no local file. `read` are
// other files the run reads (the plan of --plan), guarded as the input is.
std::string findOutputClash(const std::string& input, const std::vector<NamedOutput>& outputs,
                            const std::vector<NamedOutput>& read = {});

// True when the numbered image pattern `pattern` (a file name with a %d) makes `name`.
bool patternNames(const std::string& pattern, const std::string& name);
