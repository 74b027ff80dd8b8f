// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The filter definition's configuration callback: shows the modal "Setting" dialog and
// returns 0 when the user accepted it, non-zero otherwise.
#pragma once

#include "host/vdx_filter.h"

int VDX_API ConfigProc(VDXFilterActivation* fa, const VDXFilterFunctions* ff, VDXHWND parent);
