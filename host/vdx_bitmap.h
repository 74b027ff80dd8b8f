// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// Frame bitmap records the host hands to every callback (RGB32, bottom-up).
#pragma once

#include "host/vdx_types.h"

struct VDXPixmap {
    void* data;  // first (top) scanline; pitch may be negative
    uint32* palette;
    sint32 w;
    sint32 h;
    ptrdiff_t pitch;
    sint32 format;
    void* data2;
    ptrdiff_t pitch2;
    void* data3;
    ptrdiff_t pitch3;
};

struct VDXPixmapLayout {
    ptrdiff_t data;
    uint32* palette;
    sint32 w;
    sint32 h;
    ptrdiff_t pitch;
    sint32 format;
    ptrdiff_t data2;
    ptrdiff_t pitch2;
    ptrdiff_t data3;
    ptrdiff_t pitch3;
};

constexpr sint32 kVDXPixFormat_XRGB8888 = 8;

class VDXBitmap
{
public:
    void* _vtable;  // legacy slot, never used
    uint32* data;   // start of the bottom-most scanline
    uint32* palette;
    sint32 depth;  // 32 for XRGB8888
    sint32 w;
    sint32 h;
    ptrdiff_t pitch;   // bytes from one scanline to the next going up the picture
    ptrdiff_t modulo;  // pitch - 4 * w
    ptrdiff_t size;
    ptrdiff_t offset;
};

class VDXFBitmap : public VDXBitmap
{
public:
    enum { NEEDS_HDC = 0x00000001 };

    uint32 dwFlags;
    VDXHDC hdc;
    uint32 mFrameRateHi;
    uint32 mFrameRateLo;
    sint64 mFrameCount;
    VDXPixmapLayout* mpPixmapLayout;
    const VDXPixmap* mpPixmap;
    uint32 mAspectRatioHi;
    uint32 mAspectRatioLo;
    sint64 mFrameNumber;
    sint64 mFrameTimestampStart;
    sint64 mFrameTimestampEnd;
    sint64 mCookie;
};

static_assert(sizeof(VDXPixmap) == 72);
static_assert(offsetof(VDXPixmap, w) == 16 && offsetof(VDXPixmap, pitch) == 24);
static_assert(offsetof(VDXPixmap, format) == 32 && offsetof(VDXPixmap, pitch3) == 64);
static_assert(sizeof(VDXPixmapLayout) == 72);

static_assert(sizeof(VDXBitmap) == 72);
static_assert(offsetof(VDXBitmap, data) == 8);
static_assert(offsetof(VDXBitmap, palette) == 16);
static_assert(offsetof(VDXBitmap, depth) == 24);
static_assert(offsetof(VDXBitmap, w) == 28);
static_assert(offsetof(VDXBitmap, h) == 32);
static_assert(offsetof(VDXBitmap, pitch) == 40);
static_assert(offsetof(VDXBitmap, modulo) == 48);
static_assert(offsetof(VDXBitmap, size) == 56);
static_assert(offsetof(VDXBitmap, offset) == 64);

// VDXFBitmap extends VDXBitmap by inheritance, as the host declares it, which makes it
// formally non-standard-layout; single non-virtual inheritance lays it out like a
// leading member on every compiler we build with, and these asserts hold that.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
static_assert(sizeof(VDXFBitmap) == 160);
static_assert(offsetof(VDXFBitmap, dwFlags) == 72);
static_assert(offsetof(VDXFBitmap, hdc) == 80);
static_assert(offsetof(VDXFBitmap, mFrameRateHi) == 88);
static_assert(offsetof(VDXFBitmap, mFrameRateLo) == 92);
static_assert(offsetof(VDXFBitmap, mFrameCount) == 96);
static_assert(offsetof(VDXFBitmap, mpPixmapLayout) == 104);
static_assert(offsetof(VDXFBitmap, mpPixmap) == 112);
static_assert(offsetof(VDXFBitmap, mAspectRatioHi) == 120);
static_assert(offsetof(VDXFBitmap, mAspectRatioLo) == 124);
static_assert(offsetof(VDXFBitmap, mFrameNumber) == 128);
static_assert(offsetof(VDXFBitmap, mFrameTimestampStart) == 136);
static_assert(offsetof(VDXFBitmap, mFrameTimestampEnd) == 144);
static_assert(offsetof(VDXFBitmap, mCookie) == 152);
#pragma GCC diagnostic pop
