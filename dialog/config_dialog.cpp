// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// Every change is written into FilterState at once, whole 32-bit field by field, and then
// the host is asked to render the current frame again, so the preview follows the user.
#include "dialog/config_dialog.h"

#include "dialog/dialog_ids.h"
#include "dialog/dialog_rules.h"
#include "host/vdx_preview.h"
#include "plugin/filter_state.h"
#include "plugin/setting_binding.h"

namespace
{

struct FlagBox {
    int id;
    int FilterState::*field;
};

constexpr FlagBox kFlagBoxes[] = {
    {IDC_DISABLE, &FilterState::disable},
    {IDC_BORDER, &FilterState::border},
    {IDC_SHOW_HISTOGRAM, &FilterState::showHistogram},
    {IDC_RESERVE, &FilterState::reserve},
    {IDC_FREEZE, &FilterState::freeze},
};

// A trackbar and the setting it writes. Margin trackbars also name the opposite margin
// that yields to them; the frame extent a margin lives in and the range of the others
// come from the settings table. The order is the order in which a notifying window is
// matched.
struct Slider {
    int id;
    int FilterState::*field;
    int FilterState::*opposite;  // null for gamma and alignment
    int oppositeId;

    const Setting& setting() const { return kSettings[settingIndexOf(field)]; }
    int FilterState::*extent() const { return extentOf(setting().kind); }
};

constexpr Slider kSliders[] = {
    {IDC_GAMMA, &FilterState::gamma, nullptr, 0},
    {IDC_ALIGNMENT, &FilterState::alignment, nullptr, 0},
    {IDC_TOP, &FilterState::top, &FilterState::bottom, IDC_BOTTOM},
    {IDC_LEFT, &FilterState::left, &FilterState::right, IDC_RIGHT},
    {IDC_RIGHT, &FilterState::right, &FilterState::left, IDC_LEFT},
    {IDC_BOTTOM, &FilterState::bottom, &FilterState::top, IDC_TOP},
};

constexpr bool slidersHaveSettings()
{
    for (const Slider& slider : kSliders)
        if (settingIndexOf(slider.field) < 0) return false;
    return true;
}
static_assert(slidersHaveSettings());

FilterState* stateOf(HWND dialog)
{
    return reinterpret_cast<FilterState*>(GetWindowLongPtrA(dialog, DWLP_USER));
}

// A host may offer no preview; then every preview call is skipped.
void redoFrame(const FilterState& s)
{
    if (s.preview != nullptr) s.preview->RedoFrame();
}

void setTrackbarPosition(HWND dialog, int id, int position)
{
    SendDlgItemMessageA(dialog, id, TBM_SETPOS, TRUE, static_cast<LPARAM>(position));
}

void setUpTrackbar(HWND dialog, int id, int ticFrequency, BOOL redrawRange, int minimum,
                   int maximum, int position)
{
    SendDlgItemMessageA(dialog, id, TBM_SETTICFREQ, static_cast<WPARAM>(ticFrequency), 0);
    SendDlgItemMessageA(dialog, id, TBM_SETRANGE, static_cast<WPARAM>(redrawRange),
                        static_cast<LPARAM>(packedTrackbarRange(minimum, maximum)));
    setTrackbarPosition(dialog, id, position);
}

INT_PTR onInitDialog(HWND dialog, LPARAM lParam)
{
    SetWindowLongPtrA(dialog, DWLP_USER, static_cast<LONG_PTR>(lParam));
    FilterState* state = reinterpret_cast<FilterState*>(lParam);
    if (state == nullptr) return TRUE;
    FilterState& s = *state;
    storeShared(s.dialogClosed, 0);

    for (const Slider& slider : kSliders) {
        if (slider.extent() != nullptr) continue;
        const SettingRange range = slider.setting().range;
        setUpTrackbar(dialog, slider.id, 2, FALSE, range.low, range.high,
                      loadShared(s.*slider.field));
    }
    for (const FlagBox& box : kFlagBoxes)
        CheckDlgButton(dialog, box.id, loadShared(s.*box.field) != 0 ? BST_CHECKED : BST_UNCHECKED);
    for (const Slider& slider : kSliders) {
        if (slider.extent() == nullptr) continue;
        setUpTrackbar(dialog, slider.id, 10, TRUE, kMarginMinimum,
                      marginMaximum(loadShared(s.*slider.extent())), loadShared(s.*slider.field));
    }
    takeBackups(s);

    HWND previewButton = GetDlgItem(dialog, IDC_SHOW_PREVIEW);
    if (s.preview != nullptr)
        s.preview->InitButton(reinterpret_cast<VDXHWND>(previewButton));
    else
        EnableWindow(previewButton, FALSE);
    SetDlgItemInt(dialog, IDC_THREAD_COUNT, static_cast<UINT>(s.threadCount), FALSE);
    return TRUE;
}

// lParam is the notifying trackbar; the notification code is irrelevant, as every step
// of a drag re-reads the position.
INT_PTR onTrackbar(HWND dialog, FilterState& s, LPARAM lParam)
{
    const HWND source = reinterpret_cast<HWND>(lParam);
    for (const Slider& slider : kSliders) {
        if (source == nullptr || source != GetDlgItem(dialog, slider.id)) continue;
        const int position =
            static_cast<int>(SendDlgItemMessageA(dialog, slider.id, TBM_GETPOS, 0, 0));
        storeShared(s.*slider.field, position);
        if (slider.extent() != nullptr) {
            const MarginYield y = applyMarginRule(loadShared(s.*slider.extent()), position,
                                                  loadShared(s.*slider.opposite));
            if (y.yields) {
                storeShared(s.*slider.opposite, y.opposite);
                setTrackbarPosition(dialog, slider.oppositeId, y.opposite);
            }
        }
        redoFrame(s);
        break;
    }
    return FALSE;
}

// Only Ok and Cancel end the dialog; the dialog manager's IDOK and IDCANCEL (Enter,
// Escape, the close box) fall through and change nothing.
INT_PTR onCommand(HWND dialog, FilterState& s, int id)
{
    for (const FlagBox& box : kFlagBoxes) {
        if (box.id == id) {
            storeShared(s.*box.field, IsDlgButtonChecked(dialog, id) != 0 ? 1 : 0);
            redoFrame(s);
            return FALSE;
        }
    }
    switch (id) {
        case IDC_SHOW_PREVIEW:
            if (s.preview != nullptr) {
                s.preview->Toggle(reinterpret_cast<VDXHWND>(dialog));
                s.preview->RedoFrame();
            }
            return FALSE;
        case IDC_OK:
            EndDialog(dialog, IDC_OK);
            storeShared(s.dialogClosed, 1);
            return TRUE;
        case IDC_CANCEL:
            storeShared(s.dialogClosed, 1);
            restoreBackups(s);
            EndDialog(dialog, 0);
            return FALSE;
        default:
            return FALSE;
    }
}

}  // namespace

INT_PTR CALLBACK ConfigDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    FilterState* state = stateOf(dialog);
    switch (message) {
        case WM_INITDIALOG:
            return onInitDialog(dialog, lParam);
        case WM_HSCROLL:
            return state ? onTrackbar(dialog, *state, lParam) : FALSE;
        case WM_COMMAND:
            return state ? onCommand(dialog, *state, LOWORD(wParam)) : FALSE;
        default:
            return FALSE;
    }
}
