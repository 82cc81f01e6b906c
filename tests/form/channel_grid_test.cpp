// The channel grid: rows enabled by GroupCount, and the response file of each
// cell chosen through the file dialog.

#include <gtest/gtest.h>

#include <string>

#include "resources/control_ids.h"
#include "tests/form/form_test_fixture.h"

namespace {

using form_test::FormTest;

class ChannelGridTest : public FormTest {
protected:
    // Number of the grid rows whose six controls are all enabled; fails the
    // test when a row is enabled only in part.
    int EnabledRows() const {
        int rows = 0;
        for (int g = 1; g <= ctl::GroupCountMax; ++g) {
            int on = 0;
            for (int j = 0; j < 3; ++j) {
                on += port.IsEnabled(ctl::ChanName(ctl::CellIndex(g, j)));
                on += port.IsEnabled(ctl::ResponseButton(ctl::CellIndex(g, j)));
            }
            on += port.IsEnabled(ctl::SampleRate(g)) + port.IsEnabled(ctl::LocCode(g)) +
                  port.IsEnabled(ctl::SensorType(g));
            EXPECT_TRUE(on == 0 || on == 9) << "row " << g << " is partly enabled";
            if (on == 9) {
                EXPECT_EQ(rows, g - 1) << "row " << g << " enabled after a disabled row";
                ++rows;
            }
        }
        return rows;
    }

    // Presses the response button of a cell and answers the dialog.
    void ChooseFor(int cell, std::optional<std::string> answer) {
        port.QueueFile(std::move(answer));
        port.Press(ctl::ResponseButton(cell));
    }
    const platform::ShownFileDialog& LastFileDialog() const { return port.FileDialogs().back(); }
};

// ---- GroupCount ----

TEST_F(ChannelGridTest, TypingOneThenTwoEnablesRowOneThenEmptiesTheCount) {
    OpenForm();
    port.ReplaceText(ctl::GroupCount, "");
    EXPECT_EQ(EnabledRows(), 4);  // an empty count changes no row
    port.TypeKeys(ctl::GroupCount, "1");
    EXPECT_EQ(EnabledRows(), 1);
    EXPECT_EQ(form->Fields().GroupCount, 1);
    port.TypeKeys(ctl::GroupCount, "2");
    EXPECT_EQ(port.Text(ctl::GroupCount), "");
    EXPECT_EQ(form->Fields().GroupCount, 0);
    EXPECT_EQ(EnabledRows(), 1);
}

TEST_F(ChannelGridTest, ACountOfZeroEmptiesTheEditAndKeepsTheRows) {
    OpenForm();
    port.ReplaceText(ctl::GroupCount, "0");
    EXPECT_EQ(port.Text(ctl::GroupCount), "");
    EXPECT_EQ(form->Fields().GroupCount, 0);
    EXPECT_EQ(EnabledRows(), 4);
}

TEST_F(ChannelGridTest, SevenEnablesEveryRowAndOneOnlyTheFirstKeepingTheTexts) {
    OpenForm();
    port.ReplaceText(ctl::GroupCount, "7");
    EXPECT_EQ(EnabledRows(), 7);
    port.ReplaceText(ctl::GroupCount, "1");
    EXPECT_EQ(EnabledRows(), 1);
    for (int k = 3; k < ctl::CellCount; ++k) EXPECT_FALSE(port.IsEnabled(ctl::ChanName(k))) << k;
    EXPECT_EQ(port.Text(ctl::ChanName(ctl::CellIndex(4, 2))), "EHE");
    EXPECT_EQ(port.Text(ctl::SampleRate(3)), "100");
}

TEST_F(ChannelGridTest, AProgramChangeOfTheCountReachesTheGridToo) {
    OpenForm();
    form->Fields().GroupCount = 2;
    form->ExchangeFields(Exchange::Show);
    EXPECT_EQ(EnabledRows(), 2);
}

TEST_F(ChannelGridTest, AStoredCountAboveSevenIsShownAsStoredAndEnablesEveryRow) {
    AddSite("BIG", 5, 9);
    AddChannel("BIG", "HHZ", 7, 0);
    OpenForm("BIG");
    EXPECT_TRUE(port.Messages().empty()) << MessageTexts();
    EXPECT_EQ(port.Text(ctl::GroupCount), "9");
    EXPECT_EQ(form->Fields().GroupCount, 9);
    EXPECT_EQ(EnabledRows(), 7);
    EXPECT_EQ(port.Text(ctl::ChanName(ctl::CellIndex(7, 0))), "HHZ");
    // It is not a count the form can save.
    EXPECT_FALSE(form->ExchangeFields(Exchange::ReadBack));
    EXPECT_EQ(port.Messages().back().text, "Please enter an integer between 1 and 7.");
    EXPECT_EQ(port.Focus().id, ctl::GroupCount);
}

TEST_F(ChannelGridTest, ATypedCountAboveSevenIsEmptied) {
    OpenForm();
    port.ReplaceText(ctl::GroupCount, "9");
    EXPECT_EQ(port.Text(ctl::GroupCount), "");
    EXPECT_EQ(EnabledRows(), 4);
}

TEST_F(ChannelGridTest, AStoredCountOfZeroLeavesTheRowsAsTheyWere) {
    AddSite("ZERO", 5, 0);
    OpenForm("ZERO");
    EXPECT_EQ(port.Text(ctl::GroupCount), "");
    EXPECT_EQ(EnabledRows(), 4);
}

// ---- response files ----

TEST_F(ChannelGridTest, TheFileDialogIsTitledWithStationAndChannelAndStartsInTheResponseFolder) {
    WriteProfile("[ZRN]\nDIR=/data\n");
    OpenForm("ABC");
    ChooseFor(ctl::CellIndex(2, 0), std::nullopt);
    ASSERT_EQ(port.FileDialogs().size(), 1u);
    EXPECT_EQ(LastFileDialog().title, "Выбрать файл с АЧХ (ABC BHZ)");
    EXPECT_EQ(LastFileDialog().folder, "/data/RESPONSE");
    EXPECT_EQ(LastFileDialog().initialName, "");
}

TEST_F(ChannelGridTest, TheResponseFolderTakesOneSeparatorWhateverDirEndsWith) {
    const std::pair<std::string, std::string> cases[] = {
        {"[ZRN]\nDIR=/data/\n", "/data/RESPONSE"},
        {"[ZRN]\nDIR=D:\\data\n", "D:\\data/RESPONSE"},
        {"[ZRN]\nDIR=D:\\data\\\n", "D:\\data\\RESPONSE"},
        {"[ZRN]\nDIR=\n", "/RESPONSE"},
        {"[DATABASE]\nODBC=x\n", "/RESPONSE"},
    };
    OpenForm("ABC");
    for (const auto& [profileText, folder] : cases) {
        WriteProfile(profileText);
        ChooseFor(0, std::nullopt);
        EXPECT_EQ(LastFileDialog().folder, folder) << profileText;
    }
}

TEST_F(ChannelGridTest, WithoutAConfigurationFileTheFolderIsResponseAtTheRoot) {
    OpenForm();
    ChooseFor(0, std::nullopt);
    EXPECT_EQ(LastFileDialog().folder, "/RESPONSE");
}

TEST_F(ChannelGridTest, TheChosenFileNameWithoutItsFolderBecomesTheCellsResponsePath) {
    OpenForm("ABC");
    ChooseFor(3, std::string("/data/RESPONSE/bhz.rsp"));
    EXPECT_EQ(port.Text(ctl::ResponseButton(3)), "bhz.rsp");
    EXPECT_EQ(port.ToolTip(ctl::ResponseButton(3)), "bhz.rsp");
    // The next dialog of the cell starts with that name.
    ChooseFor(3, std::string("/elsewhere/other.rsp"));
    EXPECT_EQ(LastFileDialog().initialName, "bhz.rsp");
    EXPECT_EQ(port.Text(ctl::ResponseButton(3)), "other.rsp");
    EXPECT_EQ(port.Text(ctl::ResponseButton(4)), "");
}

TEST_F(ChannelGridTest, CancellingTheDialogChangesNothing) {
    OpenForm("ABC");
    ChooseFor(5, std::string("/r/bhe.rsp"));
    ChooseFor(5, std::nullopt);
    EXPECT_EQ(port.FileDialogs().size(), 2u);
    EXPECT_EQ(port.Text(ctl::ResponseButton(5)), "bhe.rsp");
    EXPECT_EQ(port.ToolTip(ctl::ResponseButton(5)), "bhe.rsp");
}

TEST_F(ChannelGridTest, TheDialogIsTitledWithTheStoredChannelNameNotTheOneBeingTyped) {
    OpenForm("ABC");
    port.TypeKeys(ctl::ChanName(9), "X");
    EXPECT_EQ(port.Text(ctl::ChanName(9)), "EHZX");
    ChooseFor(9, std::nullopt);  // button 1339
    EXPECT_EQ(LastFileDialog().title, "Выбрать файл с АЧХ (ABC EHZ)");
}

TEST_F(ChannelGridTest, ALongFileNameIsCutToSixtyThreeCharacters) {
    OpenForm();
    std::string name;
    for (int i = 0; i < 70; ++i) name += "ф";
    ChooseFor(0, "/r/" + name);
    std::string expected;
    for (int i = 0; i < 63; ++i) expected += "ф";
    EXPECT_EQ(port.Text(ctl::ResponseButton(0)), expected);
}

TEST_F(ChannelGridTest, ADisabledCellsButtonOpensNoDialog) {
    OpenForm();
    EXPECT_FALSE(port.Press(ctl::ResponseButton(20)));
    EXPECT_TRUE(port.FileDialogs().empty());
}

TEST_F(ChannelGridTest, LoadingSetsThePathsOfTheRowsFoundAndEmptiesTheOthers) {
    AddSite("KIV", 1, 2);
    AddChannel("KIV", "BHZ", 2, 0, "kiv_bhz.rsp");
    OpenForm("ABC");
    ChooseFor(0, std::string("/r/chosen.rsp"));
    port.ReplaceText(ctl::StationCode, "KIV");
    EXPECT_TRUE(port.Messages().empty()) << MessageTexts();
    EXPECT_EQ(port.Text(ctl::ResponseButton(ctl::CellIndex(2, 0))), "kiv_bhz.rsp");
    EXPECT_EQ(port.ToolTip(ctl::ResponseButton(ctl::CellIndex(2, 0))), "kiv_bhz.rsp");
    // A file chosen for the previous station does not pass to this one.
    EXPECT_EQ(port.Text(ctl::ResponseButton(0)), "");
    EXPECT_EQ(port.ToolTip(ctl::ResponseButton(0)), "");
}

TEST_F(ChannelGridTest, SetResponsePathIgnoresIndicesOutsideTheGrid) {
    OpenForm();
    form->SetResponsePath(7, 0, "x");
    form->SetResponsePath(-1, 0, "x");
    form->SetResponsePath(0, 3, "x");
    form->SetResponsePath(0, -1, "x");
    for (int k = 0; k < ctl::CellCount; ++k) EXPECT_EQ(port.Text(ctl::ResponseButton(k)), "") << k;
    form->SetResponsePath(6, 2, "last.rsp");
    EXPECT_EQ(port.Text(ctl::ResponseButton(20)), "last.rsp");
}

}  // namespace
