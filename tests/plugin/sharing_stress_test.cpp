// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The dialog writes settings while frames render, with no lock. One thread moves every
// shared setting through its range (and beyond, as scripts may) while another renders;
// nothing may crash, read outside the buffers, or trip ThreadSanitizer.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "plugin/setting_binding.h"
#include "plugin/settings_text.h"
#include "tests/support/test_support.h"

TEST(Sharing, SettingsChangeWhileFramesRender)
{
    TestFilter f(96, 64);
    FilterState& state = f.state();
    state.threadCount = 3;
    std::atomic<bool> done{false};

    std::thread dialog([&] {
        for (int step = 0; !done.load(); ++step) {
            storeShared(state.gamma, step % 50 - 5);
            storeShared(state.alignment, (step * 7) % 60 - 10);
            storeShared(state.border, step % 2);
            storeShared(state.dialogClosed, step % 3 == 0);
            storeShared(state.showHistogram, step % 5 == 0);
            storeShared(state.disable, step % 7 == 0);
            storeShared(state.freeze, step % 11 == 0);
            storeShared(state.top, step % 80 - 10);
            storeShared(state.bottom, 70 - step % 80);
            storeShared(state.left, step % 120 - 10);
            storeShared(state.right, (step * 3) % 120 - 10);
            char buffer[128];
            formatSummary(buffer, sizeof buffer, loadSettingValues(state));
            std::this_thread::yield();
        }
    });

    GuardedFrame src(96, 64), dst(96, 64, 8);
    fillNatural(src, 3);
    const ConstPlane in = src.constPlane();
    const Plane out = dst.plane();
    for (int frame = 0; frame < 150; ++frame)
        ASSERT_EQ(f.host.run(in.row0, in.pitch, out.row0, out.pitch, 96, 64, frame), 0);
    done = true;
    dialog.join();
    EXPECT_TRUE(dst.guardsIntact());
    EXPECT_TRUE(src.guardsIntact());
}
