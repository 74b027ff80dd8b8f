// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The module through its frei0r entry points: what hosts read from it, how parameter
// values become settings, its pixels against the filter driven through the host layer,
// alpha, and what it does with bad input.
#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <cmath>
#include <limits>
#include <string>
#include <thread>

#include "frei0r/host_rows.h"
#include "frei0r/parameters.h"
#include "tests/frei0r/frei0r_clip.h"

namespace
{

Frame alphaOf(const Frame& frame)
{
    Frame out(frame);
    for (uint32_t& p : out) p >>= 24;
    return out;
}

}  // namespace

// FFmpeg passes parameters by position, so their order is part of the interface: new
// parameters only ever come after the first ten.
TEST(PluginInfo, AFilterOnBgraWithItsParametersInHostOrder)
{
    f0r_plugin_info_t info{};
    f0r_get_plugin_info(&info);
    EXPECT_STREQ(info.name, "Telvo");
    EXPECT_EQ(info.plugin_type, F0R_PLUGIN_TYPE_FILTER);
    EXPECT_EQ(info.color_model, F0R_COLOR_MODEL_BGRA8888);
    EXPECT_EQ(info.frei0r_version, 1);
    ASSERT_EQ(info.num_params, 13);
    const struct {
        const char* name;
        int type;
    } expected[] = {
        {"gamma", F0R_PARAM_DOUBLE},      {"alignment", F0R_PARAM_DOUBLE},
        {"border", F0R_PARAM_BOOL},       {"top", F0R_PARAM_DOUBLE},
        {"left", F0R_PARAM_DOUBLE},       {"right", F0R_PARAM_DOUBLE},
        {"bottom", F0R_PARAM_DOUBLE},     {"freeze", F0R_PARAM_BOOL},
        {"disable", F0R_PARAM_BOOL},      {"histogram", F0R_PARAM_BOOL},
        {"scene-cuts", F0R_PARAM_DOUBLE}, {"balance", F0R_PARAM_BOOL},
        {"strength", F0R_PARAM_DOUBLE},
    };
    for (int i = 0; i < info.num_params; ++i) {
        f0r_param_info_t param{};
        f0r_get_param_info(&param, i);
        EXPECT_STREQ(param.name, expected[i].name) << i;
        EXPECT_EQ(param.type, expected[i].type) << i;
        EXPECT_NE(param.explanation, nullptr) << i;
    }
}

TEST(Parameters, ValuesAreKeptWithinTheirRange)
{
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const struct {
        int index;
        double set, stored;
    } cases[] = {
        {parameter("gamma"), 0.5, 0.5},   {parameter("gamma"), 1.5, 1.0},
        {parameter("gamma"), -0.25, 0.0}, {parameter("gamma"), inf, 1.0},
        {parameter("gamma"), -inf, 0.0},  {parameter("gamma"), nan, 0.375},
        {parameter("top"), 2.0, 1.0},     {parameter("border"), 0.49, 0.0},
        {parameter("border"), 0.5, 1.0},  {parameter("border"), 7.0, 1.0},
        {parameter("border"), nan, 0.0},
    };
    for (const auto& c : cases) {
        Frei0rModule module(16, 16);
        module.set(c.index, c.set);
        EXPECT_EQ(module.value(c.index), c.stored) << c.index << " set to " << c.set;
    }
}

TEST(Parameters, AnIndexOutsideTheTableIsIgnored)
{
    Frei0rModule module(16, 16);
    for (int index : {-1, kParameterCount, INT_MAX, INT_MIN}) {
        module.set(index, 0.9);
        double untouched = 42.0;
        f0r_get_param_value(module.get(), &untouched, index);
        EXPECT_EQ(untouched, 42.0) << index;
        f0r_param_info_t info{"kept", 7, nullptr};
        f0r_get_param_info(&info, index);
        EXPECT_STREQ(info.name, "kept");
    }
    for (int i = 0; i < kParameterCount; ++i)
        EXPECT_EQ(module.value(i), parameterInfo(i)->defaultValue) << i;
}

TEST(Parameters, SettingsFromValues)
{
    const auto settingsOf = [](std::initializer_list<std::pair<const char*, double>> set, int w,
                               int h) {
        ParameterValues values = defaultParameterValues();
        for (const auto& [name, value] : set) storeParameter(values, parameter(name), value);
        return toSettingValues(values, w, h);
    };
    // The defaults are the host's 8-pixel margins on a 640 x 480 frame.
    EXPECT_EQ(settingsOf({}, 640, 480), (SettingValues{15, 15, 0, 8, 8, 8, 8, 0, 0, 0, 0, 0, 100}));
    // Halves round away from zero: 17.5 gives 18, 2.5 gives 3, 20.5 rows 21, 18.5 columns 19.
    EXPECT_EQ(settingsOf({{"gamma", 0.4375},
                          {"alignment", 0.0625},
                          {"top", 0.5},
                          {"left", 0.5},
                          {"right", 1.0},
                          {"bottom", 0.0},
                          {"freeze", 1.0}},
                         37, 41),
              (SettingValues{18, 3, 0, 21, 19, 37, 0, 1, 0, 0, 0, 0, 100}));
    EXPECT_EQ(
        settingsOf({{"gamma", 1.0}, {"border", 1.0}, {"disable", 1.0}, {"scene-cuts", 0.85}}, 8, 8),
        (SettingValues{40, 15, 1, 0, 0, 0, 0, 0, 1, 0, 85, 0, 100}));
}

// Settings set as frei0r values, a change between frames, the graph: the module's
// colours are the filter's own, and the alpha is the input's.
TEST(Pixels, EqualTheFilterDrivenThroughTheHostLayer)
{
    const int w = 33, h = 40;
    Frei0rModule module(w, h);
    module.set(parameter("gamma"), 0.75);
    module.set(parameter("alignment"), 0.125);
    module.set(parameter("border"), 1.0);
    module.set(parameter("top"), 0.1);      // 4 rows
    module.set(parameter("left"), 0.25);    // 8.25: 8 columns
    module.set(parameter("right"), 0.125);  // 4.125: 4 columns
    module.set(parameter("bottom"), 0.05);  // 2 rows
    module.set(parameter("histogram"), 1.0);
    SettingValues settings{30, 5, 1, 4, 8, 4, 2, 0, 0, 1};
    ReferenceFilter reference(w, h, settings);
    for (int i = 0; i < 8; ++i) {
        if (i == 5) {
            module.set(parameter("gamma"), 0.25);
            settings[parameter("gamma")] = 10;
            reference.configure(settings);
        }
        const Frame in = clipFrame(w, h, i);
        const Frame out = module.update(0.04 * i, in);
        ASSERT_EQ(colours(out), reference.run(in)) << "frame " << i;
        ASSERT_EQ(alphaOf(out), alphaOf(in)) << "frame " << i;
    }
}

TEST(Pixels, OneBufferForInputAndOutput)
{
    const int w = 24, h = 18;
    Frei0rModule separate(w, h), inPlace(w, h);
    for (int i = 0; i < 3; ++i) {
        Frame frame = clipFrame(w, h, i);
        const Frame expected = separate.update(i, frame);
        f0r_update(inPlace.get(), i, frame.data(), frame.data());
        ASSERT_EQ(frame, expected) << "frame " << i;
    }
}

// frei0r frames are top-down; the filter draws its graph at the picture's lower left,
// with the red baseline 32 rows above the bottom row.
TEST(Pixels, TheGraphStandsAtTheLowerLeft)
{
    const int w = 64, h = 48;
    Frei0rModule module(w, h);
    module.set(parameter("histogram"), 1.0);
    const Frame out = colours(module.update(0, clipFrame(w, h, 0)));
    const auto rowIsWhite = [&](int topDownRow) {
        for (int x = 33; x < w; ++x)
            if (out[static_cast<size_t>(topDownRow) * w + x] != 0xFFFFFFu) return false;
        return true;
    };
    EXPECT_TRUE(rowIsWhite(h - 1 - 32));
    EXPECT_FALSE(rowIsWhite(32));
}

// FFmpeg pads rows the module cannot see at widths that are not a multiple of 16; only
// there, and only when FFmpeg's frei0r filter (shared or built into the program)
// constructed the module, is it reported. MLT's and GStreamer's rows are never padded.
TEST(Hosts, PaddedRowsAreToldByWhoConstructedTheModule)
{
    const std::string avfilter = "/usr/lib/x86_64-linux-gnu/libavfilter.so.8";
    const struct {
        std::string caller, program;
        int width;
        bool padded;
    } cases[] = {
        {avfilter, "/usr/bin/ffmpeg", 20, true},
        {avfilter, "/usr/bin/ffmpeg", 48, false},
        {avfilter, "/usr/bin/my-player", 37, true},  // another program using libavfilter
        {"/opt/static/ffmpeg", "/opt/static/ffmpeg", 20, true},
        {"/usr/lib/x86_64-linux-gnu/mlt-7/libmltfrei0r.so", "/usr/bin/melt", 37, false},
        {"/usr/lib/x86_64-linux-gnu/gstreamer-1.0/libgstfrei0r.so", "/usr/bin/gst-launch-1.0", 37,
         false},
        {"/usr/bin/melt", "/usr/bin/melt", 37, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(rowsPaddedByHost(c.caller, c.program, c.width), c.padded)
            << c.caller << " in " << c.program << " at width " << c.width;
}

TEST(BadInput, EmptyAndOnePixelFrames)
{
    for (const auto& [w, h] : {std::pair{0u, 0u}, {0u, 5u}, {5u, 0u}}) {
        Frei0rModule module(w, h);
        ASSERT_NE(module.get(), nullptr) << w << "x" << h;
        uint32_t in = 0x80112233, out = Frei0rModule::kUnwritten;
        f0r_update(module.get(), 0, &in, &out);
        EXPECT_EQ(out, Frei0rModule::kUnwritten) << w << "x" << h;
    }
    Frei0rModule module(1, 1);
    ReferenceFilter reference(1, 1);
    for (int i = 0; i < 3; ++i) {
        const Frame in{0x7F3060A0u + static_cast<uint32_t>(i)};
        EXPECT_EQ(module.update(i, in), Frame{(reference.run(in)[0] & 0xFFFFFFu) | 0x7F000000u});
    }
}

TEST(BadInput, NullPointersAreIgnored)
{
    const int w = 16, h = 12;
    Frei0rModule module(w, h);
    const Frame first = clipFrame(w, h, 0);
    Frame out(first.size(), Frei0rModule::kUnwritten);
    f0r_update(module.get(), 0, nullptr, out.data());
    EXPECT_EQ(out, Frame(first.size(), Frei0rModule::kUnwritten));
    f0r_update(module.get(), 0.04, first.data(), nullptr);
    f0r_update(nullptr, 0, first.data(), out.data());
    f0r_update2(module.get(), 0.08, nullptr, nullptr, nullptr, out.data());
    f0r_set_param_value(nullptr, nullptr, 0);
    f0r_set_param_value(module.get(), nullptr, 0);
    f0r_get_param_value(module.get(), nullptr, 0);
    f0r_get_plugin_info(nullptr);
    f0r_get_param_info(nullptr, 0);
    f0r_destruct(nullptr);
    // None of it counted as a frame: the first real one finds a fresh history.
    ReferenceFilter reference(w, h);
    EXPECT_EQ(colours(module.update(0.12, first)), reference.run(first));
}

TEST(BadInput, SizesBeyondTheFiltersFrameSizesAreRefused)
{
    EXPECT_EQ(f0r_construct(UINT_MAX, 1), nullptr);
    EXPECT_EQ(f0r_construct(1, 1u << 31), nullptr);
}

// frei0r lets hosts create, run and destroy instances on several threads at once (MLT
// renders in parallel), while registration goes through module-wide globals.
TEST(Threads, InstancesLiveAndWorkOnSeveralThreadsAtOnce)
{
    const int w = 20, h = 14;
    ReferenceFilter reference(w, h);
    std::vector<Frame> expected;
    for (int i = 0; i < 3; ++i) expected.push_back(reference.run(clipFrame(w, h, i)));
    std::atomic<int> mismatches{0};
    const auto work = [&] {
        for (int round = 0; round < 20; ++round) {
            Frei0rModule module(w, h);
            for (int i = 0; i < 3; ++i)
                if (colours(module.update(i, clipFrame(w, h, i))) != expected[i]) ++mismatches;
        }
    };
    std::thread a(work), b(work);
    a.join();
    b.join();
    EXPECT_EQ(mismatches, 0);
}
