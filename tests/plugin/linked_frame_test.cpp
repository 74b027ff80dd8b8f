// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The linked frame a host attaches for RunProc: the linked-only settings and the carry of
// one instance must never reach another instance's frame, another thread's, or a later
// call once detached.
#include "plugin/linked_frame.h"

#include <gtest/gtest.h>

#include <thread>

TEST(LinkedFrame, ReachesOnlyItsOwnInstanceOnItsOwnThreadUntilDetached)
{
    const int instance = 0, other = 0;
    const SettingValues values = defaultSettingValues();
    LinkedCarry carry;
    attachLinkedFrame(&instance, LinkedFrame{&values, &carry});

    const LinkedFrame* seen = linkedFrameFor(&instance);
    ASSERT_NE(seen, nullptr);
    EXPECT_EQ(seen->values, &values);
    EXPECT_EQ(seen->carry, &carry);
    EXPECT_EQ(linkedFrameFor(&other), nullptr) << "another instance's RunProc";
    EXPECT_EQ(linkedFrameFor(nullptr), nullptr);
    const LinkedFrame* seenElsewhere = seen;
    std::thread([&] { seenElsewhere = linkedFrameFor(&instance); }).join();
    EXPECT_EQ(seenElsewhere, nullptr) << "the same instance rendered on another thread";

    detachLinkedFrame();
    EXPECT_EQ(linkedFrameFor(&instance), nullptr) << "a later plain RunProc";
}
