// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// What a host that links the filter hands one frame beyond the host's records: the value
// of every setting, the linked-only ones included (the record has room for the host's
// settings only), and the engine's links (engine/linked_carry.h): the carried state, the
// frame's request and the deep curve table. A host that only loads the module hands none.
#pragma once

#include "engine/linked_carry.h"
#include "plugin/settings_table.h"

struct LinkedFrame {
    const SettingValues* values;  // every setting, table order; never null
    FrameLinks links;
};
