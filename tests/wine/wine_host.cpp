// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// A small Windows host for Telvo.vdf: loads it with LoadLibrary and drives it only
// through its two exports, as a real host does: registration, the version resource and
// dialog template, instance creation, summary, script line and script function, and the
// configuration dialog played as a user would, with the preview calls recorded.
//
// usage: telvo_wine_host <Telvo.vdf> [--screenshot <dir>]
//   With --screenshot, the dialog waits with the file <dir>/dialog-open present until
//   <dir>/screenshot-done appears, so a script can capture the screen.
#define WIN32_LEAN_AND_MEAN
// commctrl.h needs the declarations of windows.h.
// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "hosting/filter_host.h"
#include "hosting/module_loader.h"
#include "plugin/filter_state.h"
#include "plugin/settings_table.h"
#include "tests/support/recording_preview.h"
#include "tests/wine/check.h"
#include "tests/wine/dialog_session.h"
#include "tests/wine/template_check.h"

namespace
{

// ---- registration, as the host's add/remove-filter functions see it ----

struct Registration {
    int added = 0;
    int removed = 0;
    int length = 0;
    VDXFilterDefinition copy{};
    VDXFilterDefinition* removedPointer = nullptr;
} g_registration;

VDXFilterDefinition* VDX_API recordAdd(VDXFilterModule*, VDXFilterDefinition* def, int length)
{
    ++g_registration.added;
    g_registration.length = length;
    std::memcpy(&g_registration.copy, def, sizeof g_registration.copy);
    return &g_registration.copy;
}

void VDX_API recordRemove(VDXFilterDefinition* def)
{
    ++g_registration.removed;
    g_registration.removedPointer = def;
}

void checkRegistration(const LoadedModule& module)
{
    VDXFilterFunctions ff{};
    ff.addFilter = recordAdd;
    ff.removeFilter = recordRemove;
    int version = kVDXFilterApiVersion, compat = 4;
    CHECK_EQ(module.init(nullptr, &ff, version, compat), 0);
    CHECK_EQ(version, 14);
    CHECK_EQ(compat, 8);
    CHECK_EQ(g_registration.added, 1);
    CHECK_EQ(g_registration.length, 208);
    const VDXFilterDefinition& d = g_registration.copy;
    CHECK(std::strcmp(d.name, "TELVO, version 4.3") == 0);
    CHECK(std::strcmp(d.desc, "TELVO, version 4.3") == 0);
    CHECK_EQ(d.inst_data_size, sizeof(FilterState));
    CHECK(d.initProc && d.runProc && d.configProc && d.stringProc && d.startProc && d.fssProc);
    CHECK(!d.deinitProc && !d.paramProc && !d.endProc && !d.copyProc && !d.copyProc2);
    CHECK(d.script_obj != nullptr);
    if (d.script_obj != nullptr) {
        const VDXScriptFunctionDef* f = d.script_obj->func_list;
        CHECK(f[0].func_ptr != nullptr && std::strcmp(f[0].name, "Config") == 0 &&
              std::strcmp(f[0].arg_list, "0iiiiiiii") == 0);
        CHECK(!f[1].func_ptr && !f[1].name && !f[1].arg_list);
    }
    module.deinit(nullptr, &ff);
    CHECK_EQ(g_registration.removed, 1);
    CHECK(g_registration.removedPointer == &g_registration.copy);
}

// ---- version resource ----

std::string versionString(const std::vector<char>& info, const char* name)
{
    void* value = nullptr;
    UINT length = 0;
    const std::string path = std::string("\\StringFileInfo\\041904E4\\") + name;
    if (!VerQueryValueA(info.data(), path.c_str(), &value, &length) || value == nullptr)
        return "<missing>";
    return static_cast<const char*>(value);
}

void checkVersionResource(const char* path)
{
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path, &ignored);
    CHECK(size > 0);
    if (size == 0) return;
    std::vector<char> info(size);
    CHECK(GetFileVersionInfoA(path, 0, size, info.data()));
    CHECK(versionString(info, "FileVersion") == "4.3.4.206");
    CHECK(versionString(info, "ProductVersion") == "4.3.4.206");
    CHECK(versionString(info, "ProductName") == "TELVO");
    CHECK(versionString(info, "OriginalFilename") == "Telvo.vdf");
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    CHECK(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    if (fixed != nullptr) {
        CHECK_EQ(fixed->dwFileVersionMS, 0x00040003);
        CHECK_EQ(fixed->dwFileVersionLS, 0x000400CE);
    }
}

// ---- script surface through the host layer ----

void checkScriptSurface(FilterHost& host)
{
    CHECK(host.summary() ==
          " (gamma 15, alignment 15, border 0, top 8, left 8, right 8, bottom 8, freeze 0)");
    std::string line;
    CHECK(host.scriptLine(line) && line == "Config(15,15,0,8,8,8,8,0)");
    const int args[kScriptSettingCount] = {0, 40, 1, 0, 0, 0, 0, 1};
    CHECK(host.callScript("Config", args, kScriptSettingCount));
    CHECK(host.scriptLine(line) && line == "Config(0,40,1,0,0,0,0,1)");
    const SettingValues defaults = defaultSettingValues();
    host.callScript("Config", defaults.data(), kScriptSettingCount);
}

// ---- the dialog ----

// A recording preview whose RedoFrame renders a frame as the host would, with the
// settings as they stand.
class RenderingPreview : public RecordingPreview
{
public:
    explicit RenderingPreview(FilterHost& host)
        : host_(host), frame_(640 * 480, 0x00806040u), out_(frame_.size())
    {
        onRedoFrame = [this] { render(); };
    }

private:
    void render()
    {
        const auto* state = static_cast<const FilterState*>(host_.instanceData());
        const int w = state->width, h = state->height;
        if (w > 0 && h > 0 && static_cast<size_t>(w) * static_cast<size_t>(h) <= frame_.size())
            host_.run(reinterpret_cast<const uint8_t*>(frame_.data()), 4 * w,
                      reinterpret_cast<uint8_t*>(out_.data()), 4 * w, w, h);
    }

    FilterHost& host_;
    std::vector<uint32_t> frame_, out_;
};

int trackbar(HWND dialog, int id, UINT message)
{
    return static_cast<int>(SendDlgItemMessageA(dialog, id, message, 0, 0));
}

void checkTrackbar(HWND dialog, int id, int position, int minimum, int maximum)
{
    CHECK_EQ(trackbar(dialog, id, TBM_GETPOS), position);
    CHECK_EQ(trackbar(dialog, id, TBM_GETRANGEMIN), minimum);
    CHECK_EQ(trackbar(dialog, id, TBM_GETRANGEMAX), maximum);
}

void setTrackbar(HWND dialog, int id, int position)  // no notification, as a program does
{
    SendDlgItemMessageA(dialog, id, TBM_SETPOS, TRUE, position);
}

struct Snapshot {
    int values[11];
    explicit Snapshot(const FilterState& s)
        : values{s.gamma,  s.alignment, s.border,  s.top,           s.left,   s.right,
                 s.bottom, s.freeze,    s.disable, s.showHistogram, s.reserve}
    {
    }
    bool operator==(const Snapshot& o) const
    {
        return std::memcmp(values, o.values, sizeof values) == 0;
    }
};

bool fileExists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The dialog as the host opens it, session by session, with the record and the preview
// the host gives it.
class DialogSessions
{
public:
    explicit DialogSessions(FilterHost& host)
        : host_(host), s(*static_cast<FilterState*>(host.instanceData())), preview(host)
    {
    }

    // Session 1: opening state, trackbars and boxes moved by the user, Escape, the close
    // box and Enter ignored, Cancel restoring the script settings.
    void editAndCancel()
    {
        std::vector<DialogStep> steps;
        addOpeningChecks(steps);
        addSliderMoves(steps);
        Snapshot beforeEscape(s);
        int redoBeforeCancel = 0;
        addBoxesKeysAndCancel(steps, beforeEscape, redoBeforeCancel);
        CHECK_EQ(runDialogSession(configure(&preview), std::move(steps)), 1);
        CHECK(s.gamma == 15 && s.alignment == 15 && s.border == 0 && s.freeze == 0);
        CHECK(s.top == 8 && s.left == 8 && s.right == 8 && s.bottom == 8);
        CHECK(s.disable == 1 && s.showHistogram == 1);
        CHECK_EQ(s.dialogClosed, 1);
        CHECK_EQ(preview.redoCount(), redoBeforeCancel);
    }

    void okKeeps(const char* screenshotDir)
    {
        std::vector<DialogStep> steps;
        // Session 2: Ok keeps the changes; optionally holds still for a screenshot first.
        s.disable = s.showHistogram = 0;
        if (screenshotDir != nullptr) {
            const std::string open = std::string(screenshotDir) + "\\dialog-open";
            const std::string done = std::string(screenshotDir) + "\\screenshot-done";
            int waited = 0;
            steps.push_back([=, &waited](HWND d) {
                if (waited == 0) {
                    SetForegroundWindow(d);
                    UpdateWindow(d);
                    CloseHandle(CreateFileA(open.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
                }
                return fileExists(done) || ++waited > 600;
            });
        }
        steps.push_back([&](HWND d) {
            pressKey(GetDlgItem(d, 1001), VK_LEFT);
            click(d, 1016);
            return true;
        });
        CHECK_EQ(runDialogSession(configure(&preview), std::move(steps)), 0);
        CHECK_EQ(s.gamma, 14);
        CHECK_EQ(s.dialogClosed, 1);
    }

    void cancelRestoresThisOpening()
    {
        std::vector<DialogStep> steps;
        // Session 3: opened again and cancelled restores the values of this opening.
        steps.push_back([&](HWND d) {
            pressKey(GetDlgItem(d, 1001), VK_LEFT);
            pressKey(GetDlgItem(d, 1019), VK_RIGHT);
            click(d, 1017);
            return true;
        });
        CHECK_EQ(runDialogSession(configure(&preview), std::move(steps)), 1);
        CHECK_EQ(s.gamma, 14);
        CHECK_EQ(s.top, 8);
    }

    void withoutPreview()
    {
        std::vector<DialogStep> steps;
        // Session 4: a host without a preview interface.
        steps.push_back([&](HWND d) {
            CHECK(!IsWindowEnabled(GetDlgItem(d, 1015)));
            pressKey(GetDlgItem(d, 1001), VK_RIGHT);
            CHECK_EQ(s.gamma, 15);
            click(d, 1016);
            return true;
        });
        const size_t callsBefore = preview.calls.size();
        CHECK_EQ(runDialogSession(configure(nullptr), std::move(steps)), 0);
        CHECK_EQ(preview.calls.size(), callsBefore);
    }

    void tinySources()
    {
        std::vector<DialogStep> steps;
        // Session 5: tiny sources. 16 rows leave the margin trackbars one position; fewer
        // give a maximum below the minimum, passed on as computed.
        host_.start(640, 16);
        steps.push_back([&](HWND d) {
            checkTrackbar(d, 1019, 1, 1, 1);
            checkTrackbar(d, 1022, 1, 1, 1);
            click(d, 1016);
            return true;
        });
        CHECK_EQ(runDialogSession(configure(&preview), std::move(steps)), 0);
        host_.start(640, 10);
        steps.clear();
        steps.push_back([&](HWND d) {
            CHECK_EQ(trackbar(d, 1019, TBM_GETRANGEMIN), 1);
            CHECK_EQ(trackbar(d, 1019, TBM_GETRANGEMAX), -5);
            CHECK_EQ(trackbar(d, 1019, TBM_GETPOS), -5);
            click(d, 1017);
            return true;
        });
        CHECK_EQ(runDialogSession(configure(&preview), std::move(steps)), 1);
        CHECK_EQ(s.top, 8);
        host_.start(640, 480);
    }

private:
    std::function<int(HWND)> configure(IVDXFilterPreview* p)
    {
        return [this, p](HWND parent) {
            return host_.configure(reinterpret_cast<VDXHWND>(parent), p);
        };
    }

    void addOpeningChecks(std::vector<DialogStep>& steps)
    {
        steps.push_back([&](HWND d) {
            CHECK_EQ(s.dialogClosed, 0);
            checkTrackbar(d, 1001, 15, 0, 40);
            checkTrackbar(d, 1024, 15, 0, 40);
            checkTrackbar(d, 1019, 8, 1, 465);
            checkTrackbar(d, 1022, 8, 1, 465);
            checkTrackbar(d, 1020, 8, 1, 625);
            checkTrackbar(d, 1021, 8, 1, 625);
            CHECK_EQ(trackbar(d, 1001, TBM_GETNUMTICS), 21);  // a tick every 2 on 0..40
            for (int id : {1006, 1008, 1009, 1010, 1018})
                CHECK_EQ(IsDlgButtonChecked(d, id), BST_UNCHECKED);
            CHECK(!IsWindowEnabled(GetDlgItem(d, 1010)));
            CHECK(IsWindowEnabled(GetDlgItem(d, 1015)));
            BOOL translated = FALSE;
            CHECK_EQ(GetDlgItemInt(d, 1023, &translated, FALSE), s.threadCount);
            CHECK(!preview.calls.empty() && preview.calls[0] == "InitButton");
            CHECK(preview.initButtonWindow == reinterpret_cast<VDXHWND>(GetDlgItem(d, 1015)));
            CHECK_EQ(preview.redoCount(), 0);
            char className[64] = {};
            GetClassNameA(GetDlgItem(d, 1001), className, sizeof className);
            CHECK(lstrcmpiA(className, TRACKBAR_CLASSA) == 0);
            return true;
        });
    }

    void addSliderMoves(std::vector<DialogStep>& steps)
    {
        steps.push_back([&](HWND d) {
            pressKey(GetDlgItem(d, 1001), VK_RIGHT);
            CHECK_EQ(s.gamma, 16);
            CHECK(preview.redoCount() >= 1);
            pressKey(GetDlgItem(d, 1024), VK_LEFT);
            CHECK_EQ(s.alignment, 14);
            return true;
        });
        steps.push_back([&](HWND d) {  // the margin rule with height 480
            setTrackbar(d, 1019, 461);
            pressKey(GetDlgItem(d, 1019), VK_RIGHT);
            CHECK_EQ(s.top, 462);
            CHECK_EQ(s.bottom, 8);
            pressKey(GetDlgItem(d, 1019), VK_RIGHT);
            CHECK_EQ(s.top, 463);
            CHECK_EQ(s.bottom, 7);
            CHECK_EQ(trackbar(d, 1022, TBM_GETPOS), 7);
            pressKey(GetDlgItem(d, 1019), VK_RIGHT);
            pressKey(GetDlgItem(d, 1019), VK_RIGHT);
            CHECK_EQ(s.top, 465);
            CHECK_EQ(s.bottom, 5);
            CHECK_EQ(trackbar(d, 1022, TBM_GETPOS), 5);
            return true;
        });
        steps.push_back([&](HWND d) {  // and with width 640
            setTrackbar(d, 1020, 299);
            pressKey(GetDlgItem(d, 1020), VK_RIGHT);
            CHECK_EQ(s.left, 300);
            CHECK_EQ(s.right, 8);
            setTrackbar(d, 1021, 399);
            pressKey(GetDlgItem(d, 1021), VK_RIGHT);
            CHECK_EQ(s.right, 400);
            CHECK_EQ(s.left, 230);
            CHECK_EQ(trackbar(d, 1020, TBM_GETPOS), 230);
            return true;
        });
    }

    void addBoxesKeysAndCancel(std::vector<DialogStep>& steps, Snapshot& beforeEscape,
                               int& redoBeforeCancel)
    {
        steps.push_back([&](HWND d) {
            const int redo = preview.redoCount();
            click(d, 1008);
            click(d, 1006);
            click(d, 1009);
            click(d, 1018);
            CHECK(s.border == 1 && s.disable == 1 && s.showHistogram == 1 && s.freeze == 1);
            click(d, 1018);
            CHECK_EQ(s.freeze, 0);
            CHECK_EQ(preview.redoCount(), redo + 5);
            click(d, 1015);
            const size_t n = preview.calls.size();
            CHECK(n >= 2 && preview.calls[n - 2] == "Toggle" &&
                  preview.calls[n - 1] == "RedoFrame");
            CHECK(preview.toggleWindow == reinterpret_cast<VDXHWND>(d));
            beforeEscape = Snapshot(s);
            postKey(GetDlgItem(d, 1001), VK_ESCAPE);
            return true;
        });
        steps.push_back([&](HWND d) {
            CHECK(IsWindowVisible(d));
            CHECK(Snapshot(s) == beforeEscape);
            PostMessageA(d, WM_SYSCOMMAND, SC_CLOSE, 0);
            return true;
        });
        steps.push_back([&](HWND d) {
            CHECK(IsWindowVisible(d));
            CHECK(Snapshot(s) == beforeEscape);
            postKey(GetDlgItem(d, 1001), VK_RETURN);
            return true;
        });
        steps.push_back([&](HWND d) {
            CHECK(IsWindowVisible(d));
            CHECK(Snapshot(s) == beforeEscape);
            CHECK_EQ(s.dialogClosed, 0);
            redoBeforeCancel = preview.redoCount();
            click(d, 1017);
            return true;
        });
    }

    FilterHost& host_;
    FilterState& s;
    RenderingPreview preview;
};

void checkDialog(FilterHost& host, const char* screenshotDir)
{
    DialogSessions sessions(host);
    sessions.editAndCancel();
    sessions.okKeeps(screenshotDir);
    sessions.cancelRestoresThisOpening();
    sessions.withoutPreview();
    sessions.tinySources();
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::printf("usage: %s <Telvo.vdf> [--screenshot <dir>]\n", argv[0]);
        return 2;
    }
    const char* screenshotDir =
        argc >= 4 && std::strcmp(argv[2], "--screenshot") == 0 ? argv[3] : nullptr;
    LoadedModule module;
    std::string error;
    if (!loadModule(argv[1], module, error)) {
        std::printf("FAIL cannot load %s: %s\n", argv[1], error.c_str());
        return 1;
    }
    checkRegistration(module);
    checkVersionResource(argv[1]);
    checkSettingTemplate(static_cast<HMODULE>(module.handle));
    {
        FilterHost host(module.init, module.deinit);
        CHECK(host.ok());
        if (host.ok()) {
            CHECK_EQ(host.registeredCount(), 1);
            CHECK_EQ(host.createInstance(640, 480), 0);
            checkScriptSurface(host);
            checkDialog(host, screenshotDir);
        }
    }
    unloadModule(module);
    std::printf("%s: %d failed checks\n", g_checkFailures ? "FAIL" : "ok", g_checkFailures);
    return g_checkFailures == 0 ? 0 : 1;
}
