// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// Deeper input end to end: a 10-bit ramp keeps more levels than 8 bits hold, in a
// 10-bit output; PQ and HLG input is refused by name unless --allow-hdr.
#include <cstdint>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "tests/cli/cli_harness.h"

namespace
{

// A smooth ramp with a cast: each channel climbs a different 10-bit span, 500 to 600
// distinct values along a row.
constexpr const char* kRamp =
    "nullsrc=size=1024x64:rate=25,format=gbrp10le,"
    "geq=r='200+X*0.6':g='190+X*0.55':b='170+X*0.5'";

}  // namespace

class DeepColour : public CliTest
{
protected:
    // Distinct values of the first row of each plane (G, B, R) of a file's first frame,
    // decoded to 10 bits.
    std::vector<size_t> rowLevels(const std::string& file) const
    {
        ffmpeg("-i " + path(file) + " -frames:v 1 -f rawvideo -pix_fmt gbrp10le " +
               path("levels.raw"));
        const std::string raw = readText(path("levels.raw"));
        const size_t plane = raw.size() / 3;
        std::vector<size_t> levels;
        for (size_t p = 0; p < 3; ++p) {
            std::set<uint16_t> seen;
            for (size_t x = 0; x < 1024; ++x) {
                uint16_t v;
                std::memcpy(&v, raw.data() + p * plane + 2 * x, 2);
                seen.insert(v);
            }
            levels.push_back(seen.size());
        }
        return levels;
    }
};

TEST_F(DeepColour, TenBitRampKeepsMoreLevelsThanEightBitsHold)
{
    makeClip("in.mkv", kRamp, 3, "-c:v ffv1");
    // FFV1 keeps the RGB; libx264 (lossless, so that only the depth is tested) YUV 4:4:4.
    const std::vector<std::vector<std::string>> outputs = {{"--codec", "ffv1"}, {"--crf", "0"}};
    for (const std::vector<std::string>& output : outputs) {
        std::vector<std::string> args = {"in.mkv", "out.mkv", "-q"};
        args.insert(args.end(), output.begin(), output.end());
        const RunOutcome deep = telvo(args);
        ASSERT_EQ(deep.exitCode, 0) << deep.stderrText;
        for (const size_t levels : rowLevels("out.mkv")) EXPECT_GT(levels, 256u) << output[0];
    }
    const RunOutcome eight = telvo({"in.mkv", "eight.mkv", "--codec", "ffv1", "--eight-bit", "-q"});
    ASSERT_EQ(eight.exitCode, 0) << eight.stderrText;
    for (const size_t levels : rowLevels("eight.mkv")) EXPECT_LE(levels, 256u);
}

TEST_F(DeepColour, HdrInputIsRefusedByNameUnlessAllowed)
{
    const struct {
        const char* transfer;
        const char* named;
    } cases[] = {{"smpte2084", "PQ (SMPTE ST 2084)"}, {"arib-std-b67", "HLG (ARIB STD-B67)"}};
    for (const auto& c : cases) {
        makeClip("hdr.mkv", "testsrc2=size=64x48:rate=25", 2,
                 std::string("-c:v ffv1 -pix_fmt yuv420p10le -color_primaries bt2020 "
                             "-colorspace bt2020nc -color_trc ") +
                     c.transfer);
        const std::string out = std::string("out-") + c.transfer + ".mkv";
        const RunOutcome refused = telvo({"hdr.mkv", out, "-q"});
        EXPECT_EQ(refused.exitCode, 1) << c.transfer;
        EXPECT_NE(refused.stderrText.find(c.named), std::string::npos) << refused.stderrText;
        EXPECT_NE(refused.stderrText.find("--allow-hdr"), std::string::npos);
        EXPECT_TRUE(readText(path(out)).empty()) << "no output may be left";
        const RunOutcome allowed = telvo({"hdr.mkv", out, "-q", "--allow-hdr"});
        EXPECT_EQ(allowed.exitCode, 0) << allowed.stderrText;
    }
}
