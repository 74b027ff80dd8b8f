// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// Fuzzes the --config parser with any text, and the command line around it with any
// arguments (the input split at NUL bytes). A line the parser accepts sets exactly the
// eight script settings, and those values, written back as the host's script line,
// read back the same; a line it refuses leaves the settings alone and says why in one
// line that shows the expected form.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "cli/command/config_line.h"
#include "cli/command/options.h"
#include "plugin/settings_text.h"
#include "tests/fuzz/fuzz_check.h"

namespace
{

// Settings that no line sets as a whole, so a partial write shows.
constexpr SettingValues kBefore{101, 102, 103, 104, 105, 106, 107, 108, 109, 110};

void checkConfigLine(const std::string& text)
{
    SettingValues settings = kBefore;
    std::string error;
    if (!parseConfigLine(text, settings, error)) {
        require(settings == kBefore, "a refused line changed the settings");
        require(error.rfind("--config: ", 0) == 0, "the reason does not start with --config:");
        require(error.find('\n') == std::string::npos, "the reason is more than one line");
        require(error.find("Config(gamma,alignment,border,top,left,right,bottom,freeze)") !=
                    std::string::npos,
                "the reason does not show the expected form");
        return;
    }
    require(text.find("Config") != std::string::npos, "accepted a line without Config");
    require(std::equal(settings.begin() + kScriptSettingCount, settings.end(),
                       kBefore.begin() + kScriptSettingCount),
            "an accepted line changed a setting that is not in the script");

    char line[128];
    const int length = formatScriptLine(line, sizeof line, settings);
    require(length > 0 && length < static_cast<int>(sizeof line), "the script line does not fit");
    SettingValues again = kBefore;
    require(parseConfigLine(line, again, error), "the written script line is refused");
    require(again == settings, "the written script line reads back other values");
}

void checkCommandLine(const uint8_t* data, size_t size)
{
    std::vector<std::string> args{"telvo"};
    args.emplace_back();
    for (size_t i = 0; i < size && args.size() < 24; ++i) {
        if (data[i] == 0)
            args.emplace_back();
        else
            args.back() += static_cast<char>(data[i]);
    }
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    CliOptions options;
    std::string error;
    const ParseResult result =
        parseOptions(static_cast<int>(args.size()), argv.data(), options, error);
    if (result == ParseResult::UsageError) {
        require(!error.empty(), "a usage error without a reason");
        // A reason may quote an argument, which may hold a line break of its own.
        require(std::memchr(data, '\n', size) != nullptr || error.find('\n') == std::string::npos,
                "a usage error of more than one line");
        return;
    }
    require(error.empty(), "a reason given for a command line that was taken");
    if (result != ParseResult::Run) return;
    for (int i = 0; i < kSettingCount; ++i) {
        const Setting& s = kSettings[i];
        // Options check the ranges; only --config takes any int for the script settings.
        if (s.scriptIndex == kNotScripted)
            require(options.settings[i] >= s.range.low && options.settings[i] <= s.range.high,
                    "a switch outside its range");
    }
    require(options.start >= 0 && (options.frames == -1 || options.frames >= 1),
            "a frame range that cannot be");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // A command-line argument ends at its first NUL; so does the line.
    const std::string text(reinterpret_cast<const char*>(data), size);
    checkConfigLine(text.c_str());
    checkCommandLine(data, size);
    return 0;
}
