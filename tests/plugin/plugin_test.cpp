// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The plug-in surface as a host sees it: registration, defaults, the two text forms
// and the script function.
#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cstring>
#include <string>

#include "module/filter_definition.h"
#include "platform/threads.h"
#include "plugin/callbacks.h"
#include "plugin/engine_state.h"
#include "tests/support/test_support.h"

TEST(Registration, OneFilterWithItsScriptFunctionAndVersions)
{
    TestFilter f;
    ASSERT_TRUE(f.host.ok()) << f.host.error();
    EXPECT_EQ(f.host.registeredCount(), 1);
    EXPECT_EQ(f.host.apiVersion(), 14);
    EXPECT_EQ(f.host.apiCompatVersion(), 8);
    const VDXFilterDefinition& def = f.host.definition();
    EXPECT_STREQ(def.name, "TELVO, version 4.3");
    EXPECT_STREQ(def.desc, "TELVO, version 4.3");
    EXPECT_EQ(def.inst_data_size, static_cast<int>(sizeof(FilterState)));
    EXPECT_EQ(def.paramProc, nullptr);
    EXPECT_EQ(def.endProc, nullptr);
    EXPECT_EQ(def.copyProc, nullptr);
    EXPECT_EQ(def.script_obj->func_list[0].func_ptr, script_config);
    EXPECT_STREQ(def.script_obj->func_list[0].name, "Config");
    EXPECT_STREQ(def.script_obj->func_list[0].arg_list, "0iiiiiiii");
    EXPECT_EQ(def.script_obj->func_list[1].func_ptr, nullptr);
    EXPECT_EQ(def.script_obj->func_list[1].name, nullptr);
}

TEST(Registration, KeepsTheHostsCopyForRemoval)
{
    // The host's copy, not the module's own record, must come back at removal; the
    // host layer only counts a removal of the pointer it handed out.
    TestFilter f;
    EXPECT_EQ(g_registeredFilterDef, &f.host.definition());
    EXPECT_NE(g_registeredFilterDef, &g_myFilterDef);
}

TEST(Instance, DefaultsOverAnUninitialisedRecord)
{
    TestFilter f(640, 480);  // the record was filled with 0xCD before InitProc
    FilterState& s = f.state();
    EXPECT_EQ(s.threadCount, processorCount());
    EXPECT_GE(s.threadCount, 1);
    EXPECT_EQ(s.gamma, 15);
    EXPECT_EQ(s.alignment, 15);
    EXPECT_EQ(s.border, 0);
    EXPECT_EQ(s.disable, 0);
    EXPECT_EQ(s.dialogClosed, 1);
    EXPECT_EQ(s.showHistogram, 0);
    EXPECT_EQ(s.reserve, 0);
    EXPECT_EQ(s.freeze, 0);
    EXPECT_EQ(s.top, 8);
    EXPECT_EQ(s.left, 8);
    EXPECT_EQ(s.right, 8);
    EXPECT_EQ(s.bottom, 8);
    EXPECT_EQ(s.width, 640);
    EXPECT_EQ(s.height, 480);
    const double identity[9] = {0, 0, 0, 255, 255, 255, 1, 1, 1};
    for (int p = 0; p < 9; ++p) {
        EXPECT_EQ(s.frozen[p], identity[p]);
        for (int slot = 0; slot < 5; ++slot) EXPECT_EQ(s.history[p][slot], identity[p]);
    }
}

TEST(Instance, StartTakesTheSourceSize)
{
    TestFilter f(640, 480);
    EXPECT_EQ(f.host.start(1920, 1080), 0);
    EXPECT_EQ(f.state().width, 1920);
    EXPECT_EQ(f.state().height, 1080);
}

TEST(TextForms, FreshInstance)
{
    TestFilter f;
    EXPECT_EQ(f.host.summary(),
              " (gamma 15, alignment 15, border 0, top 8, left 8, right 8, bottom 8, freeze 0)");
    std::string line;
    ASSERT_TRUE(f.host.scriptLine(line));
    EXPECT_EQ(line, "Config(15,15,0,8,8,8,8,0)");
}

TEST(TextForms, ConfigSetsExactlyTheEightSettings)
{
    TestFilter f;
    FilterState& s = f.state();
    s.disable = 1;
    s.showHistogram = 1;
    s.history[0][2] = 7.5;
    f.config({0, 40, 1, 0, 0, 0, 0, 1});
    EXPECT_EQ(s.gamma, 0);
    EXPECT_EQ(s.alignment, 40);
    EXPECT_EQ(s.border, 1);
    EXPECT_EQ(s.top, 0);
    EXPECT_EQ(s.freeze, 1);
    EXPECT_EQ(s.disable, 1);
    EXPECT_EQ(s.showHistogram, 1);
    EXPECT_EQ(s.history[0][2], 7.5);
    std::string line;
    ASSERT_TRUE(f.host.scriptLine(line));
    EXPECT_EQ(line, "Config(0,40,1,0,0,0,0,1)");
}

TEST(TextForms, EightDistinctValuesStayInTheirPlaces)
{
    // No two values alike, so two settings swapped anywhere between the script call,
    // the record, the text forms and the frame pass's snapshot show.
    using Eight = std::array<int, 8>;
    const Eight given{11, 22, 3, 44, 55, 66, 77, 8};
    TestFilter f;
    ASSERT_TRUE(f.host.callScript("Config", given.data(), kScriptSettingCount));
    const FilterState& s = f.state();
    EXPECT_EQ((Eight{s.gamma, s.alignment, s.border, s.top, s.left, s.right, s.bottom, s.freeze}),
              given);
    EXPECT_EQ(f.host.summary(),
              " (gamma 11, alignment 22, border 3, top 44, left 55, right 66, "
              "bottom 77, freeze 8)");
    std::string line;
    ASSERT_TRUE(f.host.scriptLine(line));
    EXPECT_EQ(line, "Config(11,22,3,44,55,66,77,8)");
    const FrameSettings e = loadFrameSettings(s);
    EXPECT_EQ((Eight{e.gamma, e.alignment, e.border, e.top, e.left, e.right, e.bottom, e.freeze}),
              given);
}

TEST(TextForms, ExtremeValuesRoundTripAndTheSummaryStaysInItsBuffer)
{
    TestFilter f;
    f.config({INT_MIN, INT_MAX, -1, INT_MIN, INT_MAX, -123456789, 2000000000, INT_MIN});
    std::string line;
    ASSERT_TRUE(f.host.scriptLine(line));
    EXPECT_EQ(line,
              "Config(-2147483648,2147483647,-1,-2147483648,2147483647,-123456789,"
              "2000000000,-2147483648)");

    // Replaying the saved line restores the same eight values.
    TestFilter g;
    int values[8];
    ASSERT_EQ(std::sscanf(line.c_str(), "Config(%d,%d,%d,%d,%d,%d,%d,%d)", &values[0], &values[1],
                          &values[2], &values[3], &values[4], &values[5], &values[6], &values[7]),
              8);
    g.host.callScript("Config", values, kScriptSettingCount);
    std::string again;
    ASSERT_TRUE(g.host.scriptLine(again));
    EXPECT_EQ(again, line);

    // This summary needs more than the host's 128 bytes: it is cut and terminated there.
    char buffer[kSummaryBufferSize + 16];
    std::memset(buffer, 'X', sizeof buffer);
    StringProc(&f.host.activation(), nullptr, buffer);
    EXPECT_EQ(buffer[kSummaryBufferSize - 1], '\0');
    EXPECT_EQ(std::strlen(buffer), size_t(kSummaryBufferSize - 1));
    for (size_t i = kSummaryBufferSize; i < sizeof buffer; ++i)
        EXPECT_EQ(buffer[i], 'X') << "byte " << i << " past the host's buffer was written";
}

TEST(TextForms, ScriptLineThatDoesNotFitIsCutTerminatedAndNotOffered)
{
    TestFilter f;
    const std::string full = "Config(15,15,0,8,8,8,8,0)";  // 25 characters
    char buffer[40];
    for (int length : {1, 10, 25}) {
        std::memset(buffer, 'X', sizeof buffer);
        EXPECT_FALSE(FssProc(&f.host.activation(), nullptr, buffer, length)) << length;
        EXPECT_EQ(std::string(buffer), full.substr(0, length - 1)) << length;
        EXPECT_EQ(buffer[length], 'X') << "wrote past a buffer of " << length;
    }
    EXPECT_FALSE(FssProc(&f.host.activation(), nullptr, buffer, 0));
    EXPECT_TRUE(FssProc(&f.host.activation(), nullptr, buffer, 26));
    EXPECT_EQ(std::string(buffer), full);
}
