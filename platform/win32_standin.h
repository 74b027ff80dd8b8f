// A stand-in for the few USER32 / COMCTL32 calls the configuration dialog makes, so the
// same dialog procedure builds and runs off Windows. Names, values and integer widths
// are Win64's (WPARAM, LPARAM and INT_PTR are 64 bits wide), so truncation bugs show up
// here as they would on Windows.
//
// The dialog manager is modelled in memory: each control keeps its check state, enable
// state, text and trackbar range, position and tick frequency; trackbars clamp as the
// common controls do (range ends are signed 16-bit, a position is clamped to the
// minimum first, then to the maximum). DialogBoxParamA builds the controls of a
// template registered by the caller, sends WM_INITDIALOG and then hands the open dialog
// to a session function that plays the user, until EndDialog.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

using BOOL = int;
using UINT = unsigned int;
using WORD = uint16_t;
using DWORD = uint32_t;
using WPARAM = uint64_t;
using LPARAM = int64_t;
using LRESULT = int64_t;
using INT_PTR = int64_t;
using LONG_PTR = int64_t;
using LPCSTR = const char*;

struct HWND__;
using HWND = HWND__*;
struct HINSTANCE__;
using HINSTANCE = HINSTANCE__*;

#define CALLBACK
#define WINAPI

using DLGPROC = INT_PTR(CALLBACK*)(HWND, UINT, WPARAM, LPARAM);

constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;

constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;

constexpr UINT WM_SETFONT = 0x0030;
constexpr UINT WM_INITDIALOG = 0x0110;
constexpr UINT WM_COMMAND = 0x0111;
constexpr UINT WM_HSCROLL = 0x0114;
constexpr UINT WM_USER = 0x0400;

constexpr UINT TBM_GETPOS = WM_USER;
constexpr UINT TBM_GETRANGEMIN = WM_USER + 1;
constexpr UINT TBM_GETRANGEMAX = WM_USER + 2;
constexpr UINT TBM_SETPOS = WM_USER + 5;
constexpr UINT TBM_SETRANGE = WM_USER + 6;
constexpr UINT TBM_SETTICFREQ = WM_USER + 20;

constexpr WORD TB_LINEUP = 0;
constexpr WORD TB_THUMBPOSITION = 4;
constexpr WORD TB_THUMBTRACK = 5;
constexpr WORD TB_ENDTRACK = 8;
constexpr WORD BN_CLICKED = 0;

constexpr UINT BST_UNCHECKED = 0;
constexpr UINT BST_CHECKED = 1;

// Win64: the slot after the message result and the dialog procedure.
constexpr int DWLP_USER = static_cast<int>(sizeof(LRESULT) + sizeof(DLGPROC));

constexpr DWORD ICC_BAR_CLASSES = 0x4;
struct INITCOMMONCONTROLSEX {
    DWORD dwSize;
    DWORD dwICC;
};

inline WORD LOWORD(uint64_t v)
{
    return static_cast<WORD>(v & 0xFFFF);
}
inline WORD HIWORD(uint64_t v)
{
    return static_cast<WORD>((v >> 16) & 0xFFFF);
}
inline DWORD MAKELONG(WORD low, WORD high)
{
    return DWORD(low) | (DWORD(high) << 16);
}
inline WPARAM MAKEWPARAM(WORD low, WORD high)
{
    return MAKELONG(low, high);
}
inline LPARAM MAKELPARAM(WORD low, WORD high)
{
    return MAKELONG(low, high);
}
inline LPCSTR MAKEINTRESOURCEA(WORD id)
{
    return reinterpret_cast<LPCSTR>(uintptr_t{id});
}

INT_PTR DialogBoxParamA(HINSTANCE instance, LPCSTR templateName, HWND parent, DLGPROC proc,
                        LPARAM initParam);
BOOL EndDialog(HWND dialog, INT_PTR result);
HWND GetDlgItem(HWND dialog, int id);
LRESULT SendDlgItemMessageA(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam);
BOOL CheckDlgButton(HWND dialog, int id, UINT check);
UINT IsDlgButtonChecked(HWND dialog, int id);
BOOL SetDlgItemInt(HWND dialog, int id, UINT value, BOOL isSigned);
BOOL EnableWindow(HWND window, BOOL enable);
LONG_PTR GetWindowLongPtrA(HWND window, int index);
LONG_PTR SetWindowLongPtrA(HWND window, int index, LONG_PTR value);
BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX* init);

// What tests use to play the user and look at the controls.
namespace standin
{

enum class ControlKind { Trackbar, PushButton, CheckBox, GroupBox, Label };

struct ControlItem {
    int id;
    ControlKind kind;
    const char* caption;
    bool disabled;
};

struct ControlState {
    ControlKind kind;
    bool enabled;
    UINT checked;
    std::string text;
    int rangeMin = 0;  // trackbar defaults as the common controls create them
    int rangeMax = 100;
    int position = 0;
    int ticFrequency = 1;
};

// One message sent to a control, in order, for checking the procedure's steps.
struct SentMessage {
    int id;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

// Templates DialogBoxParamA can build, by resource id.
void registerDialog(int resourceId, std::vector<ControlItem> controls);

// Plays the user while the dialog is open; called once after WM_INITDIALOG. A session
// that returns without the dialog having ended leaves DialogBoxParamA returning -1.
void setSession(std::function<void(HWND dialog)> session);

// The next DialogBoxParamA fails with -1 without creating a window.
void failNextDialog();

// The user's actions, each delivered as the dialog manager would deliver it.
void dragTrackbar(HWND dialog, int id, int position, WORD code = TB_THUMBTRACK);
void clickButton(HWND dialog, int id);  // auto check boxes toggle; disabled ones ignore it
void pressEscape(HWND dialog);          // IDCANCEL, as for the caption's close box too
void pressEnter(HWND dialog);           // IDOK, the default command
void send(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The dialog last created; it can still be examined after it has ended.
HWND lastDialog();
bool hasEnded(HWND dialog);
const ControlState& control(HWND dialog, int id);
const std::vector<SentMessage>& sentMessages(HWND dialog);
HINSTANCE lastInstance();
HWND lastParent();

// Union of the classes registered through InitCommonControlsEx since the last reset.
DWORD registeredControlClasses();

// Forgets every dialog, template, session and registration.
void reset();

}  // namespace standin
