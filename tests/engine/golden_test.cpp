// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// Regression guard: per-frame checksums of whole runs of the filter over generated
// clips. A change of any output byte fails here. When a behaviour change is intended,
// rewrite the file with scripts/update-golden.sh and say in the commit what changed.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "tests/support/pixel_hash.h"
#include "tests/support/test_support.h"

namespace
{

struct Clip {
    const char* name;
    int width, height;
    int config[kScriptSettingCount];
    int dialogClosed, showHistogram, disable;
};

const Clip kClips[] = {
    {"defaults", 160, 120, {15, 15, 0, 8, 8, 8, 8, 0}, 1, 0, 0},
    {"strong-border", 161, 97, {40, 40, 1, 12, 5, 20, 3, 0}, 1, 0, 0},
    {"dialog-open-graph", 400, 140, {25, 30, 1, 8, 8, 8, 8, 0}, 0, 1, 0},
    {"freeze-from-3", 64, 48, {15, 15, 0, 8, 8, 8, 8, 0}, 1, 0, 0},
    {"script-extremes", 33, 17, {-5, 70, 1, -3, 900, -1, 2, 0}, 1, 1, 0},
    {"disable", 50, 30, {15, 15, 0, 8, 8, 8, 8, 0}, 1, 0, 1},
};
constexpr int kFramesPerClip = 8;

std::string goldenPath()
{
    return std::string(TELVO_SOURCE_DIR) + "/tests/golden/frame_pass.txt";
}

// One line per frame: "<clip> <frame> <checksum>".
std::map<std::string, std::string> runAll()
{
    std::map<std::string, std::string> out;
    for (const Clip& c : kClips) {
        TestFilter f(c.width, c.height);
        f.host.callScript("Config", c.config, kScriptSettingCount);
        f.state().dialogClosed = c.dialogClosed;
        f.state().showHistogram = c.showHistogram;
        f.state().disable = c.disable;
        for (int frame = 0; frame < kFramesPerClip; ++frame) {
            if (std::string(c.name) == "freeze-from-3" && frame == 3) f.state().freeze = 1;
            // Light that changes from frame to frame: a new seed per frame.
            GuardedFrame src(c.width, c.height), dst(c.width, c.height);
            fillNatural(src, 100 + frame);
            const ConstPlane in = src.constPlane();
            f.host.run(in.row0, in.pitch, dst.plane().row0, dst.plane().pitch, c.width, c.height,
                       frame);
            std::ostringstream key, value;
            key << c.name << " " << frame;
            value << std::hex << hashPixels(dst.pixels());
            out[key.str()] = value.str();
        }
    }
    return out;
}

}  // namespace

TEST(Golden, WholeRunsMatchTheRecordedChecksums)
{
    const std::map<std::string, std::string> actual = runAll();
    if (std::getenv("TELVO_UPDATE_GOLDEN")) {
        std::ofstream file(goldenPath());
        for (const auto& [key, value] : actual) file << key << " " << value << "\n";
        GTEST_SKIP() << "rewrote " << goldenPath();
    }
    std::ifstream file(goldenPath());
    ASSERT_TRUE(file) << "missing " << goldenPath();
    std::map<std::string, std::string> expected;
    std::string clip, frame, value;
    while (file >> clip >> frame >> value) expected[clip + " " + frame] = value;
    ASSERT_EQ(expected.size(), actual.size());
    for (const auto& [key, value] : actual) EXPECT_EQ(value, expected[key]) << key;
}
