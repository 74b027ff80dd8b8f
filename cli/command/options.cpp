// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "cli/command/options.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <variant>

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

// The words after the program's name, read one at a time.
struct Arguments {
    int count;
    char** words;
    int next = 1;

    bool more() const { return next < count; }
    std::string take() { return words[next++]; }
};

// An option word: "--name=value" carries its value inline (long options only).
struct OptionWord {
    std::string name;
    std::string value;
    bool hasInlineValue = false;
};

OptionWord splitOptionWord(const std::string& arg)
{
    if (const size_t eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos)
        return {arg.substr(0, eq), arg.substr(eq + 1), true};
    return {arg, "", false};
}

bool takeValue(const OptionWord& word, Arguments& args, std::string& value, std::string& error)
{
    if (word.hasInlineValue) {
        value = word.value;
        return true;
    }
    if (!args.more()) {
        error = word.name + " needs a value";
        return false;
    }
    value = args.take();
    return true;
}

bool takeInteger(const OptionWord& word, Arguments& args, int64_t low, int64_t high, int64_t& value,
                 std::string& error)
{
    std::string text;
    if (!takeValue(word, args, text, error)) return false;
    if (!parseInteger(text, low, high, value)) {
        error = word.name + ": '" + text + "' is not an integer in " + std::to_string(low) + ".." +
                std::to_string(high);
        return false;
    }
    return true;
}

bool takeNoValue(const OptionWord& word, std::string& error)
{
    if (word.hasInlineValue) error = word.name + " takes no value";
    return !word.hasInlineValue;
}

// --gamma N, --border and the like: one option per row of the settings table.
ParseResult takeSetting(int index, const OptionWord& word, Arguments& args, CliOptions& o,
                        std::string& error)
{
    const Setting& s = kSettings[index];
    int64_t value = 1;
    const bool taken = s.kind == SettingKind::Flag
                           ? takeNoValue(word, error)
                           : takeInteger(word, args, s.range.low, s.range.high, value, error);
    if (!taken) return ParseResult::UsageError;
    o.settings[index] = static_cast<int>(value);
    o.given[size_t(index)] = true;
    return ParseResult::Run;
}

bool takeNumber(const OptionRow& row, const OptionWord& word, Arguments& args, CliOptions& o,
                std::string& error)
{
    int64_t value = 0;
    if (!takeInteger(word, args, row.range.low, row.range.high, value, error)) return false;
    if (const auto* narrow = std::get_if<int CliOptions::*>(&row.action))
        o.*(*narrow) = static_cast<int>(value);
    else
        o.*std::get<int64_t CliOptions::*>(row.action) = value;
    return true;
}

// One of the option rows, as its row says.
ParseResult takeRow(const OptionRow& row, const OptionWord& word, Arguments& args, CliOptions& o,
                    std::string& error)
{
    if (const auto* stop = std::get_if<ParseResult>(&row.action)) return *stop;
    bool taken;
    if (const auto* flag = std::get_if<bool CliOptions::*>(&row.action)) {
        taken = takeNoValue(word, error);
        if (taken) o.*(*flag) = true;
    } else if (const auto* text = std::get_if<std::string CliOptions::*>(&row.action)) {
        taken = takeValue(word, args, o.*(*text), error);
    } else if (const auto* reader = std::get_if<TextReader>(&row.action)) {
        std::string value;
        taken = takeValue(word, args, value, error) && (*reader)(value, o, error);
    } else {
        taken = takeNumber(row, word, args, o, error);
    }
    return taken ? ParseResult::Run : ParseResult::UsageError;
}

ParseResult takeOption(const std::string& arg, Arguments& args, CliOptions& o, std::string& error)
{
    const OptionWord word = splitOptionWord(arg);
    if (word.name.rfind("--", 0) == 0)
        if (const int setting = settingIndex(word.name.substr(2)); setting >= 0)
            return takeSetting(setting, word, args, o, error);
    if (const OptionRow* row = findOption(word.name)) return takeRow(*row, word, args, o, error);
    error = "unknown option '" + word.name + "' (see telvo --help)";
    return ParseResult::UsageError;
}

bool takePositional(const std::string& arg, int& positional, CliOptions& o, std::string& error)
{
    if (positional >= 2) {
        error = "unexpected argument '" + arg + "'";
        return false;
    }
    (positional == 0 ? o.input : o.output) = arg;
    ++positional;
    return true;
}

// What no single option can check: both files named, and options that exclude each other.
ParseResult checkTogether(int positional, const CliOptions& o, std::string& error)
{
    if (!o.planFrom.empty()) {
        if (positional != 0 || o.analysePath.empty()) {
            error = "--plan-from takes --analyse PLAN and no INPUT or OUTPUT";
            return ParseResult::UsageError;
        }
        return ParseResult::Run;
    }
    if (!o.analysePath.empty()) {
        if (positional != 1 || !o.planPath.empty() || o.previewFrame >= 0 || o.lossless) {
            error = positional == 0 ? "missing INPUT (see telvo --help)"
                                    : "--analyse takes INPUT only: no OUTPUT, --plan, "
                                      "--preview or --lossless";
            return ParseResult::UsageError;
        }
        return ParseResult::Run;
    }
    if (!o.planPath.empty() && o.previewFrame >= 0) {
        error = "--plan and --preview exclude each other";
        return ParseResult::UsageError;
    }
    // Every frame of pass 2 gets its planned values, as a frozen correction would.
    if (!o.planPath.empty() && o.settings[settingIndex("freeze")] != 0) {
        error = "--freeze has no effect with --plan: every frame gets the plan's correction";
        return ParseResult::UsageError;
    }
    // With --plan, --planning must be the plan's (checked when the plan is read).
    if (o.planningGiven && o.planPath.empty()) {
        error = "--planning says how --analyse plans; without --analyse it has no effect";
        return ParseResult::UsageError;
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
    if (o.lossless && o.crf >= 0) {
        error = "--lossless and --crf exclude each other: lossless output has no quality scale";
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

}  // namespace

const char* usageText()
{
    static const std::string text = usage();
    return text.c_str();
}

ParseResult parseOptions(int argc, char** argv, CliOptions& o, std::string& error)
{
    Arguments args{argc, argv};
    int positional = 0;
    bool onlyPositional = false;
    bool checkOnly = false;  // --check-options: the whole line is read, then nothing runs
    while (args.more()) {
        const std::string arg = args.take();
        if (onlyPositional || arg == "-" || arg.empty() || arg[0] != '-') {
            if (!takePositional(arg, positional, o, error)) return ParseResult::UsageError;
        } else if (arg == "--") {
            onlyPositional = true;
        } else if (const ParseResult result = takeOption(arg, args, o, error);
                   result == ParseResult::CheckOptions) {
            checkOnly = true;
        } else if (result != ParseResult::Run) {
            return result;
        }
    }
    const ParseResult result = checkTogether(positional, o, error);
    return checkOnly && result == ParseResult::Run ? ParseResult::CheckOptions : result;
}
