// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "cli/command/options.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "cli/command/config_line.h"
#include "cli/command/option_list.h"

namespace
{

bool parseInteger(const std::string& text, int64_t low, int64_t high, int64_t& value)
{
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < low || v > high) return false;
    value = v;
    return true;
}

// One option as --help lists it: the help starts in column 19, continuation lines too.
std::string usageLines(const OptionText& o)
{
    std::string line = "  " + o.names + (o.argument.empty() ? "" : " " + o.argument);
    line.append(line.size() + 2 <= 19 ? 19 - line.size() : 2, ' ');
    for (const char c : o.help) line += c == '\n' ? "\n" + std::string(19, ' ') : std::string(1, c);
    return line + "\n";
}

std::string usage()
{
    std::string text = std::string("usage: ") + kCliSynopsis + "\n" + kCliSummary + "\n" +
                       kCliInputText + "\n" + kCliOutputText + "\n" +
                       "\nFilter settings (applied left to right; later ones win):\n";
    for (const OptionText& o : filterOptionTexts()) text += usageLines(o);
    text += "\nOutput:\n";
    for (const OptionText& o : outputOptionTexts()) text += usageLines(o);
    return text + "\n" + kCliExitText + "\n";
}

}  // namespace

const char* usageText()
{
    static const std::string text = usage();
    return text.c_str();
}

ParseResult parseOptions(int argc, char** argv, CliOptions& o, std::string& error)
{
    int positional = 0;
    bool onlyPositional = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (onlyPositional || arg == "-" || arg.empty() || arg[0] != '-') {
            if (positional == 0)
                o.input = arg;
            else if (positional == 1)
                o.output = arg;
            else {
                error = "unexpected argument '" + arg + "'";
                return ParseResult::UsageError;
            }
            ++positional;
            continue;
        }
        if (arg == "--") {
            onlyPositional = true;
            continue;
        }
        std::string value;
        bool hasInlineValue = false;
        if (const size_t eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
            hasInlineValue = true;
        }
        auto takeValue = [&](std::string& out) {
            if (hasInlineValue) {
                out = value;
                return true;
            }
            if (i + 1 >= argc) {
                error = arg + " needs a value";
                return false;
            }
            out = argv[++i];
            return true;
        };
        auto takeInt = [&](int64_t low, int64_t high, int64_t& out) {
            std::string text;
            if (!takeValue(text)) return false;
            if (!parseInteger(text, low, high, out)) {
                error = arg + ": '" + text + "' is not an integer in " + std::to_string(low) +
                        ".." + std::to_string(high);
                return false;
            }
            return true;
        };
        auto flag = [&]() {
            if (hasInlineValue) {
                error = arg + " takes no value";
                return false;
            }
            return true;
        };

        int64_t n = 0;
        const int setting = arg.rfind("--", 0) == 0 ? settingIndex(arg.substr(2)) : -1;
        if (setting >= 0) {
            const Setting& s = kSettings[setting];
            if (s.kind == SettingKind::Flag) {
                if (!flag()) return ParseResult::UsageError;
                n = 1;
            } else if (!takeInt(s.range.low, s.range.high, n)) {
                return ParseResult::UsageError;
            }
            o.settings[setting] = static_cast<int>(n);
        } else if (arg == "--config") {
            std::string line;
            if (!takeValue(line) || !parseConfigLine(line, o.settings, error))
                return ParseResult::UsageError;
        } else if (arg == "--lossless" || arg == "--quiet" || arg == "-q" || arg == "--verbose" ||
                   arg == "-v" || arg == "--timing") {
            if (!flag()) return ParseResult::UsageError;
            if (arg == "--lossless")
                o.lossless = true;
            else if (arg == "--quiet" || arg == "-q")
                o.quiet = true;
            else if (arg == "--timing")
                o.timing = true;
            else
                o.verbose = true;
        } else if (arg == "-f" || arg == "--format") {
            if (!takeValue(o.format)) return ParseResult::UsageError;
        } else if (arg == "--codec") {
            if (!takeValue(o.codec)) return ParseResult::UsageError;
        } else if (arg == "--crf") {
            if (!takeInt(0, 63, n)) return ParseResult::UsageError;
            o.crf = static_cast<int>(n);
        } else if (arg == "--stats") {
            if (!takeValue(o.statsPath)) return ParseResult::UsageError;
        } else if (arg == "--plot") {
            if (!takeValue(o.plotPath)) return ParseResult::UsageError;
        } else if (arg == "--preview") {
            if (!takeInt(0, INT32_MAX, o.previewFrame)) return ParseResult::UsageError;
        } else if (arg == "--start") {
            if (!takeInt(0, INT32_MAX, o.start)) return ParseResult::UsageError;
        } else if (arg == "--frames") {
            if (!takeInt(1, INT32_MAX, o.frames)) return ParseResult::UsageError;
        } else if (arg == "-h" || arg == "--help") {
            return ParseResult::Help;
        } else if (arg == "--version") {
            return ParseResult::Version;
        } else {
            error = "unknown option '" + arg + "' (see telvo --help)";
            return ParseResult::UsageError;
        }
    }
    if (positional < 2) {
        error = positional == 0 ? "missing INPUT and OUTPUT (see telvo --help)"
                                : "missing OUTPUT (see telvo --help)";
        return ParseResult::UsageError;
    }
    if (o.lossless && !o.codec.empty()) {
        error = "--lossless and --codec exclude each other";
        return ParseResult::UsageError;
    }
    if (o.previewFrame >= 0 && (o.start != 0 || o.frames != -1 || o.lossless ||
                                !o.statsPath.empty() || !o.plotPath.empty())) {
        error =
            "--preview writes one picture; it takes no --start, --frames, --lossless, "
            "--stats or --plot";
        return ParseResult::UsageError;
    }
    return ParseResult::Run;
}
