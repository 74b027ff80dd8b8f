// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// A host preview that records what the dialog asks of it, in call order ("InitButton",
// "Toggle", "RedoFrame", ...). Shared by the native dialog tests and the Windows test
// host, which also renders a frame on every RedoFrame as a host would.
#pragma once

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "host/vdx_preview.h"

class RecordingPreview : public IVDXFilterPreview
{
public:
    std::vector<std::string> calls;
    VDXHWND initButtonWindow = nullptr;
    VDXHWND toggleWindow = nullptr;
    std::function<void()> onRedoFrame;  // optional: what the host does to re-render

    int redoCount() const
    {
        return static_cast<int>(std::count(calls.begin(), calls.end(), "RedoFrame"));
    }

    void SetButtonCallback(VDXFilterPreviewButtonCallback, void*) override
    {
        calls.push_back("SetButtonCallback");
    }
    void SetSampleCallback(VDXFilterPreviewSampleCallback, void*) override
    {
        calls.push_back("SetSampleCallback");
    }
    bool isPreviewEnabled() override
    {
        calls.push_back("isPreviewEnabled");
        return false;
    }
    void Toggle(VDXHWND w) override
    {
        calls.push_back("Toggle");
        toggleWindow = w;
    }
    void Display(VDXHWND, bool) override { calls.push_back("Display"); }
    void RedoFrame() override
    {
        calls.push_back("RedoFrame");
        if (onRedoFrame) onRedoFrame();
    }
    void RedoSystem() override { calls.push_back("RedoSystem"); }
    void UndoSystem() override { calls.push_back("UndoSystem"); }
    void InitButton(VDXHWND w) override
    {
        calls.push_back("InitButton");
        initButtonWindow = w;
    }
    void Close() override { calls.push_back("Close"); }
    bool SampleCurrentFrame() override
    {
        calls.push_back("SampleCurrentFrame");
        return false;
    }
    long SampleFrames() override
    {
        calls.push_back("SampleFrames");
        return 0;
    }
};
