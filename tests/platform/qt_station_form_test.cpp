// The station form itself on the Qt port, over a SQLite file: real widgets,
// real key events, the form's own handlers answering them.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include "form/station_dlg.h"
#include "platform/profile_reader.h"
#include "platform/qt/field_edit.h"
#include "platform/qt/list_combo.h"
#include "resources/control_ids.h"
#include "tests/form/form_test_fixture.h"
#include "tests/platform/qt_test_support.h"

using qt_test::Port;

namespace {

class QtStationForm : public ::testing::Test {
protected:
    // Runs the form; body runs once its window is up, then the form is left
    // with Esc as the user leaves it.
    void Run(const std::string& start, std::function<void()> body) {
        FormEnvironment env;
        env.startStationCode = start;
        const std::string connect = db.ConnectString();
        env.connectString = [connect] { return connect; };
        env.openSession = DefaultSessionFactory();
        env.profile = &profile;
        CStationDlg form(Port(), std::move(env));
        QTimer::singleShot(0, qApp, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                ADD_FAILURE() << "unexpected message: " << box->text().toStdString();
                box->done(QMessageBox::Ok);
                return;
            }
            Port().Dialog()->activateWindow();
            EXPECT_TRUE(QTest::qWaitForWindowActive(Port().Dialog()));
            body();
            if (Port().Dialog()) QTest::keyClick(Port().Dialog()->focusWidget(), Qt::Key_Escape);
        });
        EXPECT_EQ(form.DoModal(), platform::IDCANCEL);
    }

    static QLineEdit* Edit(int id) {
        QWidget* w = Port().Widget(id);
        if (auto* combo = qobject_cast<platform::qt::ListCombo*>(w)) return &combo->Edit();
        return qobject_cast<QLineEdit*>(w);
    }
    static void Type(int id, const char* keys) {
        Edit(id)->setFocus();
        QTest::keyClicks(Edit(id), keys);
    }
    static void Clear(int id) {
        Edit(id)->setFocus();
        Edit(id)->selectAll();
        QTest::keyClick(Edit(id), Qt::Key_Backspace);
    }
    static int EnabledRows() {
        int rows = 0;
        for (int g = 1; g <= ctl::GroupCountMax; ++g)
            if (Port().IsEnabled(ctl::ChanName(ctl::CellIndex(g, 0))) && Port().IsEnabled(ctl::SensorType(g))) rows = g;
        return rows;
    }

    form_test::SqliteFile db;
    ProfileReader profile;
};

}  // namespace

TEST_F(QtStationForm, OpensWithTheDefaultsAndFourRowsInUse) {
    Run("", [&] {
        EXPECT_EQ(Port().Text(ctl::GroupCount), "4");
        EXPECT_EQ(EnabledRows(), 4);
        EXPECT_FALSE(Port().IsEnabled(ctl::ResponseButton(ctl::CellIndex(5, 0))));
        EXPECT_EQ(Port().Text(ctl::ChanName(ctl::CellIndex(2, 1))), "BHN");
        EXPECT_EQ(Port().GetCount(ctl::LocCode(1)), 4);
    });
}

TEST_F(QtStationForm, TypedGroupCountsEnableRowsAndAnInvalidOneEmptiesTheBox) {
    Run("", [&] {
        Clear(ctl::GroupCount);
        EXPECT_EQ(EnabledRows(), 4);  // an empty box changes nothing
        Type(ctl::GroupCount, "1");
        EXPECT_EQ(EnabledRows(), 1);
        Type(ctl::GroupCount, "2");  // 12 is out of range
        EXPECT_EQ(Port().Text(ctl::GroupCount), "");
        EXPECT_EQ(EnabledRows(), 1);
        Type(ctl::GroupCount, "7");
        EXPECT_EQ(EnabledRows(), 7);
    });
}

TEST_F(QtStationForm, TypingAStationCodeLoadsTheStationAndEnterSavesANewOne) {
    db.Exec("insert into SITE (STA, NINDEX, NGROUPS, LAT, LON, ELEV) values ('KIV', 5, 2, 10, 20, 30)");
    Run("", [&] {
        ASSERT_EQ(Port().GetCount(ctl::StationCode), 1);
        Type(ctl::StationCode, "kiv");
        EXPECT_EQ(Port().Text(ctl::StationCode), "KIV");
        EXPECT_EQ(Edit(ctl::StationCode)->cursorPosition(), 3);  // typing goes on where it was
        EXPECT_EQ(Port().Text(ctl::Latitude), "10");
        EXPECT_EQ(Port().Text(ctl::DbNumber), "5");
        EXPECT_EQ(EnabledRows(), 2);

        Clear(ctl::StationCode);
        Type(ctl::StationCode, "new");
        QTest::keyClick(Edit(ctl::Latitude), Qt::Key_Return);
        EXPECT_EQ(Port().GetCount(ctl::StationCode), 2);
        EXPECT_EQ(Port().GetLBText(ctl::StationCode, 1), "NEW");
        EXPECT_EQ(Port().Text(ctl::StationCode), "NEW");
    });
}
