// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "dialog/config_proc.h"

#include "dialog/config_dialog.h"
#include "dialog/dialog_ids.h"
#include "dialog/dialog_rules.h"
#include "dialog/module_instance.h"
#include "plugin/filter_state.h"

namespace
{

// Our template uses the common controls' trackbar. Hosts normally register it already;
// registering again is harmless and makes the dialog independent of that.
void registerTrackbarClass()
{
    INITCOMMONCONTROLSEX init{};
    init.dwSize = sizeof init;
    init.dwICC = ICC_BAR_CLASSES;
    InitCommonControlsEx(&init);
}

}  // namespace

int VDX_API ConfigProc(VDXFilterActivation* fa, const VDXFilterFunctions*, VDXHWND parent)
{
    FilterState& state = *static_cast<FilterState*>(fa->filter_data);
    state.preview = fa->ifp;
    // The size the margin ranges and the margin rule use while the dialog is open.
    storeShared(state.height, fa->src ? fa->src->h : 0);
    storeShared(state.width, fa->src ? fa->src->w : 0);

    registerTrackbarClass();
    const INT_PTR result =
        DialogBoxParamA(g_hInst, MAKEINTRESOURCEA(IDD_SETTING), reinterpret_cast<HWND>(parent),
                        ConfigDlgProc, reinterpret_cast<LPARAM>(&state));
    return configResult(result);
}
