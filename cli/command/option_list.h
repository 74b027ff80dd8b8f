// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The command line's options, written once: the parser, --help, the manual page telvo.1
// and --list-options are all made from these rows and from the settings table (one
// option per setting), so a new option is one row and names and ranges cannot drift.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "cli/command/options.h"
#include "plugin/settings_table.h"

// A text option whose value is read by a parser of its own; false with `error` when it
// is not taken.
using TextReader = bool (*)(const std::string& value, CliOptions& options, std::string& error);

struct OptionRow {
    const char* shortName;  // "-f", or null
    const char* longName;   // "--format"
    const char* argument;   // "NAME", or null for an option that takes no value
    // A sentence fragment, lower case, no full stop; '\n' is where --help breaks the
    // line (the manual page fills its own lines).
    const char* help;
    // What the option does: a flag sets its bool; a text is stored as given or read by
    // its reader; an integer, checked against `range`, is stored in its int or int64_t; a
    // ParseResult ends the parse with that result (--help and the like).
    std::variant<ParseResult, bool CliOptions::*, std::string CliOptions::*, TextReader,
                 int CliOptions::*, int64_t CliOptions::*>
        action;
    struct {
        int64_t low, high;
    } range{};
    // For an option that belongs to one pass of a two-pass run only, what --list-options
    // tells programs that split a run into passes: kUseVideo shapes the written video (a
    // measuring pass has none), kUsePlanning says how a plan is made (only the planner
    // takes it). Null: every pass takes it.
    const char* use = nullptr;
};

inline constexpr const char* kUseVideo = "video";
inline constexpr const char* kUsePlanning = "planning";

// The text around the options; '\n' breaks a line in --help only.
inline constexpr const char* kCliSynopsis = "telvo INPUT OUTPUT [options]";
inline constexpr const char* kCliSummary =
    "Corrects white balance and tonal range of a video, frame by frame.";
inline constexpr const char* kCliInputText =
    "INPUT is anything FFmpeg reads (video file, image sequence such as img%04d.png, "
    "image;\n- is standard input).";
inline constexpr const char* kCliOutputText =
    "OUTPUT's extension picks the container (-f overrides); use -f null - to discard.";
inline constexpr const char* kCliExitText = "Exit codes: 0 success, 1 failure, 2 usage error.";

// --config's reader: the script line into every script setting.
bool readConfigOption(const std::string& line, CliOptions& options, std::string& error);

// --planning's reader: scene or smooth:N.
bool readPlanningOption(const std::string& value, CliOptions& options, std::string& error);
// --plan's reader: one plan a run.
bool readPlanOption(const std::string& value, CliOptions& options, std::string& error);

// Before the settings' own options: the whole script line at once.
inline constexpr OptionRow kConfigOption = {nullptr, "--config", "\"Config(g,a,b,t,l,r,bo,f)\"",
                                            "the script line the host saves; any ints",
                                            &readConfigOption};

constexpr int64_t kFrameLimit = INT32_MAX;

// The command line's own options, in --help's order. In a help text "{range}" stands for
// the row's range, "{low}" for its lower end.
inline constexpr OptionRow kOutputOptions[] = {
    {"-f",
     "--format",
     "NAME",
     "output container (any FFmpeg muxer, e.g. mp4, matroska, null)",
     &CliOptions::format,
     {},
     kUseVideo},
    {nullptr,
     "--codec",
     "NAME",
     "video encoder (default: libx264 for mp4/mkv/mov, png for images,\nthe muxer's default "
     "otherwise)",
     &CliOptions::codec,
     {},
     kUseVideo},
    {nullptr,
     "--crf",
     "N",
     "quality for encoders with a CRF scale, {range} (default 18 for libx264)",
     &CliOptions::crf,
     {0, 63},
     kUseVideo},
    {nullptr,
     "--lossless",
     nullptr,
     "FFV1, frames kept as the filter's RGB output bit for bit (.mkv)",
     &CliOptions::lossless,
     {},
     kUseVideo},
    {nullptr, "--eight-bit", nullptr,
     "filter input deeper than 8 bits at 8 bits per channel, as earlier\nversions did "
     "(default: 16 bits per channel for such input)",
     &CliOptions::eightBit},
    {nullptr, "--allow-hdr", nullptr,
     "correct PQ or HLG (HDR) input instead of refusing it; the curves\nare made for SDR "
     "pictures",
     &CliOptions::allowHdr},
    {nullptr, "--stats", "FILE", "per-frame levels and correction values, FILE.csv or FILE.jsonl",
     &CliOptions::statsPath},
    {nullptr, "--plot", "FILE", "those values over time as a chart, FILE.png or FILE.svg",
     &CliOptions::plotPath},
    {nullptr,
     "--preview",
     "N",
     "write frame N before and after, side by side, to OUTPUT (.png)",
     &CliOptions::previewFrame,
     {0, kFrameLimit}},
    {nullptr, "--analyse", "PLAN",
     "pass 1 of two: measure every frame, find the scenes and write the\nplan to PLAN "
     "(no OUTPUT; docs/two-pass.md)",
     &CliOptions::analysePath},
    {nullptr,
     "--planning",
     "MODE",
     "how --analyse plans: scene (one correction per scene, the default)\nor smooth:N (a "
     "centred window of N frames within a scene)",
     &readPlanningOption,
     {},
     kUsePlanning},
    {nullptr, "--plan-from", "MEASURES",
     "with --analyse and no INPUT: plan from pass 1's measurements\n(joined parts, as "
     "telvo-farm makes them)",
     &CliOptions::planFrom},
    {nullptr, "--plan", "PLAN",
     "pass 2 of two: apply PLAN's correction to every frame (no pre-roll)", &readPlanOption},
    {nullptr,
     "--start",
     "N",
     "first frame to output, 0-based (default 0)",
     &CliOptions::start,
     {0, kFrameLimit}},
    {nullptr,
     "--frames",
     "K",
     "number of frames to output, >= {low} (default: to the end)",
     &CliOptions::frames,
     {1, kFrameLimit}},
    {"-q", "--quiet", nullptr, "no summary, progress bar or FFmpeg input warnings",
     &CliOptions::quiet},
    {nullptr, "--timing", nullptr,
     "at the end, print the time spent decoding, converting, filtering\nand encoding",
     &CliOptions::timing},
    {"-v", "--verbose", nullptr, "show every FFmpeg message as it comes", &CliOptions::verbose},
    {"-h", "--help", nullptr, "print this usage and exit", ParseResult::Help},
    {nullptr, "--version", nullptr, "print the version and exit", ParseResult::Version},
    {nullptr, "--list-options", nullptr,
     "print every option for programs, one per line: the name, flag, text\nor integer, and "
     "an integer's range (tab-separated); exit",
     ParseResult::ListOptions},
    {nullptr, "--check-options", nullptr,
     "check the whole command line (values, options that exclude each\nother) and exit: 0 "
     "or 2 with the usage error; opens no file",
     ParseResult::CheckOptions},
};

// The option a command-line word names ("-f", "--format"); null for none of these rows.
const OptionRow* findOption(std::string_view name);

// One option as both renderers show it: "-f, --format", its argument, its help.
struct OptionText {
    std::string names;
    std::string argument;  // empty for a flag
    std::string help;      // '\n' where --help breaks the line
};

OptionText optionText(const OptionRow& option);

// --config, then one option per row of the settings table, with its range and default.
std::vector<OptionText> filterOptionTexts();

std::vector<OptionText> outputOptionTexts();

// What --list-options prints: one line per option name, "NAME\tKIND" with KIND flag,
// text, integer or exit, and for an integer "\tLOW..HIGH"; an option of one pass only
// adds its use as a fourth field (the third then empty for a non-integer). The short and
// long names of one option each get a line. Programs that run telvo (telvo-farm) read it instead of
// keeping their own copy of the options.
std::string optionListing();
