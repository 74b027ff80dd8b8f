// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "cli/command/options.h"

#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <string>
#include <vector>

#include "cli/command/config_line.h"
#include "cli/command/man_page.h"
#include "cli/command/option_list.h"

namespace
{

ParseResult parse(std::vector<std::string> args, CliOptions& o, std::string& error)
{
    args.insert(args.begin(), "telvo");
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    return parseOptions(static_cast<int>(argv.size()), argv.data(), o, error);
}

}  // namespace

TEST(ConfigLine, ReadsTheLineTheHostSaves)
{
    SettingValues s{};
    std::string error;
    ASSERT_TRUE(parseConfigLine("Config(0,40,1,3,4,5,6,1)", s, error)) << error;
    EXPECT_EQ(s, (SettingValues{0, 40, 1, 3, 4, 5, 6, 1}));
    // Spaces, a trailing semicolon and values outside the dialog ranges, as a script
    // may hold them.
    ASSERT_TRUE(parseConfigLine(" Config( -5, 99 ,0,8,8,8,8,0 ) ;", s, error)) << error;
    EXPECT_EQ(s, (SettingValues{-5, 99, 0, 8, 8, 8, 8, 0}));
    // As it stands in a saved script, after the instance that owns it.
    ASSERT_TRUE(parseConfigLine("App.video.filters.instance[2].Config(1,2,0,3,4,5,6,0);", s, error))
        << error;
    EXPECT_EQ(s, (SettingValues{1, 2, 0, 3, 4, 5, 6, 0}));
}

TEST(ConfigLine, NamesTheBadArgumentAndShowsTheForm)
{
    const struct {
        const char* text;
        const char* expected;
    } cases[] = {
        {"Config(15,15,x,8,8,8,8,0)", "argument 3 (border) is not an integer"},
        {"Config(15,15,0,8,8,8,8)", "argument 8 (freeze) is missing"},
        {"Config(15,15,0,8,8,8,8,0", "missing ')' after argument 8 (freeze)"},
        {"Config(15,15", "argument 3 (border) is missing"},
        {"Config(15,15,0,8,8,8,8,0,1)", "more than eight arguments"},
        {"Config(15,15,0,8,8,8,8,99999999999)", "argument 8 (freeze) is out of the 32-bit"},
        {"Config(15,,0,8,8,8,8,0)", "argument 2 (alignment)"},
        {"Config(15,15,0,8,8,8,8,0)x", "unexpected text"},
        {"Setting(15,15,0,8,8,8,8,0)", "does not start with Config"},
        {"a b.Config(15,15,0,8,8,8,8,0)", "does not start with Config"},
        {"Config 15,15", "missing '('"},
        {"", "does not start with Config"},
    };
    for (const auto& c : cases) {
        SettingValues s{1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
        std::string error;
        EXPECT_FALSE(parseConfigLine(c.text, s, error)) << c.text;
        EXPECT_NE(error.find(c.expected), std::string::npos) << c.text << " -> " << error;
        EXPECT_NE(error.find("Config(gamma,alignment,border,top,left,right,bottom,freeze)"),
                  std::string::npos)
            << error;
        EXPECT_EQ(s, (SettingValues{1, 2, 3, 4, 5, 6, 7, 8, 9, 10})) << "changed on failure";
    }
}

TEST(Options, SettingFlagsAndConfigApplyLeftToRight)
{
    CliOptions o;
    std::string error;
    ASSERT_EQ(parse({"in.mp4", "out.mkv", "--config", "Config(1,2,0,3,4,5,6,0)", "--gamma", "20",
                     "--border", "--bottom=9", "--histogram"},
                    o, error),
              ParseResult::Run)
        << error;
    EXPECT_EQ(o.settings, (SettingValues{20, 2, 1, 3, 4, 5, 9, 0, 0, 1, 0, 0, 100}));
    EXPECT_EQ(o.input, "in.mp4");
    EXPECT_EQ(o.output, "out.mkv");

    CliOptions later;
    ASSERT_EQ(parse({"a", "b", "--freeze", "--config", "Config(1,2,0,3,4,5,6,0)"}, later, error),
              ParseResult::Run);
    EXPECT_EQ(later.settings[settingIndex("freeze")], 0) << "a later --config replaces all eight";
}

TEST(Options, UsageErrors)
{
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"in.mp4"},
        {"in.mp4", "out.mp4", "extra"},
        {"in.mp4", "out.mp4", "--gamma", "41"},
        {"in.mp4", "out.mp4", "--alignment", "-1"},
        {"in.mp4", "out.mp4", "--top", "x"},
        {"in.mp4", "out.mp4", "--gamma"},
        {"in.mp4", "out.mp4", "--border=1"},
        {"in.mp4", "out.mp4", "--frames", "0"},
        {"in.mp4", "out.mp4", "--crf", "64"},
        {"in.mp4", "out.mp4", "--lossless", "--codec", "libx264"},
        {"in.mp4", "out.png", "--preview", "3", "--start", "2"},
        {"in.mp4", "out.mp4", "--no-such-option"},
        {"in.mp4", "out.mp4", "--analyse", "p.csv"},
        {"in.mp4", "--analyse", "p.csv", "--lossless"},
        {"in.mp4", "out.mp4", "--planning", "smooth:0"},
        {"in.mp4", "out.mp4", "--planning", "smooth"},
        {"--plan-from", "m.csv"},
        {"in.mp4", "--plan-from", "m.csv", "--analyse", "p.csv"},
        // Options that would be silently ignored.
        {"in.mp4", "out.mp4", "--lossless", "--crf", "10"},
        {"in.mp4", "out.mp4", "--planning", "scene"},
        {"in.mp4", "out.mp4", "--plan", "p.csv", "--plan", "q.csv"},
        {"in.mp4", "out.mp4", "--plan", "p.csv", "--freeze"},
    };
    for (const auto& args : bad) {
        CliOptions o;
        std::string error;
        std::string joined;
        for (const auto& a : args) joined += a + " ";
        EXPECT_EQ(parse(args, o, error), ParseResult::UsageError) << joined;
        EXPECT_FALSE(error.empty()) << joined;
    }
}

// Every option the rows show is taken, with a value exactly when they show one.
TEST(Options, EveryDocumentedOptionIsTakenAsShown)
{
    std::vector<OptionRow> documented(std::begin(kOutputOptions), std::end(kOutputOptions));
    documented.push_back(kConfigOption);
    for (const OptionRow& doc : documented) {
        for (const char* name : {doc.shortName, doc.longName}) {
            if (!name) continue;
            const std::string value =
                std::string(name) == "--config" ? "Config(15,15,0,8,8,8,8,0)" : "1";
            CliOptions o;
            std::string error;
            // The two-pass options change which files the command line names.
            const std::map<std::string, std::vector<std::string>> twoPass = {
                {"--analyse", {"a", "--analyse", "p.csv"}},
                {"--planning", {"a", "--analyse", "p.csv", "--planning", "smooth:5"}},
                {"--plan-from", {"--plan-from", "m.csv", "--analyse", "p.csv"}},
            };
            // A flag before OUTPUT leaves OUTPUT alone; an option with a value takes it.
            const auto special = twoPass.find(name);
            const ParseResult result = special != twoPass.end() ? parse(special->second, o, error)
                                       : doc.argument ? parse({"a", "b", name, value}, o, error)
                                                      : parse({"a", name, "b"}, o, error);
            EXPECT_NE(result, ParseResult::UsageError) << name << ": " << error;
        }
    }
}

// man renders a plain "-" as a hyphen, which cannot be copied into a shell: every option
// (a dash after a space, a "(", a font change or another dash) must be written "\-".
TEST(ManPage, EveryOptionIsWrittenWithTheMinusSign)
{
    const std::string page = manPage("1.0");
    ASSERT_NE(page.find("(\\-f overrides)"), std::string::npos) << "the option list changed";
    for (size_t at = 1; at < page.size(); ++at) {
        if (page[at] != '-' || page[at - 1] == '\\') continue;
        const char before = page[at - 1];
        const bool fontChange =
            at >= 3 && page[at - 3] == '\\' && page[at - 2] == 'f' && std::isupper(before);
        const bool optionStart =
            before == ' ' || before == '(' || before == '\n' || before == '-' || fontChange;
        EXPECT_FALSE(optionStart) << "a bare '-' in: " << page.substr(at >= 30 ? at - 30 : 0, 60);
    }
}
