// The station form on the real Qt widgets (offscreen) against SQLite: a new
// station typed in, saved with Enter and found in the database, then deleted
// with OK and found gone.

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
#include <string>
#include <vector>

#include "db/session.h"
#include "form/station_dlg.h"
#include "platform/qt/field_edit.h"
#include "platform/qt/list_combo.h"
#include "platform/qt/qt_dialog_port.h"
#include "resources/control_ids.h"
#include "tests/support/backend.h"
#include "tests/support/query_rows.h"

namespace {

platform::QtDialogPort& Port() {
    static int argc = 1;
    static char name[] = "station_qt_test";
    static char* argv[] = {name, nullptr};
    static platform::QtDialogPort* port = [] {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        return new platform::QtDialogPort(argc, argv);
    }();
    return *port;
}

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

TEST(StationFormOnQt, SaveWithEnterThenDeleteWithOk) {
    const Backend& backend = CurrentBackend();
    ASSERT_EQ(backend.name, "sqlite") << "this test runs on the SQLite data source only";
    CDatabase admin;
    ASSERT_TRUE(admin.Open(backend.ConnectString(), OpenOptions::UseCursorLibrary));
    CreateStationTables(admin);
    CDatabase shared;
    ASSERT_TRUE(shared.Open(backend.ConnectString(), OpenOptions::UseCursorLibrary));

    FormEnvironment env;
    env.connectString = [&backend] { return backend.ConnectString(); };
    env.openSession = DefaultSessionFactory();
    env.sharedSession = &shared;
    CStationDlg form(Port(), env);

    BoxAnswerer boxes;
    long savedSites = -1, savedChannels = -1, leftSites = -1, leftChannels = -1;
    std::optional<std::string> savedName;
    QTimer::singleShot(0, [&] {
        QDialog* window = Port().Dialog();
        ASSERT_NE(window, nullptr);
        window->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(window));

        TypeOver(ctl::StationCode, "qtx");
        EXPECT_EQ(Port().Text(ctl::StationCode), "QTX");
        TypeOver(ctl::NameEn, "Qt station");
        TypeOver(ctl::Latitude, "55.25");
        TypeOver(ctl::ChanName(0), "hhz");
        QTest::keyClick(EditOf(ctl::ChanName(0)), Qt::Key_Return);
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

        QTest::keyClick(window, Qt::Key_Escape);
    });
    const int result = form.DoModal();

    EXPECT_EQ(result, platform::IDCANCEL);
    EXPECT_EQ(savedSites, 1);
    EXPECT_EQ(savedChannels, 12);
    EXPECT_EQ(savedName, "Qt station");
    EXPECT_EQ(leftSites, 0);
    EXPECT_EQ(leftChannels, 0);
    ASSERT_EQ(boxes.texts.size(), 1u) << "only the delete question is expected";
    EXPECT_NE(boxes.texts[0].find("QTX"), std::string::npos) << boxes.texts[0];
}

}  // namespace
