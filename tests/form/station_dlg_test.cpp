// The form as a whole: opening, the event table, leaving, and the guard that
// keeps the form open when a handler fails.

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>

#include "db/session.h"
#include "resources/control_ids.h"
#include "tests/form/form_test_fixture.h"
#include "tests/support/query_rows.h"

namespace {

using form_test::FormTest;
using platform::FakeDialogPort;

// A session whose Open fails as the layer itself fails: no driver text.
class LayerFailingSession : public CDatabase {
public:
    bool Open(const std::string&, unsigned) override { throw CDBException::Layer(LayerError::ApiConformance); }
};

class StationDlgTest : public FormTest {
protected:
    long SiteRows(const std::string& code) {
        CDatabase session;
        EXPECT_TRUE(session.Open(db.ConnectString(), OpenOptions::UseCursorLibrary));
        return CountRows(session, "SITE", "STA='" + code + "'");
    }
    const platform::ShownMessage& LastMessage() const { return port.Messages().back(); }
};

TEST_F(StationDlgTest, LeavingByButtonEscOrCloseBoxEndsTheFormWithoutReadingBack) {
    using Leave = void (*)(FakeDialogPort&);
    const Leave ways[] = {
        [](FakeDialogPort& p) { p.Press(ctl::Leave); },
        [](FakeDialogPort& p) { p.PressEsc(); },
        [](FakeDialogPort& p) { p.PressCloseBox(); },
    };
    for (Leave leave : ways) {
        OpenForm("NEW");
        port.ReplaceText(ctl::Latitude, "not a number");
        leave(port);
        EXPECT_FALSE(port.IsOpen());
        EXPECT_EQ(port.Result(), platform::IDCANCEL);
        EXPECT_TRUE(port.Messages().empty()) << MessageTexts();
    }
    EXPECT_EQ(SiteRows("NEW"), 0);
}

TEST_F(StationDlgTest, DoModalRunsUntilTheFormIsLeft) {
    MakeForm("NEW");
    port.SetScript({[](FakeDialogPort& p) { p.TypeKeys(ctl::IntlCode, "II"); },
                    [](FakeDialogPort& p) { p.Press(ctl::Leave); }});
    EXPECT_EQ(form->DoModal(), platform::IDCANCEL);
    EXPECT_EQ(port.Text(ctl::IntlCode), "II");
}

TEST_F(StationDlgTest, EnterAndTheSaveButtonSaveAndTheFormStaysOpen) {
    OpenForm("NEW1");
    port.PressEnter();
    EXPECT_TRUE(port.IsOpen());
    EXPECT_EQ(SiteRows("NEW1"), 1) << MessageTexts();
    port.ReplaceText(ctl::StationCode, "NEW2");
    port.Press(ctl::Save);
    EXPECT_TRUE(port.IsOpen());
    EXPECT_EQ(SiteRows("NEW2"), 1) << MessageTexts();
}

TEST_F(StationDlgTest, AFailedReadBackStopsTheSaveBeforeAnythingIsWritten) {
    OpenForm("NEW");
    port.ReplaceText(ctl::Longitude, "");
    port.Press(ctl::Save);
    ASSERT_EQ(port.Messages().size(), 1u);
    EXPECT_EQ(LastMessage().text, "Please enter a number.");
    EXPECT_EQ(SiteRows("NEW"), 0);
    EXPECT_TRUE(port.IsOpen());
}

TEST_F(StationDlgTest, PickingAStationFromTheListLoadsIt) {
    AddSite("KIV", 12, 3);
    AddSite("ARU", 7, 1);
    OpenForm();
    ASSERT_EQ(port.Entries(ctl::StationCode), (std::vector<std::string>{"ARU", "KIV"}));
    port.PickEntry(ctl::StationCode, 1);
    EXPECT_EQ(port.Text(ctl::StationCode), "KIV");
    EXPECT_EQ(port.Text(ctl::DbNumber), "12");
    EXPECT_EQ(port.Text(ctl::GroupCount), "3");
    EXPECT_EQ(form->Fields().StationCode, "KIV");
}

TEST_F(StationDlgTest, TypingAStationCodeLoadsAfterEveryKey) {
    AddSite("AB", 21, 2);
    OpenForm();
    port.TypeKeys(ctl::StationCode, "a");
    EXPECT_EQ(form->Fields().StationCode, "A");
    EXPECT_EQ(port.Text(ctl::GroupCount), "4");  // A is a new station
    port.TypeKeys(ctl::StationCode, "b");
    EXPECT_EQ(form->Fields().StationCode, "AB");
    EXPECT_EQ(port.Text(ctl::DbNumber), "21");
    EXPECT_EQ(port.Text(ctl::GroupCount), "2");
}

TEST_F(StationDlgTest, TheDeleteButtonAsksFirstAndCancelKeepsTheStation) {
    AddSite("KIV", 12, 1);
    OpenForm("KIV");
    port.QueueAnswer(platform::Answer::Cancel);
    port.Press(ctl::Delete);
    ASSERT_FALSE(port.Messages().empty());
    EXPECT_EQ(LastMessage().buttons, platform::Buttons::OkCancel);
    EXPECT_EQ(SiteRows("KIV"), 1);
}

TEST_F(StationDlgTest, ADatabaseErrorEndsTheHandlerWithAStopBoxAndTheFormStaysOpen) {
    AddSite("KIV", 12, 1);
    OpenForm();
    db.Exec("drop table SITE");
    port.TypeKeys(ctl::StationCode, "K");
    ASSERT_EQ(port.Messages().size(), 1u);
    EXPECT_EQ(LastMessage().icon, platform::Icon::Stop);
    EXPECT_EQ(LastMessage().caption, "station-editor");
    EXPECT_NE(LastMessage().text, "");
    // The handler's later steps did not run; the form still reacts.
    EXPECT_EQ(form->Fields().StationCode, "");
    EXPECT_TRUE(port.IsOpen());
    port.Press(ctl::Leave);
    EXPECT_EQ(port.Result(), platform::IDCANCEL);
}

TEST_F(StationDlgTest, AFailingOpeningStillShowsTheDefaults) {
    db.Exec("drop table SITE");
    OpenForm("KIV");
    ASSERT_EQ(port.Messages().size(), 1u) << MessageTexts();
    EXPECT_EQ(LastMessage().icon, platform::Icon::Stop);
    EXPECT_TRUE(port.IsOpen());
    EXPECT_EQ(port.Focus().id, ctl::StationCode);
    EXPECT_EQ(port.Text(ctl::StationCode), "KIV");
    EXPECT_EQ(port.Text(ctl::GroupCount), "4");
    EXPECT_EQ(port.Text(ctl::SampleRate(3)), "200");
    EXPECT_TRUE(port.IsEnabled(ctl::ChanName(11)));
    EXPECT_FALSE(port.IsEnabled(ctl::ChanName(12)));
}

TEST_F(StationDlgTest, ALayerErrorWithoutDriverTextShowsItsNumber) {
    makeSession = [] { return std::make_unique<LayerFailingSession>(); };
    OpenForm();
    ASSERT_EQ(port.Messages().size(), 1u) << MessageTexts();
    EXPECT_EQ(LastMessage().text, "Ошибка базы данных: 1014");
    EXPECT_EQ(LastMessage().icon, platform::Icon::Stop);
}

TEST_F(StationDlgTest, AFailureOutsideTheDatabaseAlsoEndsOnlyItsHandler) {
    makeSession = []() -> std::unique_ptr<CDatabase> { throw std::runtime_error("no session to be had"); };
    OpenForm();
    ASSERT_EQ(port.Messages().size(), 1u) << MessageTexts();
    EXPECT_EQ(LastMessage().text, "no session to be had");
    EXPECT_EQ(LastMessage().icon, platform::Icon::Stop);
    port.Press(ctl::Save);
    EXPECT_TRUE(port.IsOpen());
}

TEST_F(StationDlgTest, ControlsOutsideTheEventTableStartNothing) {
    OpenForm("NEW");
    port.ClearMessages();
    port.TypeKeys(ctl::CentralPoint, "KIV");
    port.TypeKeys(ctl::LocCode(1), "00");
    port.TypeKeys(ctl::SampleRate(1), "5");
    EXPECT_EQ(form->Fields().CentralPoint, "");
    EXPECT_EQ(form->Fields().SampleRate[0], "20");
    EXPECT_TRUE(port.Messages().empty());
    EXPECT_TRUE(port.FileDialogs().empty());
}

}  // namespace
