// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// Fuzzes the frame pass as a host drives it: frames from 0x0 up to odd sizes wider
// than the histogram graph, padded and negative pitches (unaligned too) for the source
// and the destination independently, any script values, the dialog's switches, any
// worker count and workers that cannot be started. Every frame goes through RunProc
// (the fast pass on the platform's threads) on one instance and through the reference
// pass on another; the pixels, the guard bytes around them, the history and frozen
// values carried to the next frame and the reported levels and values must agree byte
// for byte.
#include <fuzzer/FuzzedDataProvider.h>

#include <climits>
#include <cstring>

#include "engine/row_executor.h"
#include "platform/threads.h"
#include "tests/fuzz/fuzz_check.h"
#include "tests/support/test_support.h"

namespace
{

int anyFlag(FuzzedDataProvider& in)
{
    return in.ConsumeBool() ? in.ConsumeIntegralInRange(0, 1) : in.ConsumeIntegral<int>();
}

// Mostly a few workers, sometimes none or fewer; rarely the bound and beyond it, since
// starting kMaxWorkers threads per frame would take most of the run's time.
int anyThreadCount(FuzzedDataProvider& in)
{
    // An exhausted input reads as 0, so 0 must be a cheap choice.
    switch (in.ConsumeIntegralInRange(0, 63)) {
        case 63:
            return in.PickValueInArray({kMaxWorkers - 1, kMaxWorkers, kMaxWorkers + 1, INT_MAX});
        case 62:
        case 61:
            return in.PickValueInArray({INT_MIN, -1, 0});
        default:
            return in.ConsumeIntegralInRange(1, 9);
    }
}

void fill(GuardedFrame& frame, FuzzedDataProvider& in)
{
    const uint32_t seed = in.ConsumeIntegral<uint32_t>();
    switch (in.ConsumeIntegralInRange(0, 3)) {
        case 0:
            fillFlat(frame, seed);
            break;
        case 1:
            fillRandom(frame, seed);
            break;
        case 2:
            fillNatural(frame, seed);
            break;
        default: {  // the input's own bytes, repeated over the frame
            const std::string bytes = in.ConsumeBytesAsString(in.ConsumeIntegralInRange(1, 64));
            const Plane p = frame.plane();
            size_t at = 0;
            for (int y = 0; y < p.height; ++y)
                for (int x = 0; x < p.width; ++x) {
                    uint32_t pixel = seed;
                    for (int b = 0; b < 4 && !bytes.empty(); ++b, ++at)
                        pixel = pixel << 8 | static_cast<uint8_t>(bytes[at % bytes.size()]);
                    frame.set(x, y, pixel);
                }
        }
    }
}

bool everyOtherStartFails(const ThreadSlot&)
{
    static unsigned starts = 0;
    return starts++ % 2 == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider in(data, size);
    // Mostly small frames, which run fast; large ones reach past every part of the
    // histogram graph (columns up to 351, rows up to 96 and the bars above).
    const bool large = in.ConsumeBool();
    const int width = in.ConsumeIntegralInRange(0, large ? 400 : 40);
    const int height = in.ConsumeIntegralInRange(0, large ? 110 : 24);
    TestFilter fast(width, height), reference(width, height);

    for (int frame = 0; frame < 8 && in.remaining_bytes() > 0; ++frame) {
        int config[kScriptSettingCount];
        for (int& v : config) v = anyScriptValue(in);
        fast.host.callScript("Config", config, kScriptSettingCount);
        reference.host.callScript("Config", config, kScriptSettingCount);
        const int disable = anyFlag(in), dialogClosed = anyFlag(in), graph = anyFlag(in);
        for (FilterState* s : {&fast.state(), &reference.state()}) {
            storeShared(s->disable, disable);
            storeShared(s->dialogClosed, dialogClosed);
            storeShared(s->showHistogram, graph);
        }
        fast.state().threadCount = anyThreadCount(in);

        GuardedFrame source(width, height, in.ConsumeIntegralInRange(0, 9), in.ConsumeBool());
        fill(source, in);
        GuardedFrame a(width, height, in.ConsumeIntegralInRange(0, 9), in.ConsumeBool(), 0x11);
        GuardedFrame b(width, height, 0, false, 0x22);

        setThreadStartFailureHook(in.ConsumeBool() ? everyOtherStartFails : nullptr);
        require(fast.run(source, a, frame) == 0, "RunProc did not return 0");
        setThreadStartFailureHook(nullptr);
        runReferencePass(reference.state(), source.constPlane(), b.plane());

        require(a.guardsIntact(), "the fast pass wrote outside the destination's pixels");
        require(source.guardsIntact() && b.guardsIntact(), "a pass wrote outside its frame");
        require(a.pixels() == b.pixels(), "the pixels differ from the reference pass");
        require(std::memcmp(fast.state().history, reference.state().history,
                            sizeof fast.state().history) == 0,
                "the history differs from the reference pass");
        require(std::memcmp(fast.state().frozen, reference.state().frozen,
                            sizeof fast.state().frozen) == 0,
                "the frozen values differ from the reference pass");
    }
    return 0;
}
