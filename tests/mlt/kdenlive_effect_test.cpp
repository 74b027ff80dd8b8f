// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The native filter's Kdenlive effect names the settings table's rows in order, with the
// table's defaults and ranges (margins up to the frame's size), and leaves out only
// "disable", which MLT and Kdenlive keep for switching an effect off; then the two passes.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "plugin/settings_table.h"

namespace
{

struct Parameter {
    std::string name, defaultValue, min, max;
};

// The value of attribute `name` in one tag's text, "(none)" without it.
std::string attribute(const std::string& tag, const std::string& name)
{
    const std::string key = " " + name + "=\"";
    const size_t at = tag.find(key);
    if (at == std::string::npos) return "(none)";
    const size_t from = at + key.size();
    return tag.substr(from, tag.find('"', from) - from);
}

std::vector<Parameter> parametersOf(const std::string& xml)
{
    std::vector<Parameter> out;
    for (size_t at = xml.find("<parameter "); at != std::string::npos;
         at = xml.find("<parameter ", at + 1)) {
        const std::string tag = xml.substr(at, xml.find('>', at) - at);
        out.push_back({attribute(tag, "name"), attribute(tag, "default"), attribute(tag, "min"),
                       attribute(tag, "max")});
    }
    return out;
}

TEST(MltKdenliveEffect, NamesTheTablesSettingsWithTheirDefaultsAndRanges)
{
    std::ifstream file(TELVO_MLT_KDENLIVE_EFFECT);
    ASSERT_TRUE(file) << TELVO_MLT_KDENLIVE_EFFECT;
    std::stringstream text;
    text << file.rdbuf();
    const std::vector<Parameter> parameters = parametersOf(text.str());

    size_t next = 0;
    for (const Setting& row : kSettings) {
        if (std::string(row.name) == "disable") continue;
        SCOPED_TRACE(row.name);
        ASSERT_LT(next, parameters.size());
        const Parameter& p = parameters[next++];
        EXPECT_EQ(p.name, row.name);
        EXPECT_EQ(p.defaultValue, std::to_string(row.defaultValue));
        EXPECT_EQ(p.min, std::to_string(row.range.low));
        const std::string max = row.kind == SettingKind::MarginRows ? "%height"
                                : row.kind == SettingKind::MarginColumns
                                    ? "%width"
                                    : std::to_string(row.range.high);
        EXPECT_EQ(p.max, max);
    }
    // Then the two passes' files: the plan to write, the plan to apply.
    ASSERT_EQ(next + 2, parameters.size()) << "parameters the filter does not have";
    EXPECT_EQ(parameters[next].name, "analyse");
    EXPECT_EQ(parameters[next + 1].name, "plan");
}

}  // namespace
