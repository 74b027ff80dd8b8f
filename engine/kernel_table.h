// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The kernels the processor chooses, gathered in one table per CPU level: each entry is
// the widest variant that level allows, and a level without a variant of its own names
// the scalar one. A new kernel is one field here, its entry in every level's row
// (kernel_table.cpp) and its check in the kernel test, which walks every level this
// processor offers and compares each entry with its reference.
#pragma once

#include "engine/balance_counts.h"
#include "engine/cpu_level.h"
#include "engine/deep_remap.h"
#include "engine/histogram.h"
#include "engine/remap_row.h"

struct KernelTable {
    RemapRowFunction remapRow;          // one row of packed pixels through the frame's tables
    RemapDeepRowFunction remapDeepRow;  // one row of deep pixels through the frame's curves
    CountDeepJointRowFunction countDeepJointRow;  // one row of deep pixels into the joint table
    CountBalanceGridFunction countBalanceGrid;    // a worker's grid rows into the balance counts
};

// The kernels of `level`; callers pass cpuLevel(), asked once per frame.
const KernelTable& kernelsFor(CpuLevel level);
