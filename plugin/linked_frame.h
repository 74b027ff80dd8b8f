// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// What a host that links the filter hands the next RunProc of one instance beyond the
// host's records: the values of every setting, the linked-only ones included, and the
// engine state it carries from frame to frame (LinkedCarry). Neither has room in the
// instance record, whose layout is the host's, and RunProc's signature is the host's too.
// So, as with the frame report (plugin/frame_report.h), the host attaches them to the
// calling thread, tagged with the instance record's address, right before RunProc, and
// detaches them right after: a RunProc of another instance, or on another thread, never
// sees them, and a host that only loads the module never attaches anything (RunProc
// then renders the linked-only settings at their defaults, with no carry).
#pragma once

#include "engine/linked_carry.h"
#include "plugin/settings_table.h"

struct LinkedFrame {
    const SettingValues* values;  // every setting, table order; never null
    LinkedCarry* carry;           // the host's; the frame pass updates it
    // Flag: the bitmaps hold 64-bit pixels of 16 bits per channel (FrameSettings::
    // deepColour), each row 8 bytes per pixel. Not a setting: it says how the host lays
    // out its frames, so no host offers it to a user.
    int deepColour = 0;
};

// Attaches `frame` for the next RunProc of `instance` (the activation's filter_data) on
// this thread; the pointers must stay valid until detachLinkedFrame.
void attachLinkedFrame(const void* instance, const LinkedFrame& frame);
void detachLinkedFrame();

// What is attached on this thread for `instance`; null for another instance or none.
const LinkedFrame* linkedFrameFor(const void* instance);
