// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The configuration dialog end to end through ConfigProc, with the stand-in playing the
// dialog manager and the user.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dialog/config_dialog.h"
#include "dialog/module_instance.h"
#include "tests/dialog/dialog_harness.h"

using standin::clickButton;
using standin::control;
using standin::dragTrackbar;

namespace
{

using Calls = std::vector<std::string>;

void expectTrackbar(HWND d, int id, int position, int minimum, int maximum, int tics)
{
    const standin::ControlState& c = control(d, id);
    EXPECT_EQ(c.position, position) << "trackbar " << id;
    EXPECT_EQ(c.rangeMin, minimum) << "trackbar " << id;
    EXPECT_EQ(c.rangeMax, maximum) << "trackbar " << id;
    EXPECT_EQ(c.ticFrequency, tics) << "trackbar " << id;
}

// The TBM_SETRANGE a control received, as sent.
const standin::SentMessage* rangeMessage(HWND d, int id)
{
    for (const standin::SentMessage& m : standin::sentMessages(d))
        if (m.id == id && m.message == TBM_SETRANGE) return &m;
    return nullptr;
}

}  // namespace

TEST(Dialog, OpensOnTheDefaultsOfAFreshInstance)
{
    DialogHarness h(640, 480);
    int closedWhileOpen = -1;
    const int result = h.configure([&](HWND d) {
        closedWhileOpen = h.state().dialogClosed;
        expectTrackbar(d, 1001, 15, 0, 40, 2);
        expectTrackbar(d, 1024, 15, 0, 40, 2);
        expectTrackbar(d, 1019, 8, 1, 465, 10);
        expectTrackbar(d, 1022, 8, 1, 465, 10);
        expectTrackbar(d, 1020, 8, 1, 625, 10);
        expectTrackbar(d, 1021, 8, 1, 625, 10);
        for (int id : {1006, 1008, 1009, 1010, 1018})
            EXPECT_EQ(control(d, id).checked, BST_UNCHECKED) << id;
        EXPECT_EQ(control(d, 1023).text, std::to_string(h.state().threadCount));
        EXPECT_TRUE(control(d, 1015).enabled);
        EXPECT_FALSE(control(d, 1010).enabled);
        // Strength ranges are set without redraw, margin ranges with it.
        EXPECT_EQ(rangeMessage(d, 1001)->wParam, WPARAM{FALSE});
        EXPECT_EQ(rangeMessage(d, 1024)->wParam, WPARAM{FALSE});
        EXPECT_EQ(rangeMessage(d, 1019)->wParam, WPARAM{TRUE});
        // The host binds its preview to our button, and nothing is rendered yet.
        EXPECT_EQ(h.preview.calls, Calls{"InitButton"});
        EXPECT_EQ(h.preview.initButtonWindow, reinterpret_cast<VDXHWND>(GetDlgItem(d, 1015)));
        pressOk(d);
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(closedWhileOpen, 0);
    EXPECT_EQ(h.state().dialogClosed, 1);
    EXPECT_EQ(standin::lastInstance(), g_hInst);
    EXPECT_EQ(standin::lastParent(), h.parent);
    EXPECT_NE(standin::registeredControlClasses() & ICC_BAR_CLASSES, 0u);
    EXPECT_EQ(h.state().preview, &h.preview);
}

TEST(Dialog, OpeningTakesTheSizeOfTheCurrentSource)
{
    DialogHarness h(640, 480);
    h.filter.host.start(100, 60);  // the source changed since the instance was made
    h.configure([&](HWND d) {
        expectTrackbar(d, 1019, 8, 1, 45, 10);
        expectTrackbar(d, 1020, 8, 1, 85, 10);
        pressOk(d);
    });
    EXPECT_EQ(h.state().height, 60);
    EXPECT_EQ(h.state().width, 100);
}

struct MarginMove {
    int moved;  // trackbar the user drags
    int position;
    int opposite;  // trackbar that may yield
    int oppositeStart;
    int expected;  // the opposite margin afterwards
};

class MarginRuleTest : public ::testing::TestWithParam<MarginMove>
{
};

TEST_P(MarginRuleTest, OnlyTheOppositeMarginYields)
{
    const MarginMove m = GetParam();
    DialogHarness h(640, 480);
    int movedField = 0, oppositeField = 0, oppositeTrackbar = 0, redo = 0;
    auto field = [&](int id) -> int& {
        FilterState& s = h.state();
        return id == 1019 ? s.top : id == 1020 ? s.left : id == 1021 ? s.right : s.bottom;
    };
    field(m.opposite) = m.oppositeStart;
    h.configure([&](HWND d) {
        dragTrackbar(d, m.moved, m.position);
        movedField = field(m.moved);
        oppositeField = field(m.opposite);
        oppositeTrackbar = control(d, m.opposite).position;
        redo = h.preview.redoCount();
        pressOk(d);
    });
    EXPECT_EQ(movedField, m.position);
    EXPECT_EQ(oppositeField, m.expected);
    EXPECT_EQ(oppositeTrackbar, m.expected);
    EXPECT_EQ(redo, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Dialog, MarginRuleTest,
    ::testing::Values(MarginMove{1019, 462, 1022, 8, 8}, MarginMove{1019, 463, 1022, 8, 7},
                      MarginMove{1019, 465, 1022, 8, 5}, MarginMove{1022, 465, 1019, 8, 5},
                      MarginMove{1021, 400, 1020, 300, 230}, MarginMove{1020, 400, 1021, 300, 230},
                      MarginMove{1020, 300, 1021, 300, 300}));

TEST(Dialog, CancelRestoresTheScriptSettingsOnly)
{
    DialogHarness h(640, 480);
    const ScriptValues before = h.settings();
    int redoBeforeCancel = 0;
    const int result = h.configure([&](HWND d) {
        dragTrackbar(d, 1001, 30);
        EXPECT_EQ(h.state().gamma, 30);
        clickButton(d, 1008);
        clickButton(d, 1006);
        clickButton(d, 1009);
        dragTrackbar(d, 1024, 3, TB_ENDTRACK);
        dragTrackbar(d, 1019, 100);
        clickButton(d, 1018);
        EXPECT_EQ(h.state().border, 1);
        redoBeforeCancel = h.preview.redoCount();
        pressCancel(d);
    });
    EXPECT_EQ(result, 1);
    EXPECT_TRUE(h.settings() == before);
    EXPECT_EQ(h.state().disable, 1);
    EXPECT_EQ(h.state().showHistogram, 1);
    EXPECT_EQ(h.state().dialogClosed, 1);
    EXPECT_EQ(redoBeforeCancel, 7);
    EXPECT_EQ(h.preview.redoCount(), 7) << "Cancel renders nothing";
}

TEST(Dialog, OkKeepsTheChanges)
{
    DialogHarness h(640, 480);
    const int result = h.configure([&](HWND d) {
        dragTrackbar(d, 1001, 30);
        clickButton(d, 1008);
        pressOk(d);
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(h.state().gamma, 30);
    EXPECT_EQ(h.state().border, 1);
    EXPECT_EQ(h.preview.redoCount(), 2) << "Ok renders nothing";
    std::string line;
    ASSERT_TRUE(h.filter.host.scriptLine(line));
    EXPECT_EQ(line, "Config(30,15,1,8,8,8,8,0)");
}

// Escape and the close box both arrive as IDCANCEL, Enter as IDOK; the dialog ends only
// through its own buttons.
TEST(Dialog, EscapeCloseBoxAndEnterAreIgnored)
{
    DialogHarness h(640, 480);
    bool endedEarly = true;
    const ScriptValues before = h.settings();
    h.configure([&](HWND d) {
        dragTrackbar(d, 1001, 22);
        standin::pressEscape(d);
        standin::send(d, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        standin::pressEnter(d);
        endedEarly = standin::hasEnded(d);
        pressCancel(d);
    });
    EXPECT_FALSE(endedEarly);
    EXPECT_EQ(h.preview.redoCount(), 1);
    EXPECT_TRUE(h.settings() == before);
}

TEST(Dialog, ScriptValuesOutsideTheRangesSurviveUntilMoved)
{
    DialogHarness h(640, 480);
    h.filter.config({50, -3, 7, -20, 9999, 8, 8, 0});
    h.configure([&](HWND d) {
        EXPECT_EQ(control(d, 1001).position, 40);
        EXPECT_EQ(control(d, 1024).position, 0);
        EXPECT_EQ(control(d, 1019).position, 1);
        EXPECT_EQ(control(d, 1020).position, 625);
        EXPECT_EQ(control(d, 1008).checked, BST_CHECKED) << "any non-zero flag shows checked";
        dragTrackbar(d, 1021, 8);  // the rule then pulls left in, it is not clamped
        pressCancel(d);
    });
    EXPECT_EQ(h.state().gamma, 50);
    EXPECT_EQ(h.state().alignment, -3);
    EXPECT_EQ(h.state().border, 7);
    EXPECT_EQ(h.state().top, -20);
    EXPECT_EQ(h.state().left, 9999);

    h.configure([&](HWND d) {
        dragTrackbar(d, 1001, 40);
        clickButton(d, 1008);  // checked -> unchecked writes 0, not the old 7
        pressOk(d);
    });
    EXPECT_EQ(h.state().gamma, 40);
    EXPECT_EQ(h.state().border, 0);
}

TEST(Dialog, TinySourcesGiveTheComputedMarginRanges)
{
    DialogHarness h16(640, 16);
    h16.configure([&](HWND d) {
        expectTrackbar(d, 1019, 1, 1, 1, 10);
        expectTrackbar(d, 1022, 1, 1, 1, 10);
        pressOk(d);
    });
    EXPECT_EQ(h16.state().top, 8) << "opening moves no setting";

    DialogHarness h10(640, 10);
    h10.configure([&](HWND d) {
        // 10 - 15 = -5, passed as its low 16 bits.
        EXPECT_EQ(rangeMessage(d, 1019)->lParam, LPARAM{0xFFFB0001});
        EXPECT_EQ(rangeMessage(d, 1022)->lParam, LPARAM{0xFFFB0001});
        pressOk(d);
    });
}

TEST(Dialog, CancelRestoresTheValuesOfTheLatestOpening)
{
    DialogHarness h(640, 480);
    h.configure([&](HWND d) {
        dragTrackbar(d, 1001, 25);
        dragTrackbar(d, 1020, 40);
        clickButton(d, 1018);
        pressOk(d);
    });
    const ScriptValues afterFirst = h.settings();
    const int result = h.configure([&](HWND d) {
        dragTrackbar(d, 1001, 5);
        dragTrackbar(d, 1020, 60);
        clickButton(d, 1018);
        pressCancel(d);
    });
    EXPECT_EQ(result, 1);
    EXPECT_TRUE(h.settings() == afterFirst);
    EXPECT_EQ(h.state().gamma, 25);
}

TEST(Dialog, ShowPreviewTogglesThenRenders)
{
    DialogHarness h(640, 480);
    HWND dialog = nullptr;
    h.configure([&](HWND d) {
        dialog = d;
        clickButton(d, 1015);
        clickButton(d, 1015);
        pressOk(d);
    });
    EXPECT_EQ(h.preview.calls, (Calls{"InitButton", "Toggle", "RedoFrame", "Toggle", "RedoFrame"}));
    EXPECT_EQ(h.preview.toggleWindow, reinterpret_cast<VDXHWND>(dialog));
}

TEST(Dialog, WithoutAPreviewEverythingWorksAndShowPreviewIsDisabled)
{
    DialogHarness h(640, 480);
    bool previewEnabled = true;
    const int result = h.configure(
        [&](HWND d) {
            previewEnabled = control(d, 1015).enabled;
            standin::send(d, WM_COMMAND, MAKEWPARAM(1015, BN_CLICKED), 0);
            dragTrackbar(d, 1019, 470);
            clickButton(d, 1009);
            pressOk(d);
        },
        false);
    EXPECT_EQ(result, 0);
    EXPECT_FALSE(previewEnabled);
    EXPECT_EQ(h.state().top, 465);
    EXPECT_EQ(h.state().bottom, 5);
    EXPECT_EQ(h.state().showHistogram, 1);
    EXPECT_TRUE(h.preview.calls.empty());
}

TEST(Dialog, ReserveOnlyMirrorsItsField)
{
    DialogHarness h(640, 480);
    h.state().reserve = 1;
    h.configure([&](HWND d) {
        EXPECT_EQ(control(d, 1010).checked, BST_CHECKED);
        clickButton(d, 1010);  // disabled: the click never arrives
        pressOk(d);
    });
    EXPECT_EQ(h.state().reserve, 1);
    EXPECT_EQ(h.preview.redoCount(), 0);
}

TEST(Dialog, ScrollFromAnotherWindowChangesNothing)
{
    DialogHarness h(640, 480);
    const ScriptValues before = h.settings();
    h.configure([&](HWND d) {
        standin::send(d, WM_HSCROLL, MAKEWPARAM(TB_THUMBTRACK, 3), 0);
        standin::send(d, WM_HSCROLL, MAKEWPARAM(TB_THUMBTRACK, 3),
                      reinterpret_cast<LPARAM>(GetDlgItem(d, 1008)));
        pressCancel(d);
    });
    EXPECT_TRUE(h.settings() == before);
    EXPECT_EQ(h.preview.redoCount(), 0);
}

// The mended fault: a dialog that cannot be created is reported as cancelled, not as
// accepted, and leaves every setting alone.
TEST(Dialog, ADialogThatCannotBeCreatedCountsAsCancelled)
{
    DialogHarness h(640, 480);
    h.filter.host.start(320, 200);
    const ScriptValues before = h.settings();
    standin::failNextDialog();
    EXPECT_EQ(h.configure([](HWND) {}), 1);
    EXPECT_TRUE(h.settings() == before);
    EXPECT_EQ(h.state().dialogClosed, 1);
    EXPECT_EQ(h.state().preview, &h.preview);
    EXPECT_EQ(h.state().width, 320);
    EXPECT_EQ(h.state().height, 200);
}

TEST(Dialog, ProcedureAnswersMessagesAsTheDialogManagerExpects)
{
    DialogHarness h(640, 480);
    INT_PTR okAnswer = -1, cancelAnswer = -1, scrollAnswer = -1, checkAnswer = -1, other = -1;
    h.configure([&](HWND d) {
        const LPARAM bar = reinterpret_cast<LPARAM>(GetDlgItem(d, 1001));
        scrollAnswer = ConfigDlgProc(d, WM_HSCROLL, TB_ENDTRACK, bar);
        checkAnswer = ConfigDlgProc(d, WM_COMMAND, 1006, 0);
        other = ConfigDlgProc(d, 0x000F /* WM_PAINT */, 0, 0);
        okAnswer = ConfigDlgProc(d, WM_COMMAND, 1016, 0);
    });
    EXPECT_EQ(scrollAnswer, FALSE);
    EXPECT_EQ(checkAnswer, FALSE);
    EXPECT_EQ(other, FALSE);
    EXPECT_EQ(okAnswer, TRUE);

    h.configure([&](HWND d) { cancelAnswer = ConfigDlgProc(d, WM_COMMAND, 1017, 0); });
    EXPECT_EQ(cancelAnswer, FALSE);
}
