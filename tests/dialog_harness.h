// Drives ConfigProc natively: the stand-in dialog built from the control table, a preview
// that records what the dialog asks of the host, and a filter instance to configure.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "dialog/win32_api.h"
#include "host/vdx_preview.h"
#include "plugin/settings_text.h"
#include "test_support.h"

// Records the preview operations in call order: "InitButton", "Toggle", "RedoFrame".
class RecordingPreview : public IVDXFilterPreview
{
public:
    std::vector<std::string> calls;
    VDXHWND initButtonWindow = nullptr;
    VDXHWND toggleWindow = nullptr;
    int redoCount() const;

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
    void RedoFrame() override { calls.push_back("RedoFrame"); }
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

class DialogHarness
{
public:
    explicit DialogHarness(int width = 640, int height = 480);
    ~DialogHarness();

    // Calls ConfigProc with the instance; `user` plays the user while the dialog is open.
    // The preview offered is `preview`, or none when withPreview is false.
    int configure(const std::function<void(HWND)>& user, bool withPreview = true);

    FilterState& state() { return filter.state(); }
    ScriptSettings settings() { return loadScriptSettings(filter.state()); }

    TestFilter filter;
    RecordingPreview preview;
    HWND parent;
};

// The user's usual last step.
inline void pressOk(HWND dialog)
{
    standin::clickButton(dialog, 1016);
}
inline void pressCancel(HWND dialog)
{
    standin::clickButton(dialog, 1017);
}

bool operator==(const ScriptSettings& a, const ScriptSettings& b);
