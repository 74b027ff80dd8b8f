// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// Fuzzes the script function as a host calls it: "Config" through the host layer with
// any eight ints (and with other argument counts, which the host refuses), then the
// summary and the script line the host reads back, the line into buffers of any size.
// The eight values must land in their own fields and nowhere else, the summary must
// name them in order (cut to the host's buffer), and the saved line must replay, through
// the --config parser, to the same eight values.
#include <fuzzer/FuzzedDataProvider.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/command/config_line.h"
#include "plugin/callbacks.h"
#include "plugin/filter_state.h"
#include "tests/fuzz/fuzz_check.h"
#include "tests/support/test_support.h"

namespace
{

// The eight fields in script order, written out here rather than taken from the
// settings table, so a table row pointing at the wrong field shows.
void scriptFields(const FilterState& s, int out[8])
{
    const int fields[8] = {s.gamma, s.alignment, s.border, s.top,
                           s.left,  s.right,     s.bottom, s.freeze};
    std::memcpy(out, fields, sizeof fields);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider in(data, size);
    TestFilter filter(in.ConsumeIntegralInRange(0, 4000), in.ConsumeIntegralInRange(0, 4000));
    FilterState& state = filter.state();

    while (in.remaining_bytes() > 0) {
        int values[12];
        const int count = in.ConsumeIntegralInRange(0, 12);
        for (int i = 0; i < count; ++i) values[i] = anyScriptValue(in);

        FilterState before;
        std::memcpy(&before, &state, sizeof before);
        const bool called = filter.host.callScript("Config", values, count);
        require(called == (count == 8), "the host took a call that does not match \"0iiiiiiii\"");
        if (!called) {
            require(std::memcmp(&before, &state, sizeof before) == 0,
                    "a refused call changed the record");
            continue;
        }
        int stored[8];
        scriptFields(state, stored);
        require(std::memcmp(stored, values, sizeof stored) == 0,
                "a value did not land in its own field");
        FilterState others;
        std::memcpy(&others, &state, sizeof others);
        others.gamma = before.gamma;
        others.alignment = before.alignment;
        others.border = before.border;
        others.top = before.top;
        others.left = before.left;
        others.right = before.right;
        others.bottom = before.bottom;
        others.freeze = before.freeze;
        require(std::memcmp(&others, &before, sizeof before) == 0,
                "the script function changed more than the eight settings");

        char expected[256];
        std::snprintf(expected, sizeof expected,
                      " (gamma %d, alignment %d, border %d, top %d, left %d, right %d, bottom %d, "
                      "freeze %d)",
                      values[0], values[1], values[2], values[3], values[4], values[5], values[6],
                      values[7]);
        require(filter.host.summary() == std::string(expected).substr(0, kSummaryBufferSize - 1),
                "the summary does not name the eight values in order");

        char line[128];
        const int length = std::snprintf(line, sizeof line, "Config(%d,%d,%d,%d,%d,%d,%d,%d)",
                                         values[0], values[1], values[2], values[3], values[4],
                                         values[5], values[6], values[7]);
        const int bufferSize = in.ConsumeIntegralInRange(1, 128);
        std::string saved;
        const bool offered = filter.host.scriptLine(saved, bufferSize);
        require(offered == (length < bufferSize), "a script line offered that does not fit");
        if (!offered) continue;
        require(saved == line, "the script line is not Config(...) of the eight values");

        SettingValues replayed = defaultSettingValues();
        std::string error;
        require(parseConfigLine(saved, replayed, error), "the saved script line is refused");
        require(std::memcmp(replayed.data(), values, 8 * sizeof(int)) == 0,
                "the saved script line replays to other values");
    }
    return 0;
}
