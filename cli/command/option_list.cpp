// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "cli/command/option_list.h"

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

}  // namespace

OptionText optionText(const OptionDoc& o)
{
    std::string names = o.shortName ? std::string(o.shortName) + ", " + o.longName : o.longName;
    return {names, o.argument ? o.argument : "", o.help};
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
    for (const OptionDoc& o : kOutputOptions) texts.push_back(optionText(o));
    return texts;
}
