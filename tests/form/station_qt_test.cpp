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
#include <QtGui/qpa/qwindowsysteminterface.h>

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
#include "station/station_journal.h"
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
// that an unexpected box fails the test instead of blocking it. While
// `mayAnswer` says no, boxes are left open.
class BoxAnswerer {
public:
    explicit BoxAnswerer(std::function<bool()> mayAnswer) {
        timer_.setInterval(20);
        QObject::connect(&timer_, &QTimer::timeout, [this, mayAnswer = std::move(mayAnswer)] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || (mayAnswer && !mayAnswer())) return;
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
std::vector<std::string> RunForm(const std::function<void()>& steps, std::function<bool()> mayAnswer = {}) {
    const Backend& backend = CurrentBackend();
    FormEnvironment env;
    env.connectString = [&backend] { return backend.ConnectString(); };
    env.openSession = DefaultSessionFactory();
    CStationDlg form(Port(), env);

    BoxAnswerer boxes(std::move(mayAnswer));
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

// Holds Return down as a keyboard does: one press, then auto-repeated
// release and press pairs every 10 ms, then the release. Each event is queued
// as the window system queues it, for the topmost modal window when it is
// sent (the box, or the form when no box is open), which a window manager
// gives the focus; `done` turns true after the last one.
class HeldReturn {
public:
    explicit HeldReturn(int repeats) : left_(repeats) {
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            if (left_-- > 0) {
                Send(QEvent::KeyRelease, true);
                Send(QEvent::KeyPress, true);
                return;
            }
            timer_.stop();
            Send(QEvent::KeyRelease, false);
            done = true;
        });
    }
    void Press() {
        timer_.start();
        Send(QEvent::KeyPress, false);
    }
    bool done = false;

private:
    static void Send(QEvent::Type type, bool repeated) {
        QWidget* top = QApplication::activeModalWidget();
        QWindowSystemInterface::handleKeyEvent<QWindowSystemInterface::AsynchronousDelivery>(
            top ? top->windowHandle() : nullptr, type, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"),
            repeated);
    }
    int left_;
    QTimer timer_;
};

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

TEST(StationFormOnQt, CtrlZAfterADeleteBringsBackBothTablesRowByRow) {
    CDatabase admin;
    FreshTables(admin);
    admin.ExecuteDirect("insert into SITE (STA,NINDEX,NGROUPS,LAT,LON,ELEV,STANAME,DESCR,ONDATE) values "
                        "('OBN',3,2,55.1234567890123,36.5,150.25,'Obninsk','Обнинск','2001-02-03 04:05:06')");
    for (const char* row : {"'BHZ',1,0,20,'sts2.resp'", "'BHN',1,1,20,''", "'LHZ',2,0,1,NULL"})
        admin.ExecuteDirect(std::string("insert into SITECHAN (STA,CHAN,NGROUP,CHANINDEX,SPS,CALIBFILE) values "
                                        "('OBN',") + row + ")");
    const auto catalogue = [&admin] {
        return std::pair{QueryRows(admin, "select * from SITE order by STA"),
                         QueryRows(admin, "select * from SITECHAN order by STA, NGROUP, CHANINDEX")};
    };
    // A journal of this test's own; later tests find neither the table nor
    // this process's memory of it.
    struct OwnJournal {
        TableDropGuard table;
        ~OwnJournal() { ForgetJournalState(); }
    } const journal{{admin, "STATION_JOURNAL"}};
    ForgetJournalState();
    ASSERT_TRUE(EnsureJournalTable(admin).available);
    const auto before = catalogue();
    long deletedSites = -1;
    const auto boxes = RunForm([&] {
        TypeOver(ctl::StationCode, "obn");
        QTest::mouseClick(Port().Widget(ctl::Delete), Qt::LeftButton);
        deletedSites = CountRows(admin, "SITE", "STA='OBN'");
        // The focus is on the station box, whose text the program set: no
        // typing of its own to undo.
        QWidget* focus = Port().Dialog()->focusWidget();
        ASSERT_EQ(focus, EditOf(ctl::StationCode));
        QTest::keyClick(focus, Qt::Key_Z, Qt::ControlModifier);
        EXPECT_EQ(Port().Text(ctl::StationCode), "OBN");
        EXPECT_EQ(Port().Text(ctl::NameEn), "Obninsk");
    });
    EXPECT_EQ(deletedSites, 0);
    EXPECT_EQ(catalogue(), before);
    ASSERT_EQ(boxes.size(), 2u) << "the delete question and the undo question";
    EXPECT_NE(boxes[1].find("OBN"), std::string::npos) << boxes[1];
}

TEST(StationFormOnQt, ReturnHeldOnTheDeleteButtonDeletesOneStationAndNoMore) {
    CDatabase admin;
    FreshTables(admin);
    for (const char* code : {"S1", "S2", "S3", "S4", "S5", "S6"}) {
        admin.ExecuteDirect(std::string("insert into SITE (STA,NINDEX,NGROUPS) values ('") + code + "',1,1)");
        admin.ExecuteDirect(std::string("insert into SITECHAN (STA,CHAN,NGROUP,CHANINDEX) values ('") + code +
                            "','BHZ',1,0)");
    }
    HeldReturn key(40);
    const auto boxes = RunForm(
        [&] {
            TypeOver(ctl::StationCode, "s1");
            Port().Widget(ctl::Delete)->setFocus();
            key.Press();
            for (int i = 0; i < 500 && !key.done; ++i) QTest::qWait(10);
            ASSERT_TRUE(key.done);
            QTest::qWait(100);  // a box opened by the last keys is answered
            EXPECT_EQ(Port().Dialog()->focusWidget(), EditOf(ctl::StationCode));
        },
        [&] { return key.done; });
    EXPECT_EQ(CountRows(admin, "SITE"), 5);
    EXPECT_EQ(CountRows(admin, "SITE", "STA='S1'"), 0);
    EXPECT_EQ(CountRows(admin, "SITECHAN"), 5);
    EXPECT_EQ(boxes.size(), 1u) << "one delete question";
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
