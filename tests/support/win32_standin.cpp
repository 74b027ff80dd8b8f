// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "tests/support/win32_standin.h"

#include <cstdio>
#include <map>
#include <memory>

// A window is either the dialog itself (control < 0) or one of its controls.
struct HWND__ {
    struct Dialog* dialog;
    int control;
};

namespace
{

using standin::ControlItem;
using standin::ControlKind;
using standin::ControlState;

struct Control {
    int id;
    ControlState state;
    HWND__ window;
};

}  // namespace

struct Dialog {
    HWND__ window{this, -1};
    std::vector<std::unique_ptr<Control>> controls;
    std::vector<standin::SentMessage> sent;
    DLGPROC proc = nullptr;
    LONG_PTR user = 0;
    bool ended = false;
    INT_PTR result = 0;
};

namespace
{

struct World {
    std::map<int, std::vector<ControlItem>> templates;
    std::function<void(HWND)> session;
    std::unique_ptr<Dialog> last;
    HINSTANCE lastInstance = nullptr;
    HWND lastParent = nullptr;
    bool failNext = false;
    DWORD classes = 0;
};

World& world()
{
    static World w;
    return w;
}

Control* find(HWND dialog, int id)
{
    if (dialog == nullptr || dialog->control >= 0) return nullptr;
    for (auto& c : dialog->dialog->controls)
        if (c->id == id) return c.get();
    return nullptr;
}

Control* controlOf(HWND window)
{
    if (window == nullptr || window->control < 0) return nullptr;
    return window->dialog->controls[static_cast<size_t>(window->control)].get();
}

int clampPosition(const ControlState& s, int64_t position)
{
    if (position < s.rangeMin) position = s.rangeMin;
    if (position > s.rangeMax) position = s.rangeMax;
    return static_cast<int>(position);
}

LRESULT trackbarMessage(ControlState& s, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
        case TBM_GETPOS:
            return s.position;
        case TBM_GETRANGEMIN:
            return s.rangeMin;
        case TBM_GETRANGEMAX:
            return s.rangeMax;
        case TBM_SETPOS:
            s.position = clampPosition(s, static_cast<int32_t>(lParam));
            return 0;
        case TBM_SETRANGE:
            s.rangeMin = static_cast<int16_t>(LOWORD(static_cast<uint64_t>(lParam)));
            s.rangeMax = static_cast<int16_t>(HIWORD(static_cast<uint64_t>(lParam)));
            s.position = clampPosition(s, s.position);
            return 0;
        case TBM_SETTICFREQ:
            s.ticFrequency = static_cast<int>(wParam);
            return 0;
        default:
            return 0;
    }
}

bool open(HWND dialog)
{
    return dialog != nullptr && dialog->control < 0 && !dialog->dialog->ended;
}

}  // namespace

INT_PTR DialogBoxParamA(HINSTANCE instance, LPCSTR templateName, HWND parent, DLGPROC proc,
                        LPARAM initParam)
{
    World& w = world();
    w.lastInstance = instance;
    w.lastParent = parent;
    const auto id = static_cast<int>(reinterpret_cast<uintptr_t>(templateName));
    const auto found = w.templates.find(id);
    if (w.failNext || found == w.templates.end() || proc == nullptr) {
        w.failNext = false;
        return -1;
    }
    auto dialog = std::make_unique<Dialog>();
    dialog->proc = proc;
    for (const ControlItem& item : found->second) {
        auto c = std::make_unique<Control>();
        c->id = item.id;
        c->state.kind = item.kind;
        c->state.enabled = !item.disabled;
        c->state.checked = BST_UNCHECKED;
        c->state.text = item.caption ? item.caption : "";
        c->window = HWND__{dialog.get(), static_cast<int>(dialog->controls.size())};
        dialog->controls.push_back(std::move(c));
    }
    w.last = std::move(dialog);
    HWND window = &w.last->window;
    // The dialog manager sends the font before WM_INITDIALOG, before DWLP_USER is set.
    proc(window, WM_SETFONT, 0, 0);
    proc(window, WM_INITDIALOG, 0, initParam);
    if (w.session) w.session(window);
    return w.last->ended ? w.last->result : -1;
}

BOOL EndDialog(HWND dialog, INT_PTR result)
{
    if (!open(dialog)) return FALSE;
    dialog->dialog->ended = true;
    dialog->dialog->result = result;
    return TRUE;
}

HWND GetDlgItem(HWND dialog, int id)
{
    Control* c = find(dialog, id);
    return c ? &c->window : nullptr;
}

LRESULT SendDlgItemMessageA(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam)
{
    Control* c = find(dialog, id);
    if (c == nullptr) return 0;
    dialog->dialog->sent.push_back({id, message, wParam, lParam});
    if (c->state.kind != ControlKind::Trackbar) return 0;
    return trackbarMessage(c->state, message, wParam, lParam);
}

BOOL CheckDlgButton(HWND dialog, int id, UINT check)
{
    Control* c = find(dialog, id);
    if (c == nullptr) return FALSE;
    c->state.checked = check;
    return TRUE;
}

UINT IsDlgButtonChecked(HWND dialog, int id)
{
    Control* c = find(dialog, id);
    return c ? c->state.checked : 0;
}

BOOL SetDlgItemInt(HWND dialog, int id, UINT value, BOOL isSigned)
{
    Control* c = find(dialog, id);
    if (c == nullptr) return FALSE;
    char text[16];
    if (isSigned)
        std::snprintf(text, sizeof text, "%d", static_cast<int>(value));
    else
        std::snprintf(text, sizeof text, "%u", value);
    c->state.text = text;
    return TRUE;
}

BOOL EnableWindow(HWND window, BOOL enable)
{
    Control* c = controlOf(window);
    if (c == nullptr) return FALSE;
    const bool wasDisabled = !c->state.enabled;
    c->state.enabled = enable != FALSE;
    return wasDisabled ? TRUE : FALSE;
}

LONG_PTR GetWindowLongPtrA(HWND window, int index)
{
    if (window == nullptr || window->control >= 0 || index != DWLP_USER) return 0;
    return window->dialog->user;
}

LONG_PTR SetWindowLongPtrA(HWND window, int index, LONG_PTR value)
{
    if (window == nullptr || window->control >= 0 || index != DWLP_USER) return 0;
    const LONG_PTR previous = window->dialog->user;
    window->dialog->user = value;
    return previous;
}

BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX* init)
{
    if (init == nullptr || init->dwSize != sizeof(INITCOMMONCONTROLSEX)) return FALSE;
    world().classes |= init->dwICC;
    return TRUE;
}

namespace standin
{

void registerDialog(int resourceId, std::vector<ControlItem> controls)
{
    world().templates[resourceId] = std::move(controls);
}

void setSession(std::function<void(HWND)> session)
{
    world().session = std::move(session);
}

void failNextDialog()
{
    world().failNext = true;
}

void send(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (open(dialog)) dialog->dialog->proc(dialog, message, wParam, lParam);
}

void dragTrackbar(HWND dialog, int id, int position, WORD code)
{
    Control* c = find(dialog, id);
    if (!open(dialog) || c == nullptr || c->state.kind != ControlKind::Trackbar) return;
    c->state.position = clampPosition(c->state, position);
    const WORD reported = code == TB_THUMBTRACK || code == TB_THUMBPOSITION
                              ? static_cast<WORD>(c->state.position)
                              : WORD{0};
    send(dialog, WM_HSCROLL, MAKEWPARAM(code, reported), reinterpret_cast<LPARAM>(&c->window));
}

void clickButton(HWND dialog, int id)
{
    Control* c = find(dialog, id);
    if (!open(dialog) || c == nullptr || !c->state.enabled) return;
    if (c->state.kind == ControlKind::CheckBox)
        c->state.checked = c->state.checked == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED;
    send(dialog, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), BN_CLICKED),
         reinterpret_cast<LPARAM>(&c->window));
}

void pressEscape(HWND dialog)
{
    send(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
}

void pressEnter(HWND dialog)
{
    send(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
}

HWND lastDialog()
{
    return world().last ? &world().last->window : nullptr;
}

bool hasEnded(HWND dialog)
{
    return dialog != nullptr && dialog->dialog->ended;
}

const ControlState& control(HWND dialog, int id)
{
    static const ControlState missing{ControlKind::Label, false, 0, "<no such control>"};
    const Control* c = find(dialog, id);
    return c ? c->state : missing;
}

const std::vector<SentMessage>& sentMessages(HWND dialog)
{
    return dialog->dialog->sent;
}

HINSTANCE lastInstance()
{
    return world().lastInstance;
}

HWND lastParent()
{
    return world().lastParent;
}

DWORD registeredControlClasses()
{
    return world().classes;
}

void reset()
{
    world() = World{};
}

}  // namespace standin
