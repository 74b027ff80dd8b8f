// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The host's preview interface. Pure virtual, no virtual destructor, so the slot
// numbering is the same under MSVC and mingw-w64 GCC.
#pragma once

#include "host/vdx_types.h"

class VDXFBitmap;

using VDXFilterPreviewButtonCallback = void(VDX_API*)(bool newState, void* data);
using VDXFilterPreviewSampleCallback = void(VDX_API*)(VDXFBitmap* frame, long frameNo,
                                                      long frameCount, void* data);

class IVDXFilterPreview
{
public:
    virtual void SetButtonCallback(VDXFilterPreviewButtonCallback cb, void* data) = 0;  // 0
    virtual void SetSampleCallback(VDXFilterPreviewSampleCallback cb, void* data) = 0;  // 1
    virtual bool isPreviewEnabled() = 0;                                                // 2
    virtual void Toggle(VDXHWND window) = 0;                                            // 3
    virtual void Display(VDXHWND window, bool show) = 0;                                // 4
    virtual void RedoFrame() = 0;                                                       // 5
    virtual void RedoSystem() = 0;                                                      // 6
    virtual void UndoSystem() = 0;                                                      // 7
    virtual void InitButton(VDXHWND button) = 0;                                        // 8
    virtual void Close() = 0;                                                           // 9
    virtual bool SampleCurrentFrame() = 0;                                              // 10
    virtual long SampleFrames() = 0;                                                    // 11
};

class IVDXFilterPreview2 : public IVDXFilterPreview
{
public:
    virtual bool IsPreviewDisplayed() = 0;  // 12
};

static_assert(sizeof(IVDXFilterPreview) == sizeof(void*), "one vtable pointer, no data");
