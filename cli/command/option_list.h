// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The command line's documentation, written once: --help and the manual page telvo.1
// are both made from these rows and from the settings table, so they cannot drift.
#pragma once

#include <string>
#include <vector>

#include "plugin/settings_table.h"

struct OptionDoc {
    const char* shortName;  // "-f", or null
    const char* longName;   // "--format"
    const char* argument;   // "NAME", or null for a flag
    // A sentence fragment, lower case, no full stop; '\n' is where --help breaks the
    // line (the manual page fills its own lines).
    const char* help;
};

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

// Before the settings' own options: the whole script line at once.
inline constexpr OptionDoc kConfigOption = {nullptr, "--config", "\"Config(g,a,b,t,l,r,bo,f)\"",
                                            "the script line the host saves; any ints"};

inline constexpr OptionDoc kOutputOptions[] = {
    {"-f", "--format", "NAME", "output container (any FFmpeg muxer, e.g. mp4, matroska, null)"},
    {nullptr, "--codec", "NAME",
     "video encoder (default: libx264 for mp4/mkv/mov, png for images,\nthe muxer's default "
     "otherwise)"},
    {nullptr, "--crf", "N",
     "quality for encoders with a CRF scale, 0..63 (default 18 for libx264)"},
    {nullptr, "--lossless", nullptr,
     "FFV1, frames kept as the filter's RGB output bit for bit (.mkv)"},
    {nullptr, "--stats", "FILE", "per-frame levels and correction values, FILE.csv or FILE.jsonl"},
    {nullptr, "--plot", "FILE", "those values over time as a chart, FILE.png or FILE.svg"},
    {nullptr, "--preview", "N", "write frame N before and after, side by side, to OUTPUT (.png)"},
    {nullptr, "--start", "N", "first frame to output, 0-based (default 0)"},
    {nullptr, "--frames", "K", "number of frames to output, >= 1 (default: to the end)"},
    {"-q", "--quiet", nullptr, "no summary, progress bar or FFmpeg input warnings"},
    {nullptr, "--timing", nullptr,
     "at the end, print the time spent decoding, converting, filtering\nand encoding"},
    {"-v", "--verbose", nullptr, "show every FFmpeg message as it comes"},
    {"-h", "--help", nullptr, "print this usage and exit"},
    {nullptr, "--version", nullptr, "print the version and exit"},
};

// One option as both renderers show it: "-f, --format", its argument, its help.
struct OptionText {
    std::string names;
    std::string argument;  // empty for a flag
    std::string help;      // '\n' where --help breaks the line
};

OptionText optionText(const OptionDoc& option);

// --config, then one option per row of the settings table, with its range and default.
std::vector<OptionText> filterOptionTexts();

std::vector<OptionText> outputOptionTexts();
