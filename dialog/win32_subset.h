// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The few USER32 / COMCTL32 declarations the configuration dialog uses, for builds
// without windows.h, so that the same dialog procedure builds off Windows. Names, values
// and integer widths are Win64's (WPARAM, LPARAM and INT_PTR are 64 bits wide), so
// truncation bugs show up off Windows as they would on it. Nothing here implements
// them: off Windows only the tests link the dialog, against their in-memory stand-in
// (tests/support/win32_standin.cpp).
#pragma once

#include <cstddef>
#include <cstdint>

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
