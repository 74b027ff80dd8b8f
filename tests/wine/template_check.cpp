// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "tests/wine/template_check.h"

#include <commctrl.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "tests/support/dialog_controls.h"
#include "tests/wine/check.h"

namespace
{

// A DLGTEMPLATEEX is a stream of WORD-aligned fields; strings are UTF-16, and a class or
// menu may instead be 0xFFFF followed by an ordinal.
class TemplateReader
{
public:
    explicit TemplateReader(const uint8_t* data) : p_(data) {}
    uint16_t word()
    {
        uint16_t v;
        std::memcpy(&v, p_, 2);
        p_ += 2;
        return v;
    }
    uint32_t dword()
    {
        uint32_t v;
        std::memcpy(&v, p_, 4);
        p_ += 4;
        return v;
    }
    int16_t shortValue() { return static_cast<int16_t>(word()); }
    std::string text()  // ASCII only, which is all this template holds
    {
        std::string s;
        for (uint16_t c = word(); c != 0; c = word())
            s.push_back(c < 128 ? static_cast<char>(c) : '?');
        return s;
    }
    // "#<ordinal>" for an ordinal, the name otherwise.
    std::string nameOrOrdinal()
    {
        uint16_t first;
        std::memcpy(&first, p_, 2);
        if (first == 0xFFFF) {
            p_ += 2;
            char ordinal[8];
            std::snprintf(ordinal, sizeof ordinal, "#%u", static_cast<unsigned>(word()));
            return ordinal;
        }
        return text();
    }
    void alignTo(int bytes, const uint8_t* base)
    {
        while ((p_ - base) % bytes != 0) ++p_;
    }
    void skip(size_t bytes) { p_ += bytes; }
    const uint8_t* at() const { return p_; }

private:
    const uint8_t* p_;
};

struct Expected {
    const char* className;
    DWORD style;
};

Expected expectedFor(SettingControlKind kind)
{
    constexpr DWORD child = WS_CHILD | WS_VISIBLE;
    switch (kind) {
        case SettingControlKind::Trackbar:
            return {"MSCTLS_TRACKBAR32", child | TBS_AUTOTICKS | TBS_TOP | TBS_TOOLTIPS | TBS_HORZ};
        case SettingControlKind::PushButton:
            return {"#128", child | WS_TABSTOP | BS_PUSHBUTTON};
        case SettingControlKind::CheckBox:
            return {"#128", child | WS_TABSTOP | BS_AUTOCHECKBOX};
        case SettingControlKind::DisabledCheckBox:
            return {"#128", child | WS_TABSTOP | BS_AUTOCHECKBOX | WS_DISABLED};
        case SettingControlKind::GroupBox:
            return {"#128", child | BS_GROUPBOX};
        case SettingControlKind::CentredLabel:
            return {"#130", child | SS_LEFT | SS_CENTERIMAGE};
        case SettingControlKind::Label:
            return {"#130", child | SS_LEFT};
    }
    return {"", 0};
}

}  // namespace

void checkSettingTemplate(HMODULE module)
{
    HRSRC found =
        FindResourceExA(module, MAKEINTRESOURCEA(5) /* RT_DIALOG */, MAKEINTRESOURCEA(1000),
                        MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    CHECK(found != nullptr);
    if (found == nullptr) return;
    const auto* base = static_cast<const uint8_t*>(LockResource(LoadResource(module, found)));
    CHECK(base != nullptr);
    if (base == nullptr) return;

    TemplateReader r(base);
    CHECK_EQ(r.word(), 1);       // dlgVer
    CHECK_EQ(r.word(), 0xFFFF);  // signature: extended template
    CHECK_EQ(r.dword(), 0);      // help id
    CHECK_EQ(r.dword(), 0);      // extended style
    CHECK_EQ(r.dword(),
             WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | DS_SETFONT);
    const int count = r.word();
    CHECK_EQ(count, 27);
    CHECK_EQ(r.shortValue(), 6);
    CHECK_EQ(r.shortValue(), 5);
    CHECK_EQ(r.shortValue(), 214);
    CHECK_EQ(r.shortValue(), 311);
    CHECK(r.nameOrOrdinal().empty());  // no menu
    CHECK(r.nameOrOrdinal().empty());  // default dialog class
    CHECK(r.text() == "Setting");
    CHECK_EQ(r.word(), 8);  // points
    CHECK_EQ(r.word(), 0);  // weight
    const uint16_t italicCharset = r.word();
    CHECK_EQ(italicCharset & 0xFF, 0);  // not italic
    CHECK_EQ(italicCharset >> 8, 1);    // DEFAULT_CHARSET
    CHECK(r.text() == "MS Sans Serif");

    for (int i = 0; i < count && i < 27; ++i) {
        const SettingControl& want = kSettingControls[i];
        const Expected e = expectedFor(want.kind);
        r.alignTo(4, base);
        const DWORD helpId = r.dword();
        const DWORD exStyle = r.dword();
        const DWORD style = r.dword();
        const short x = r.shortValue(), y = r.shortValue(), cx = r.shortValue(),
                    cy = r.shortValue();
        const DWORD id = r.dword();
        const std::string className = r.nameOrOrdinal();
        const std::string caption = r.nameOrOrdinal();
        const uint16_t extra = r.word();
        r.skip(extra);
        const bool same = helpId == 0 && exStyle == 0 && style == e.style && x == want.x &&
                          y == want.y && cx == want.cx && cy == want.cy &&
                          id == static_cast<DWORD>(want.id) && className == e.className &&
                          caption == want.caption && extra == 0;
        if (!same) {
            ++g_checkFailures;
            std::printf(
                "FAIL control %d: id %lu class %s caption \"%s\" style %08lx at %d,%d %dx%d;"
                " expected id %d class %s caption \"%s\" style %08lx at %d,%d %dx%d\n",
                i + 1, static_cast<unsigned long>(id), className.c_str(), caption.c_str(),
                static_cast<unsigned long>(style), x, y, cx, cy, want.id, e.className, want.caption,
                static_cast<unsigned long>(e.style), want.x, want.y, want.cx, want.cy);
        }
    }
}
