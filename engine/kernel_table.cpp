// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "engine/kernel_table.h"

#include <iterator>

namespace
{

// In CpuLevel order.
constexpr KernelTable kKernelsByLevel[] = {
    // Deep rows go through a lazily filled table of 65536 entries per channel, beyond
    // any register file: the vector level gathers its filled entries.
    {.remapRow = remapRowScalar,
     .remapDeepRow = remapDeepRowScalar,
     .countDeepJointRow = countDeepJointRowScalar,
     .countBalanceGrid = countBalanceGridScalar},  // Scalar
    {.remapRow = remapRowScalar,
     .remapDeepRow = remapDeepRowScalar,
     .countDeepJointRow = countDeepJointRowScalar,
     .countBalanceGrid = countBalanceGridAvx2},  // Avx2
    {.remapRow = remapRowAvx512Vbmi,
     .remapDeepRow = remapDeepRowAvx512,
     .countDeepJointRow = countDeepJointRowAvx512,
     .countBalanceGrid = countBalanceGridAvx512},  // Avx512Vbmi
};
static_assert(std::size(kKernelsByLevel) == static_cast<size_t>(CpuLevel::Avx512Vbmi) + 1,
              "one row per CPU level");

}  // namespace

const KernelTable& kernelsFor(CpuLevel level)
{
    return kKernelsByLevel[static_cast<int>(level)];
}
