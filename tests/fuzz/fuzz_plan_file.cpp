// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// Fuzzes the plan reader with any text, as an editor or a wrong file may hand it over,
// with and without a frame count that the input states. A plan it takes holds no more
// than the lines it read allow, writes out and reads back the same; one it refuses says
// why in one line.
#include <cstdint>
#include <sstream>
#include <string>

#include "linked/plan_file.h"
#include "tests/fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider in(data, size);
    const int64_t inputFrames = in.ConsumeBool() ? in.ConsumeIntegralInRange<int64_t>(1, 300) : 0;
    const std::string text = in.ConsumeRemainingBytesAsString();
    std::istringstream stream(text);
    PassPlan plan;
    std::string error;
    if (!readPlanText(stream, plan, error, inputFrames)) {
        require(!error.empty(), "a refusal without a reason");
        require(error.find('\n') == std::string::npos, "the reason is more than one line");
        return 0;
    }
    require(inputFrames == 0 || plan.frames == inputFrames, "took more frames than the input's");
    require(plan.measured.size() <= text.size(), "more frames measured than lines read");
    require(plan.applied.empty() || int64_t(plan.applied.size()) == plan.frames,
            "corrections do not cover the plan's frames");
    const std::string written = formatPlan(plan);
    std::istringstream back(written);
    PassPlan again;
    require(readPlanText(back, again, error, inputFrames), "a plan written does not read back");
    require(formatPlan(again) == written, "a plan read back writes out differently");
    return 0;
}
