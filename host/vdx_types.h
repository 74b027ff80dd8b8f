// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// Basic scalar and handle types of the host's filter plug-in interface (API 14, x64).
// Declarations only; every record built from them asserts its x64 layout.
#pragma once

#include <cstddef>
#include <cstdint>

using sint32 = int32_t;
using uint32 = uint32_t;
using sint64 = int64_t;

// Opaque window and device-context handles as the host passes them. On Windows they
// are HWND/HDC under another name; elsewhere only their pointer width matters.
struct VDXHWNDStruct;
using VDXHWND = VDXHWNDStruct*;
struct VDXHDCStruct;
using VDXHDC = VDXHDCStruct*;

// Host-private records the module only passes back.
struct VDXFilterModule;
struct VDXFilterVTbls;
class IVDXVideoPrefetcher;

#if defined(_WIN32)
#define VDX_API __cdecl
#else
#define VDX_API
#endif

static_assert(sizeof(void*) == 8, "the host interface is declared for 64-bit targets");
static_assert(sizeof(int) == 4 && sizeof(bool) == 1, "LLP64/LP64 scalar widths expected");
