// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "cli/command/option_list.h"

#include "cli/command/config_line.h"

namespace
{

OptionText settingOptionText(const Setting& s)
{
    std::string help = s.help;
    if (s.kind != SettingKind::Flag)
        help += ", " + std::to_string(s.range.low) + ".." + std::to_string(s.range.high) +
                " (default " + std::to_string(s.defaultValue) + ")";
    else if (s.scriptIndex == kNotScripted)
        help += " (not a script setting)";
    else
        help += s.defaultValue != 0 ? " (default on)" : " (default off)";
    return {std::string("--") + s.name, s.kind == SettingKind::Flag ? "" : "N", help};
}

void replaceAll(std::string& text, std::string_view name, const std::string& value)
{
    for (size_t at = text.find(name); at != std::string::npos; at = text.find(name, at))
        text.replace(at, name.size(), value);
}

std::string listingLine(const char* name, std::string_view kind, const std::string& range = {},
                        const char* use = nullptr)
{
    std::string line = std::string(name) + "\t" + std::string(kind);
    if (!range.empty() || use != nullptr) line += "\t" + range;
    if (use != nullptr) line += std::string("\t") + use;
    return line + "\n";
}

// Settings that only draw into the written frames, or leave them unfiltered: a measuring
// pass writes no frames, so it has no use for them.
constexpr std::string_view kVideoOnlySettings[] = {"histogram", "disable"};

const char* settingUse(const Setting& s)
{
    for (const std::string_view name : kVideoOnlySettings)
        if (name == s.name) return kUseVideo;
    return nullptr;
}

// The kind --list-options shows, and an integer's range.
std::string_view listingKind(const OptionRow& o)
{
    if (std::holds_alternative<ParseResult>(o.action)) return "exit";
    if (std::holds_alternative<bool CliOptions::*>(o.action)) return "flag";
    if (std::holds_alternative<int CliOptions::*>(o.action) ||
        std::holds_alternative<int64_t CliOptions::*>(o.action))
        return "integer";
    return "text";
}

std::string rangeText(int64_t low, int64_t high)
{
    return std::to_string(low) + ".." + std::to_string(high);
}

}  // namespace

bool readConfigOption(const std::string& line, CliOptions& options, std::string& error)
{
    if (!parseConfigLine(line, options.settings, error)) return false;
    for (int i = 0; i < kSettingCount; ++i)
        if (kSettings[i].scriptIndex >= 0) options.given[size_t(i)] = true;
    return true;
}

bool readPlanOption(const std::string& value, CliOptions& options, std::string& error)
{
    if (!options.planPath.empty()) {
        error = "--plan is given twice ('" + options.planPath + "' and '" + value +
                "'); a run applies one plan";
        return false;
    }
    options.planPath = value;
    return true;
}

bool readPlanningOption(const std::string& value, CliOptions& options, std::string& error)
{
    const std::string window = value.rfind("smooth:", 0) == 0 ? value.substr(7) : "";
    const bool digits = !window.empty() && window.size() <= 5 &&
                        window.find_first_not_of("0123456789") == std::string::npos;
    if (value != "scene" && !(digits && std::stoi(window) >= 1 && std::stoi(window) <= 10000)) {
        error = "--planning takes scene or smooth:N (N 1..10000), not '" + value + "'";
        return false;
    }
    options.planning = value;
    options.planningGiven = true;
    return true;
}

OptionText optionText(const OptionRow& o)
{
    std::string names = o.shortName ? std::string(o.shortName) + ", " + o.longName : o.longName;
    std::string help = o.help;
    replaceAll(help, "{range}", rangeText(o.range.low, o.range.high));
    replaceAll(help, "{low}", std::to_string(o.range.low));
    return {names, o.argument ? o.argument : "", help};
}

std::vector<OptionText> filterOptionTexts()
{
    std::vector<OptionText> texts{optionText(kConfigOption)};
    for (const Setting& s : kSettings) texts.push_back(settingOptionText(s));
    return texts;
}

std::vector<OptionText> outputOptionTexts()
{
    std::vector<OptionText> texts;
    for (const OptionRow& o : kOutputOptions) texts.push_back(optionText(o));
    return texts;
}

const OptionRow* findOption(std::string_view name)
{
    if (name == kConfigOption.longName) return &kConfigOption;
    for (const OptionRow& o : kOutputOptions)
        if (name == o.longName || (o.shortName != nullptr && name == o.shortName)) return &o;
    return nullptr;
}

std::string optionListing()
{
    std::string listing = listingLine(kConfigOption.longName, listingKind(kConfigOption));
    for (const Setting& s : kSettings) {
        const std::string name = std::string("--") + s.name;
        listing += s.kind == SettingKind::Flag
                       ? listingLine(name.c_str(), "flag", {}, settingUse(s))
                       : listingLine(name.c_str(), "integer", rangeText(s.range.low, s.range.high),
                                     settingUse(s));
    }
    for (const OptionRow& o : kOutputOptions) {
        const std::string_view kind = listingKind(o);
        const std::string range = kind == "integer" ? rangeText(o.range.low, o.range.high) : "";
        for (const char* name : {o.shortName, o.longName})
            if (name != nullptr) listing += listingLine(name, kind, range, o.use);
    }
    return listing;
}
