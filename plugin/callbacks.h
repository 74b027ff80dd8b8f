// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The filter's host callbacks. Each reaches its FilterState through the activation
// record's filter_data and never throws.
#pragma once

#include "host/vdx_filter.h"

// The host's summary buffer is 128 bytes including the terminator.
constexpr int kSummaryBufferSize = 128;

int VDX_API InitProc(VDXFilterActivation* fa, const VDXFilterFunctions* ff);
int VDX_API StartProc(VDXFilterActivation* fa, const VDXFilterFunctions* ff);
int VDX_API RunProc(const VDXFilterActivation* fa, const VDXFilterFunctions* ff);
void VDX_API StringProc(const VDXFilterActivation* fa, const VDXFilterFunctions* ff, char* buf);
bool VDX_API FssProc(VDXFilterActivation* fa, const VDXFilterFunctions* ff, char* buf, int buflen);

// Script function "Config": one int per script setting (plugin/settings_table.h), stored
// unchecked.
void VDX_API script_config(IVDXScriptInterpreter* isi, void* activation, const VDXScriptValue* argv,
                           int argc);
