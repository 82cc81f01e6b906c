// The station form on the real Qt widgets (offscreen) against SQLite: a new
// station typed in, saved with Enter and found in the database, then deleted
// with OK and found gone; a refused deletion leaves the station whole.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "db/session.h"
#include "form/station_dlg.h"
#include "platform/qt/field_edit.h"
#include "platform/qt/list_combo.h"
#include "platform/qt/qt_dialog_port.h"
#include "resources/control_ids.h"
#include "tests/platform/qt_test_support.h"
#include "tests/support/backend.h"
#include "tests/support/query_rows.h"

namespace {

using qt_test::Port;

QLineEdit* EditOf(int id) {
    QWidget* w = Port().Widget(id);
    if (auto* combo = qobject_cast<platform::qt::ListCombo*>(w)) return &combo->Edit();
    return qobject_cast<QLineEdit*>(w);
}

// Types into a control as a user does: focus, select all, one key per character.
void TypeOver(int id, const char* text) {
    QLineEdit* edit = EditOf(id);
    ASSERT_NE(edit, nullptr) << "control " << id;
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, text);
}

// Answers every message box the form opens with OK and remembers its text, so
// that an unexpected box fails the test instead of blocking it.
class BoxAnswerer {
public:
    BoxAnswerer() {
        timer_.setInterval(20);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) return;
            texts.push_back(box->text().toStdString());
            if (QAbstractButton* ok = box->button(QMessageBox::Ok)) ok->click();
        });
        timer_.start();
    }
    std::vector<std::string> texts;

private:
    QTimer timer_;
};

// The station tables made afresh, and a session on them for the checks.
void FreshTables(CDatabase& admin) {
    const Backend& backend = CurrentBackend();
    ASSERT_EQ(backend.name, "sqlite") << "this test runs on the SQLite data source only";
    ASSERT_TRUE(admin.Open(backend.ConnectString(), OpenOptions::UseCursorLibrary));
    CreateStationTables(admin);
}

// Opens the form on the real widgets, runs the steps once its window is
// active, then leaves it with Escape. Answers the texts of the boxes shown.
std::vector<std::string> RunForm(const std::function<void()>& steps) {
    const Backend& backend = CurrentBackend();
    FormEnvironment env;
    env.connectString = [&backend] { return backend.ConnectString(); };
    env.openSession = DefaultSessionFactory();
    CStationDlg form(Port(), env);

    BoxAnswerer boxes;
    QTimer::singleShot(0, [&] {
        QDialog* window = Port().Dialog();
        ASSERT_NE(window, nullptr);
        window->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(window));
        steps();
        QTest::keyClick(window, Qt::Key_Escape);
    });
    EXPECT_EQ(form.DoModal(), platform::IDCANCEL);
    return boxes.texts;
}

void PressEnterIn(int id) { QTest::keyClick(EditOf(id), Qt::Key_Return); }

TEST(StationFormOnQt, SaveWithEnterThenDeleteWithOk) {
    CDatabase admin;
    FreshTables(admin);
    long savedSites = -1, savedChannels = -1, leftSites = -1, leftChannels = -1;
    std::optional<std::string> savedName;
    const auto boxes = RunForm([&] {
        TypeOver(ctl::StationCode, "qtx");
        EXPECT_EQ(Port().Text(ctl::StationCode), "QTX");
        TypeOver(ctl::NameEn, "Qt station");
        TypeOver(ctl::Latitude, "55.25");
        TypeOver(ctl::ChanName(0), "hhz");
        PressEnterIn(ctl::ChanName(0));
        savedSites = CountRows(admin, "SITE", "STA='QTX'");
        savedChannels = CountRows(admin, "SITECHAN", "STA='QTX'");
        savedName = QueryValue(admin, "select STANAME from SITE where STA='QTX'");
        EXPECT_EQ(QueryValue(admin, "select CHAN from SITECHAN where STA='QTX' and NGROUP=1 and CHANINDEX=0"),
                  "HHZ");

        auto* deleteButton = qobject_cast<QPushButton*>(Port().Widget(ctl::Delete));
        ASSERT_NE(deleteButton, nullptr);
        QTest::mouseClick(deleteButton, Qt::LeftButton);
        leftSites = CountRows(admin, "SITE", "STA='QTX'");
        leftChannels = CountRows(admin, "SITECHAN", "STA='QTX'");
    });

    EXPECT_EQ(savedSites, 1);
    EXPECT_EQ(savedChannels, 12);
    EXPECT_EQ(savedName, "Qt station");
    EXPECT_EQ(leftSites, 0);
    EXPECT_EQ(leftChannels, 0);
    ASSERT_EQ(boxes.size(), 1u) << "only the delete question is expected";
    EXPECT_NE(boxes[0].find("QTX"), std::string::npos) << boxes[0];
}

TEST(StationFormOnQt, SavingKeepsChannelRowsTheFormDoesNotShow) {
    CDatabase admin;
    FreshTables(admin);
    admin.ExecuteDirect("insert into SITE (STA,NINDEX,NGROUPS,LAT,LON,ELEV) values ('OBN',1,2,55,36,150)");
    for (const char* row : {"'BHZ',1,0,20", "'BHN',1,1,20", "'BHE',1,2,20", "'LHZ',3,0,1", "'UHZ',1,5,0.1",
                            "'VHZ',1,-1,0.1"})
        admin.ExecuteDirect(std::string("insert into SITECHAN (STA,CHAN,NGROUP,CHANINDEX,SPS) values ('OBN',") +
                            row + ")");
    const auto boxes = RunForm([&] {
        TypeOver(ctl::StationCode, "obn");
        EXPECT_EQ(Port().Text(ctl::SampleRate(1)), "20");
        PressEnterIn(ctl::NameEn);
    });
    EXPECT_TRUE(boxes.empty()) << boxes.front();
    EXPECT_EQ(CountRows(admin, "SITECHAN", "STA='OBN'"), 6);
    EXPECT_EQ(CountRows(admin, "SITECHAN", "STA='OBN' and NGROUP=1 and CHANINDEX between 0 and 2 and SPS=20"), 3);
}

TEST(StationFormOnQt, AChannelRowTheDatabaseRefusesLeavesTheSiteRowAsItWas) {
    CDatabase admin;
    FreshTables(admin);
    admin.ExecuteDirect("insert into SITE (STA,NINDEX,NGROUPS,LAT,LON,ELEV,STANAME) values ('KIV',1,2,55,36,150,'Kiev')");
    admin.ExecuteDirect("insert into SITECHAN (STA,CHAN,NGROUP,CHANINDEX,SPS) values ('KIV','BHZ',1,0,20)");
    admin.ExecuteDirect("create trigger NO_BAD before insert on SITECHAN when NEW.CHAN = 'BAD' "
                        "begin select raise(abort, 'channel BAD refused'); end");
    const auto boxes = RunForm([&] {
        TypeOver(ctl::StationCode, "kiv");
        TypeOver(ctl::NameEn, "changed");
        TypeOver(ctl::ChanName(3), "bad");
        PressEnterIn(ctl::ChanName(3));
    });
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].find("BAD"), std::string::npos) << boxes[0];
    EXPECT_EQ(QueryValue(admin, "select STANAME from SITE where STA='KIV'"), "Kiev");
    EXPECT_EQ(CountRows(admin, "SITECHAN", "STA='KIV'"), 1);
}

TEST(StationFormOnQt, ADeletionTheDatabaseRefusesLeavesTheChannelRowsToo) {
    CDatabase admin;
    FreshTables(admin);
    admin.ExecuteDirect("insert into SITE (STA,NINDEX,NGROUPS,LAT,LON,ELEV) values ('OBN',1,1,55,36,150)");
    admin.ExecuteDirect("insert into SITECHAN (STA,CHAN,NGROUP,CHANINDEX,SPS) values ('OBN','BHZ',1,0,20)");
    admin.ExecuteDirect("create trigger NO_SITE_DELETE before delete on SITE "
                        "begin select raise(abort, 'site deletion refused'); end");
    const auto boxes = RunForm([&] {
        TypeOver(ctl::StationCode, "obn");
        auto* deleteButton = qobject_cast<QPushButton*>(Port().Widget(ctl::Delete));
        ASSERT_NE(deleteButton, nullptr);
        QTest::mouseClick(deleteButton, Qt::LeftButton);
    });
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_NE(boxes[1].find("site deletion refused"), std::string::npos) << boxes[1];
    EXPECT_EQ(CountRows(admin, "SITE", "STA='OBN'"), 1);
    EXPECT_EQ(CountRows(admin, "SITECHAN", "STA='OBN'"), 1);
}

}  // namespace
