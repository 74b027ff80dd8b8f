// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "tests/wine/dialog_session.h"

#include "tests/wine/check.h"

namespace
{

constexpr UINT kStepMessage = WM_APP + 1;
constexpr UINT_PTR kRetryTimer = 1;

struct Session {
    std::vector<DialogStep> steps;
    size_t next = 0;
    bool leftOpen = false;
};

Session* g_session = nullptr;

HWND findDialog()
{
    return FindWindowA(MAKEINTRESOURCEA(32770), "Setting");
}

void runStep(HWND host)
{
    if (g_session == nullptr) return;
    HWND dialog = findDialog();
    if (g_session->next >= g_session->steps.size()) {
        // Every step has run and the dialog is still there: it ignored its own buttons.
        if (dialog != nullptr) {
            g_session->leftOpen = true;
            EndDialog(dialog, 0);
        }
        return;
    }
    if (dialog == nullptr) return;
    if (!g_session->steps[g_session->next](dialog)) {
        SetTimer(host, kRetryTimer, 100, nullptr);
        return;
    }
    ++g_session->next;
    PostMessageA(host, kStepMessage, 0, 0);
}

LRESULT CALLBACK hostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == kStepMessage) {
        runStep(window);
        return 0;
    }
    if (message == WM_TIMER && wParam == kRetryTimer) {
        KillTimer(window, kRetryTimer);
        runStep(window);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

HWND sessionHostWindow()
{
    static HWND window = [] {
        WNDCLASSA wc{};
        wc.lpfnWndProc = hostProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "TelvoTestHost";
        RegisterClassA(&wc);
        return CreateWindowA("TelvoTestHost", "Telvo test host", WS_OVERLAPPEDWINDOW, 0, 0, 200,
                             100, nullptr, nullptr, wc.hInstance, nullptr);
    }();
    return window;
}

int runDialogSession(const std::function<int(HWND parent)>& configure,
                     std::vector<DialogStep> steps)
{
    Session session;
    session.steps = std::move(steps);
    g_session = &session;
    HWND host = sessionHostWindow();
    // Waits in the queue until the dialog's modal loop picks it up.
    PostMessageA(host, kStepMessage, 0, 0);
    const int result = configure(host);
    g_session = nullptr;
    MSG leftover;
    while (PeekMessageA(&leftover, host, kStepMessage, kStepMessage, PM_REMOVE)) {
    }
    KillTimer(host, kRetryTimer);
    if (session.next != session.steps.size()) {
        ++g_checkFailures;
        std::printf("FAIL dialog session ended after %u of %u steps\n",
                    static_cast<unsigned>(session.next),
                    static_cast<unsigned>(session.steps.size()));
    }
    if (session.leftOpen) {
        ++g_checkFailures;
        std::printf("FAIL dialog still open after its last step\n");
    }
    return result;
}

void pressKey(HWND control, UINT key)
{
    SetFocus(control);
    SendMessageA(control, WM_KEYDOWN, key, 1);
    SendMessageA(control, WM_KEYUP, key, 0xC0000001);
}

void postKey(HWND control, UINT key)
{
    SetFocus(control);
    PostMessageA(control, WM_KEYDOWN, key, 1);
    PostMessageA(control, WM_KEYUP, key, 0xC0000001);
}

void click(HWND dialog, int id)
{
    SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}
