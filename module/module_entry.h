// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The module's two exports, for hosts that link the filter instead of loading it.
#pragma once

#include "host/vdx_filter.h"

extern "C" {
int VDX_API VirtualdubFilterModuleInit2(VDXFilterModule* fm, const VDXFilterFunctions* ff,
                                        int& vdfd_ver, int& vdfd_compat);
void VDX_API VirtualdubFilterModuleDeinit(VDXFilterModule* fm, const VDXFilterFunctions* ff);
}
