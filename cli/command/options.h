// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The command line: positional INPUT and OUTPUT, the filter's settings and the host's
// own switches. Parsing only; nothing here touches a file.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "plugin/settings_table.h"

struct CliOptions {
    std::string input;
    std::string output;
    std::string format;  // -f: muxer name; empty = from OUTPUT's extension

    SettingValues settings = defaultSettingValues();  // every filter setting, table order
    // The settings the command line names (by option or in --config): a plan checks them.
    std::array<bool, kSettingCount> given{};

    bool lossless = false;
    bool eightBit = false;  // filter deeper input at 8 bits per channel, as before
    bool allowHdr = false;  // correct PQ and HLG input instead of refusing it
    std::string codec;      // empty = the container's default
    int crf = -1;           // -1 = the codec's default as chosen by telvo

    std::string statsPath;
    std::string plotPath;
    int64_t previewFrame = -1;  // >= 0: write frame N before/after as one PNG instead

    std::string analysePath;         // pass 1: measure every frame and write this plan; no OUTPUT
    std::string planning = "scene";  // how pass 1 plans: scene or smooth:N
    bool planningGiven = false;
    std::string planPath;  // pass 2: apply this plan's corrections
    std::string planFrom;  // plan from these joined measurements, no INPUT

    int64_t start = 0;    // first output frame
    int64_t frames = -1;  // -1 = to the end

    bool quiet = false;
    bool timing = false;  // report where the time went (for benchmarks)
    bool verbose = false;
};

// Run: go on with the job; the others end the command: print the usage, the version or
// the option listing (--list-options), report a usage error, or (--check-options) say
// that the whole command line is sound without opening anything.
enum class ParseResult { Run, Help, Version, ListOptions, UsageError, CheckOptions };

ParseResult parseOptions(int argc, char** argv, CliOptions& options, std::string& error);

const char* usageText();
