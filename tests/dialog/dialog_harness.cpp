// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "tests/dialog/dialog_harness.h"

#include <algorithm>

#include "dialog/config_proc.h"
#include "tests/support/dialog_controls.h"

namespace
{

standin::ControlKind standinKind(SettingControlKind kind)
{
    switch (kind) {
        case SettingControlKind::Trackbar:
            return standin::ControlKind::Trackbar;
        case SettingControlKind::PushButton:
            return standin::ControlKind::PushButton;
        case SettingControlKind::CheckBox:
        case SettingControlKind::DisabledCheckBox:
            return standin::ControlKind::CheckBox;
        case SettingControlKind::GroupBox:
            return standin::ControlKind::GroupBox;
        default:
            return standin::ControlKind::Label;
    }
}

}  // namespace

DialogHarness::DialogHarness(int width, int height)
    : filter(width, height), parent(reinterpret_cast<HWND>(uintptr_t{0x1234}))
{
    standin::reset();
    std::vector<standin::ControlItem> controls;
    for (const SettingControl& c : kSettingControls)
        controls.push_back(
            {c.id, standinKind(c.kind), c.caption, c.kind == SettingControlKind::DisabledCheckBox});
    standin::registerDialog(1000, controls);
}

DialogHarness::~DialogHarness()
{
    standin::reset();
}

int DialogHarness::configure(const std::function<void(HWND)>& user, bool withPreview)
{
    standin::setSession(user);
    VDXFilterActivation& fa = filter.host.activation();
    fa.ifp = withPreview ? &preview : nullptr;
    return ConfigProc(&fa, nullptr, reinterpret_cast<VDXHWND>(parent));
}

ScriptValues DialogHarness::settings()
{
    const SettingValues all = loadSettingValues(filter.state());
    ScriptValues script;
    std::copy_n(all.begin(), kScriptSettingCount, script.begin());
    return script;
}
