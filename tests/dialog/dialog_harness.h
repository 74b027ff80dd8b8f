// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// Drives ConfigProc natively: the stand-in dialog built from the control table, a preview
// that records what the dialog asks of the host, and a filter instance to configure.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "plugin/setting_binding.h"
#include "plugin/settings_text.h"
#include "tests/support/recording_preview.h"
#include "tests/support/test_support.h"
#include "tests/support/win32_standin.h"

using ScriptValues = std::array<int, kScriptSettingCount>;

class DialogHarness
{
public:
    explicit DialogHarness(int width = 640, int height = 480);
    ~DialogHarness();

    // Calls ConfigProc with the instance; `user` plays the user while the dialog is open.
    // The preview offered is `preview`, or none when withPreview is false.
    int configure(const std::function<void(HWND)>& user, bool withPreview = true);

    FilterState& state() { return filter.state(); }
    // The script settings, which Cancel restores.
    ScriptValues settings();

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
