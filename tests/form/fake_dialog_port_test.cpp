// The in-memory dialog keeps the rules the form relies on: which changes
// notify, how typing is limited, how lists sort, find and select.

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "platform/fake/fake_dialog_port.h"
#include "resources/control_ids.h"

namespace {

using platform::Answer;
using platform::Buttons;
using platform::FakeDialogPort;
using platform::Icon;
using platform::Notify;

// Records what the dialog calls; OnInitDialog and the handlers run optional
// actions so a test can act from inside them.
class Recorder : public platform::DialogEvents {
public:
    bool OnInitDialog() override {
        ++inits;
        if (onInit) onInit();
        return initAnswer;
    }
    void OnCommand(int id, Notify n) override {
        commands.emplace_back(id, n);
        if (onCommand) onCommand(id, n);
    }
    void OnOK() override { ++oks; }
    void OnCancel() override {
        ++cancels;
        if (endOnCancel) port->EndDialog(platform::IDCANCEL);
    }

    int Count(int id, Notify n) const {
        return static_cast<int>(std::count(commands.begin(), commands.end(), std::pair{id, n}));
    }

    FakeDialogPort* port = nullptr;
    int inits = 0, oks = 0, cancels = 0;
    bool initAnswer = true;
    bool endOnCancel = false;
    std::function<void()> onInit;
    std::function<void(int, Notify)> onCommand;
    std::vector<std::pair<int, Notify>> commands;
};

class FakeDialogPortTest : public ::testing::Test {
protected:
    void SetUp() override {
        events.port = &port;
        port.Open(events);
    }
    FakeDialogPort port;
    Recorder events;
};

TEST_F(FakeDialogPortTest, OpeningBuildsTheTemplateControlsAndFocusesTheFirstTabStop) {
    EXPECT_EQ(events.inits, 1);
    EXPECT_TRUE(port.IsOpen());
    EXPECT_EQ(port.Focus().id, ctl::StationCode);
    EXPECT_EQ(port.Text(ctl::Save), "Записать в БД");
    EXPECT_EQ(port.Text(ctl::Leave), "Выйти");
    for (int k = 0; k < ctl::CellCount; ++k) {
        EXPECT_EQ(port.Text(ctl::ChanName(k)), "");
        EXPECT_EQ(port.Text(ctl::ResponseButton(k)), "");
        EXPECT_TRUE(port.IsEnabled(ctl::ResponseButton(k)));
    }
    EXPECT_THROW(port.Text(4711), std::logic_error);
}

TEST_F(FakeDialogPortTest, ProgramChangeOfAnEditNotifiesOnceAndAnEqualTextNotAtAll) {
    port.SetText(ctl::GroupCount, "4");
    port.SetText(ctl::GroupCount, "4");
    EXPECT_EQ(events.Count(ctl::GroupCount, Notify::EditChange), 1);
    port.SetText(ctl::GroupCount, "");
    EXPECT_EQ(events.Count(ctl::GroupCount, Notify::EditChange), 2);
}

TEST_F(FakeDialogPortTest, ProgramChangesOfComboBoxesAndButtonsNeverNotify) {
    port.SetText(ctl::StationCode, "ABC");
    port.AddString(ctl::StationCode, "ABC");
    port.SetCurSel(ctl::StationCode, 0);
    port.SetCurSel(ctl::StationCode, -1);
    port.ResetContent(ctl::StationCode);
    port.SetText(ctl::ResponseButton(0), "bhz.rsp");
    EXPECT_TRUE(events.commands.empty());
}

TEST_F(FakeDialogPortTest, TypingNotifiesAfterEveryKeyWithTheTextSoFar) {
    std::vector<std::string> seen;
    events.onCommand = [&](int id, Notify n) {
        if (id == ctl::StationCode && n == Notify::ComboEditChange) seen.push_back(port.Text(id));
    };
    port.TypeKeys(ctl::StationCode, "abc");
    EXPECT_EQ(seen, (std::vector<std::string>{"A", "AB", "ABC"}));
    port.TypeKeys(ctl::IntlCode, "xy");
    EXPECT_EQ(events.Count(ctl::IntlCode, Notify::EditChange), 2);
    EXPECT_EQ(port.Text(ctl::IntlCode), "xy");  // not an upper-case edit
}

TEST_F(FakeDialogPortTest, TypingObeysLimitCapitalsAndDigitsOnly) {
    port.SetLimitText(ctl::ChanName(0), 6);
    port.TypeKeys(ctl::ChanName(0), "bhzабвгд");
    EXPECT_EQ(port.Text(ctl::ChanName(0)), "BHZАБВ");  // six characters, Cyrillic in capitals too
    EXPECT_EQ(events.Count(ctl::ChanName(0), Notify::EditChange), 6);

    port.TypeKeys(ctl::SensorType(1), "ёж-1");
    EXPECT_EQ(port.Text(ctl::SensorType(1)), "ЁЖ-1");

    port.TypeKeys(ctl::GroupCount, "1a-2 ");
    EXPECT_EQ(port.Text(ctl::GroupCount), "12");
    EXPECT_EQ(events.Count(ctl::GroupCount, Notify::EditChange), 2);
}

TEST_F(FakeDialogPortTest, AnEditThatDoesNotScrollTakesNoKeyPastItsRightEdge) {
    // Four dialog units a character, two free at each side of the box.
    const struct {
        int id;
        std::size_t characters;  // what the box holds
    } boxes[] = {{ctl::SensorType(1), 8}, {ctl::SampleRate(1), 7}, {ctl::GroupCount, 5}, {ctl::IntlCode, 20},
                 {ctl::NameEn, 40}, {ctl::Ground, 40}};  // the last two scroll
    for (const auto& box : boxes) {
        port.TypeKeys(box.id, std::string(40, '1'));
        EXPECT_EQ(port.Text(box.id), std::string(box.characters, '1')) << box.id;
    }
    port.SetText(ctl::SensorType(1), "ABCDEFGHIJ");  // the program's text is kept
    port.TypeKeys(ctl::SensorType(1), "\bK");
    EXPECT_EQ(port.Text(ctl::SensorType(1)), "ABCDEFGHI");
}

TEST_F(FakeDialogPortTest, ProgramTextIsKeptBeyondTheTypingLimit) {
    port.SetLimitText(ctl::ChanName(0), 6);
    port.SetText(ctl::ChanName(0), "ABCDEFG");
    EXPECT_EQ(port.Text(ctl::ChanName(0)), "ABCDEFG");
    port.TypeKeys(ctl::ChanName(0), "H");
    EXPECT_EQ(port.Text(ctl::ChanName(0)), "ABCDEFG");
}

TEST_F(FakeDialogPortTest, ReplacingTypesOverTheWholeTextAndBackspaceDeletes) {
    port.SetText(ctl::IntlCode, "old");
    port.ReplaceText(ctl::IntlCode, "new");
    EXPECT_EQ(port.Text(ctl::IntlCode), "new");
    port.TypeKeys(ctl::IntlCode, "\b\b");
    EXPECT_EQ(port.Text(ctl::IntlCode), "n");
    port.ReplaceText(ctl::IntlCode, "");
    EXPECT_EQ(port.Text(ctl::IntlCode), "");
    port.SetText(ctl::NameRu, "Кирилл");
    port.TypeKeys(ctl::NameRu, "\b");
    EXPECT_EQ(port.Text(ctl::NameRu), "Кирил");  // a whole character, not a byte
}

TEST_F(FakeDialogPortTest, TypingAfterFocusAndSelectAllReplacesTheText) {
    port.SetText(ctl::Latitude, "180.5");
    port.FocusAndSelectAll(ctl::Latitude);
    EXPECT_TRUE(port.Focus().allSelected);
    port.TypeKeys(ctl::Latitude, "12");
    EXPECT_EQ(port.Text(ctl::Latitude), "12");
    EXPECT_FALSE(port.Focus().allSelected);
}

TEST_F(FakeDialogPortTest, DisabledControlsTakeNoTypingPicksOrPresses) {
    port.Enable(ctl::ChanName(5), false);
    EXPECT_FALSE(port.TypeKeys(ctl::ChanName(5), "X"));
    EXPECT_EQ(port.Text(ctl::ChanName(5)), "");
    port.Enable(ctl::Delete, false);
    EXPECT_FALSE(port.Press(ctl::Delete));
    port.AddString(ctl::LocCode(1), "00");
    port.Enable(ctl::LocCode(1), false);
    EXPECT_FALSE(port.PickEntry(ctl::LocCode(1), 0));
    EXPECT_TRUE(events.commands.empty());
}

TEST_F(FakeDialogPortTest, ButtonsReachOkCancelOrClicked) {
    port.Press(ctl::Save);
    port.PressEnter();
    port.Press(ctl::Delete);
    port.Press(ctl::ResponseButton(9));
    port.PressEsc();
    port.PressCloseBox();
    port.Press(ctl::Leave);
    EXPECT_EQ(events.oks, 2);
    EXPECT_EQ(events.cancels, 3);
    EXPECT_EQ(events.Count(ctl::Delete, Notify::Clicked), 1);
    EXPECT_EQ(events.Count(ctl::ResponseButton(9), Notify::Clicked), 1);
    EXPECT_THROW(port.Press(ctl::GroupCount), std::logic_error);
}

TEST_F(FakeDialogPortTest, ListsKeepEntriesSortedAndInCapitalsForUpperCaseBoxes) {
    for (const char* code : {"kiv", "ABC", "Обн", "abd", "ABC"}) port.AddString(ctl::StationCode, code);
    EXPECT_EQ(port.Entries(ctl::StationCode), (std::vector<std::string>{"ABC", "ABC", "ABD", "KIV", "ОБН"}));
    for (const char* entry : {"??", "00", "10", "XX", "ab"}) port.AddString(ctl::LocCode(1), entry);
    EXPECT_EQ(port.Entries(ctl::LocCode(1)), (std::vector<std::string>{"00", "10", "??", "ab", "XX"}));
}

TEST_F(FakeDialogPortTest, AddingManyAtOnceOrdersAsAddingOneByOne) {
    const std::vector<std::string> present = {"kiv", "Abc", "обн"};
    const std::vector<std::string> added = {"ABC", "abc", "Ёж", "еж", "", "KIV", "a", "Обн", "zz", "ab"};
    for (int id : {ctl::StationCode, ctl::LocCode(1)}) {
        for (const std::string& text : present) port.AddString(id, text);
        for (const std::string& text : added) port.AddString(id, text);
        const std::vector<std::string> oneByOne = port.Entries(id);
        port.ResetContent(id);
        port.AddStrings(id, present);
        port.AddStrings(id, added);
        EXPECT_EQ(port.Entries(id), oneByOne) << id;
    }
}

TEST_F(FakeDialogPortTest, AddStringAnswersThePlaceTheEntryTook) {
    EXPECT_EQ(port.AddString(ctl::CentralPoint, "M"), 0);
    EXPECT_EQ(port.AddString(ctl::CentralPoint, "A"), 0);
    EXPECT_EQ(port.AddString(ctl::CentralPoint, "Z"), 2);
    EXPECT_EQ(port.AddString(ctl::CentralPoint, "N"), 2);
    EXPECT_EQ(port.GetCount(ctl::CentralPoint), 4);
}

TEST_F(FakeDialogPortTest, FindStringMatchesAPrefixRegardlessOfCaseFromAfterStartWrapping) {
    for (const char* code : {"ALPHA", "ALPINE", "BETA", "ЖУК"}) port.AddString(ctl::StationCode, code);
    EXPECT_EQ(port.FindString(ctl::StationCode, -1, "alp"), 0);
    EXPECT_EQ(port.FindString(ctl::StationCode, 0, "alp"), 1);
    EXPECT_EQ(port.FindString(ctl::StationCode, 1, "alp"), 0);  // wraps round
    EXPECT_EQ(port.FindString(ctl::StationCode, -1, "жу"), 3);
    EXPECT_EQ(port.FindString(ctl::StationCode, -1, "gamma"), platform::CB_ERR);
    EXPECT_EQ(port.FindString(ctl::StationCode, -1, "ALPHAS"), platform::CB_ERR);
}

TEST_F(FakeDialogPortTest, SelectingNothingOrBeyondTheListEmptiesTheEditField) {
    port.AddString(ctl::LocCode(2), "10");
    EXPECT_EQ(port.SetCurSel(ctl::LocCode(2), 0), 0);
    EXPECT_EQ(port.Text(ctl::LocCode(2)), "10");
    EXPECT_EQ(port.SetCurSel(ctl::LocCode(2), 1), platform::CB_ERR);
    EXPECT_EQ(port.Text(ctl::LocCode(2)), "");
    EXPECT_EQ(port.GetCurSel(ctl::LocCode(2)), platform::CB_ERR);
    port.SetCurSel(ctl::LocCode(2), 0);
    EXPECT_EQ(port.SetCurSel(ctl::LocCode(2), -1), platform::CB_ERR);
    EXPECT_EQ(port.Text(ctl::LocCode(2)), "");
    EXPECT_EQ(port.GetLBText(ctl::LocCode(2), 5), "");
}

TEST_F(FakeDialogPortTest, ResetContentEmptiesListSelectionAndEditField) {
    port.AddString(ctl::StationCode, "KIV");
    port.SetCurSel(ctl::StationCode, 0);
    port.ResetContent(ctl::StationCode);
    EXPECT_EQ(port.GetCount(ctl::StationCode), 0);
    EXPECT_EQ(port.GetCurSel(ctl::StationCode), platform::CB_ERR);
    EXPECT_EQ(port.Text(ctl::StationCode), "");
}

TEST_F(FakeDialogPortTest, PickingAnEntrySelectsItAndNotifiesSelectionChangeOnly) {
    port.AddString(ctl::StationCode, "ABC");
    port.AddString(ctl::StationCode, "KIV");
    std::string textSeen;
    int selSeen = -2;
    events.onCommand = [&](int id, Notify) {
        textSeen = port.Text(id);
        selSeen = port.GetCurSel(id);
    };
    port.PickEntry(ctl::StationCode, 1);
    EXPECT_EQ(events.Count(ctl::StationCode, Notify::ComboSelChange), 1);
    EXPECT_EQ(events.Count(ctl::StationCode, Notify::ComboEditChange), 0);
    EXPECT_EQ(textSeen, "KIV");
    EXPECT_EQ(selSeen, 1);
}

TEST_F(FakeDialogPortTest, SelectionFollowsItsEntryWhenOthersAreAddedBeforeIt) {
    port.AddString(ctl::StationCode, "KIV");
    port.SetCurSel(ctl::StationCode, 0);
    port.AddString(ctl::StationCode, "ABC");
    EXPECT_EQ(port.GetCurSel(ctl::StationCode), 1);
    EXPECT_EQ(port.GetLBText(ctl::StationCode, 1), "KIV");
}

TEST_F(FakeDialogPortTest, AHundredThousandEntriesInRandomOrderEndSorted) {
    std::vector<std::string> codes;
    for (int i = 0; i < 100000; ++i) codes.push_back("S" + std::to_string(i));
    std::shuffle(codes.begin(), codes.end(), std::mt19937(42));
    for (const auto& code : codes) port.AddString(ctl::StationCode, code);
    std::sort(codes.begin(), codes.end());
    ASSERT_EQ(port.GetCount(ctl::StationCode), 100000);
    EXPECT_EQ(port.Entries(ctl::StationCode), codes);
    EXPECT_EQ(port.FindString(ctl::StationCode, -1, "s99999"), static_cast<int>(codes.size()) - 1);
}

TEST_F(FakeDialogPortTest, MessageBoxesAreRecordedAndAnsweredFromTheQueue) {
    port.QueueAnswer(Answer::Cancel);
    EXPECT_EQ(port.MessageBox("info", "", Buttons::Ok, Icon::Default), Answer::Ok);  // takes no queued answer
    EXPECT_EQ(port.MessageBox("sure?", "Внимание!", Buttons::OkCancel, Icon::Exclamation), Answer::Cancel);
    EXPECT_EQ(port.MessageBox("again?", "", Buttons::OkCancel, Icon::Exclamation), Answer::Ok);
    ASSERT_EQ(port.Messages().size(), 3u);
    EXPECT_EQ(port.Messages()[0].caption, "station-editor");
    EXPECT_EQ(port.Messages()[1].caption, "Внимание!");
    EXPECT_EQ(port.Messages()[1].buttons, Buttons::OkCancel);
    EXPECT_EQ(port.Messages()[1].icon, Icon::Exclamation);
    EXPECT_EQ(port.Messages()[2].answer, Answer::Ok);
}

TEST_F(FakeDialogPortTest, FileDialogsAreRecordedAndCancelUnlessAnswered) {
    port.QueueFile(std::string("/data/RESPONSE/bhz.rsp"));
    EXPECT_EQ(port.ChooseFile("t", "/data/RESPONSE", "old.rsp"), std::optional<std::string>("/data/RESPONSE/bhz.rsp"));
    EXPECT_EQ(port.ChooseFile("t2", "/x", ""), std::nullopt);
    ASSERT_EQ(port.FileDialogs().size(), 2u);
    EXPECT_EQ(port.FileDialogs()[0].folder, "/data/RESPONSE");
    EXPECT_EQ(port.FileDialogs()[0].initialName, "old.rsp");
    EXPECT_EQ(port.FileDialogs()[1].title, "t2");
}

TEST_F(FakeDialogPortTest, EndDialogClosesAndLaterUserActionsAreRefused) {
    port.EndDialog(7);
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(port.Result(), 7);
    EXPECT_THROW(port.TypeKeys(ctl::IntlCode, "x"), std::logic_error);
    EXPECT_THROW(port.PressEnter(), std::logic_error);
}

TEST(FakeDialogPortModal, RunModalPlaysTheScriptAndAnswersTheEndDialogResult) {
    FakeDialogPort port;
    Recorder events;
    events.port = &port;
    events.endOnCancel = true;
    port.SetScript({[](FakeDialogPort& p) { p.TypeKeys(ctl::IntlCode, "x"); },
                    [](FakeDialogPort& p) { p.PressEsc(); },
                    [](FakeDialogPort& p) { p.TypeKeys(ctl::IntlCode, "never"); }});
    EXPECT_EQ(port.RunModal(events), platform::IDCANCEL);
    EXPECT_EQ(events.cancels, 1);
    EXPECT_EQ(events.Count(ctl::IntlCode, Notify::EditChange), 1);
}

TEST(FakeDialogPortModal, RunModalAnswersMinusOneWhenTheScriptEndsWithTheDialogOpen) {
    FakeDialogPort port;
    Recorder events;
    port.SetScript({[](FakeDialogPort& p) { p.PressEsc(); }});
    EXPECT_EQ(port.RunModal(events), -1);
    EXPECT_FALSE(port.IsOpen());
}

TEST(FakeDialogPortModal, InitDialogAnsweringFalseKeepsTheFocusItSet) {
    FakeDialogPort port;
    Recorder events;
    events.initAnswer = false;
    events.onInit = [&] { port.FocusAndSelectAll(ctl::GroupCount); };
    port.Open(events);
    EXPECT_EQ(port.Focus().id, ctl::GroupCount);
    EXPECT_TRUE(port.Focus().allSelected);
}

}  // namespace
