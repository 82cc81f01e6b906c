// The Qt port with real widgets and real key events on the offscreen
// platform: what the in-memory fake cannot show.

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>
#include <memory>

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QMenu>
#include <QScreen>
#include <QScrollArea>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <QtGui/qpa/qwindowsysteminterface.h>

#include "platform/qt/dialog_units.h"
#include "platform/qt/field_edit.h"
#include "platform/qt/list_combo.h"
#include "resources/control_ids.h"
#include "resources/form_template.h"
#include "tests/platform/qt_test_support.h"

using platform::Notify;
using qt_test::Port;
using qt_test::Recorder;

namespace {

const int kChanZ1 = ctl::ChanName(ctl::CellIndex(1, 0));

QLineEdit* EditOf(int id) {
    QWidget* w = Port().Widget(id);
    if (auto* combo = qobject_cast<platform::qt::ListCombo*>(w)) return &combo->Edit();
    return qobject_cast<QLineEdit*>(w);
}

platform::qt::ListCombo* ComboOf(int id) { return qobject_cast<platform::qt::ListCombo*>(Port().Widget(id)); }

// One key press and release per character, as a keyboard sends them; a
// character without a key code of its own (Cyrillic, say) comes as text only.
void Keys(QWidget* target, const QString& text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        QString one(text[i]);
        if (text[i].isHighSurrogate() && i + 1 < text.size()) one += text[++i];
        if (one.size() == 1 && one[0].unicode() < 0x80) {
            QTest::keyClick(target, static_cast<char>(one[0].unicode()));
        } else {
            QTest::sendKeyEvent(QTest::Press, target, Qt::Key_unknown, one, Qt::NoModifier);
            QTest::sendKeyEvent(QTest::Release, target, Qt::Key_unknown, one, Qt::NoModifier);
        }
    }
}

// Types into a control as the user does: focus, then one key event per character.
void Type(int id, const QString& text) {
    QLineEdit* edit = EditOf(id);
    ASSERT_NE(edit, nullptr);
    edit->setFocus();
    Keys(edit, text);
}

void Key(int id, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QWidget* target = EditOf(id) ? static_cast<QWidget*>(EditOf(id)) : Port().Widget(id);
    ASSERT_NE(target, nullptr);
    target->setFocus();
    QTest::keyClick(target, key, modifiers);
}

// Keys as the window system queues them when the user types faster than the
// form answers: all of them waiting before the first is delivered.
void QueueKeys(const std::vector<std::pair<Qt::Key, QString>>& keys) {
    QWindow* window = Port().Dialog()->windowHandle();
    ASSERT_NE(window, nullptr);
    using Queued = QWindowSystemInterface::AsynchronousDelivery;
    for (const auto& [key, text] : keys) {
        QWindowSystemInterface::handleKeyEvent<Queued>(window, QEvent::KeyPress, key, Qt::NoModifier, text);
        QWindowSystemInterface::handleKeyEvent<Queued>(window, QEvent::KeyRelease, key, Qt::NoModifier, text);
    }
}

// Delivers everything queued, the form's own held notifications included.
void Settle() {
    for (int i = 0; i < 20; ++i) QApplication::processEvents();
}

// Records, with each notification, the text the station code box held then.
class TextRecorder : public Recorder {
public:
    using Recorder::Recorder;
    void OnCommand(int id, Notify notification) override {
        Recorder::OnCommand(id, notification);
        if (id == ctl::StationCode && notification == Notify::ComboEditChange)
            events.push_back("edit " + Port().Text(ctl::StationCode));
    }
    void OnOK() override {
        Recorder::OnOK();
        events.push_back("ok " + Port().Text(ctl::StationCode));
    }
    std::vector<std::string> events;
};

}  // namespace

TEST(QtTypeAhead, KeysAlreadyWaitingRaiseOneEditChangeForTheLastText) {
    TextRecorder* self = nullptr;
    TextRecorder form([&] {
        EditOf(ctl::StationCode)->setFocus();
        QueueKeys({{Qt::Key_A, "a"}, {Qt::Key_B, "b"}, {Qt::Key_C, "c"}});
        Settle();
        EXPECT_EQ(self->events, (std::vector<std::string>{"edit ABC"}));
        // A key typed when nothing waits is raised at once, as before.
        Type(ctl::StationCode, "d");
        EXPECT_EQ(self->events.back(), "edit ABCD");
    });
    self = &form;
    form.Run();
}

TEST(QtTypeAhead, AHeldEditChangeIsRaisedBeforeTheEventsBehindIt) {
    TextRecorder* self = nullptr;
    TextRecorder form([&] {
        EditOf(ctl::StationCode)->setFocus();
        // Enter queued behind the keys: the form is loaded for "XY" before it saves.
        QueueKeys({{Qt::Key_X, "x"}, {Qt::Key_Y, "y"}, {Qt::Key_Return, "\r"}});
        Settle();
        EXPECT_EQ(self->events, (std::vector<std::string>{"edit XY", "ok XY"}));
    });
    self = &form;
    form.Run();
}

TEST(QtEditNotification, ProgramChangeNotifiesOnceAndTheSameTextNotAtAll) {
    Recorder form([&] {});
    form.onInit = [&] {
        auto& port = Port();
        port.SetText(ctl::GroupCount, "4");
        EXPECT_EQ(form.Count(ctl::GroupCount, Notify::EditChange), 1);
        port.SetText(ctl::GroupCount, "4");
        EXPECT_EQ(form.Count(ctl::GroupCount, Notify::EditChange), 1);
        port.SetText(ctl::GroupCount, "");
        EXPECT_EQ(form.Count(ctl::GroupCount, Notify::EditChange), 2);
        port.SetText(ctl::GroupCount, "");
        EXPECT_EQ(form.Count(ctl::GroupCount, Notify::EditChange), 2);
        EXPECT_EQ(form.commands.size(), 2u);
    };
    form.Run();
}

TEST(QtEditNotification, ProgramTextIsKeptAsGivenEvenInCapitalsAndDigitsBoxes) {
    Recorder form([] {});
    form.onInit = [] {
        auto& port = Port();
        port.SetLimitText(kChanZ1, 6);
        port.SetText(kChanZ1, "bhz1234");
        EXPECT_EQ(port.Text(kChanZ1), "bhz1234");
        port.SetText(ctl::GroupCount, "-3 x");
        EXPECT_EQ(port.Text(ctl::GroupCount), "-3 x");
    };
    form.Run();
}

// The form may answer a change by setting the text again (GroupCount out of
// range is emptied): the inner change notifies too, and the edit ends with
// the inner text.
TEST(QtEditNotification, ChangeMadeFromInsideTheNotificationTakesEffect) {
    struct Emptier : Recorder {
        using Recorder::Recorder;
        void OnCommand(int id, Notify n) override {
            Recorder::OnCommand(id, n);
            if (id == ctl::GroupCount && Port().Text(id) == "0") Port().SetText(id, "");
        }
    };
    Emptier form([&] {
        Type(ctl::GroupCount, "0");
        EXPECT_EQ(Port().Text(ctl::GroupCount), "");
        Type(ctl::GroupCount, "5");
        EXPECT_EQ(Port().Text(ctl::GroupCount), "5");
    });
    form.Run();
    EXPECT_EQ(form.Count(ctl::GroupCount, Notify::EditChange), 3);
}

TEST(QtEditNotification, EachTypedKeyThatChangesTheTextNotifiesOnce) {
    Recorder form([&] {
        Type(ctl::NameRu, "Ку");
        EXPECT_EQ(form.Count(ctl::NameRu, Notify::EditChange), 2);
        Key(ctl::NameRu, Qt::Key_Backspace);
        EXPECT_EQ(form.Count(ctl::NameRu, Notify::EditChange), 3);
        Key(ctl::NameRu, Qt::Key_Left);  // moves the cursor only
        EXPECT_EQ(form.Count(ctl::NameRu, Notify::EditChange), 3);
    });
    form.Run();
    EXPECT_EQ(Port().Dialog(), nullptr);
}

TEST(QtComboNotification, ProgramChangesOfTheStationBoxRaiseNothing) {
    Recorder form([&] {
        auto& port = Port();
        port.AddString(ctl::StationCode, "KIV");
        port.AddString(ctl::StationCode, "ARU");
        port.SetText(ctl::StationCode, "KIV");
        EXPECT_EQ(port.SetCurSel(ctl::StationCode, 1), 1);
        EXPECT_EQ(port.Text(ctl::StationCode), "KIV");
        port.SetCurSel(ctl::StationCode, -1);
        port.ResetContent(ctl::StationCode);
        EXPECT_TRUE(form.commands.empty());
    });
    form.Run();
}

TEST(QtComboNotification, TypingRaisesEditChangeInCapitalsAndNoSelectionChange) {
    Recorder form([&] {
        auto& port = Port();
        port.AddString(ctl::StationCode, "KIV");
        Type(ctl::StationCode, "ki");
        EXPECT_EQ(form.Count(ctl::StationCode, Notify::ComboEditChange), 2);
        EXPECT_EQ(form.Count(ctl::StationCode, Notify::ComboSelChange), 0);
        EXPECT_EQ(port.Text(ctl::StationCode), "KI");
        // No completion: the edit holds what was typed.
        Type(ctl::StationCode, "v");
        EXPECT_EQ(port.Text(ctl::StationCode), "KIV");
        // Leaving the box does not turn the typed text into a pick.
        Port().Widget(ctl::IntlCode)->setFocus();
        QApplication::processEvents();
        EXPECT_EQ(form.Count(ctl::StationCode, Notify::ComboSelChange), 0);
        EXPECT_EQ(port.GetCurSel(ctl::StationCode), platform::CB_ERR);
    });
    form.Run();
}

TEST(QtComboNotification, ArrowKeysAndThePopupArePicksThatRaiseSelectionChange) {
    Recorder form([&] {
        auto& port = Port();
        for (const char* code : {"KIV", "ARU", "OBN"}) port.AddString(ctl::StationCode, code);
        Key(ctl::StationCode, Qt::Key_Down);
        EXPECT_EQ(port.GetCurSel(ctl::StationCode), 0);
        EXPECT_EQ(port.Text(ctl::StationCode), "ARU");
        Key(ctl::StationCode, Qt::Key_Down);
        EXPECT_EQ(port.Text(ctl::StationCode), "KIV");
        EXPECT_EQ(form.Count(ctl::StationCode, Notify::ComboSelChange), 2);
        EXPECT_EQ(form.Count(ctl::StationCode, Notify::ComboEditChange), 0);

        auto* combo = ComboOf(ctl::StationCode);
        QTest::mouseClick(combo, Qt::LeftButton, {}, QPoint(combo->width() - 4, combo->height() / 2));
        ASSERT_TRUE(combo->PopupVisible());
        auto* list = combo->findChild<QListView*>();
        ASSERT_NE(list, nullptr);
        EXPECT_EQ(list->currentIndex().row(), 1);  // opens on the selection
        const QRect third = list->visualRect(list->model()->index(2, 0));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, third.center());
        EXPECT_FALSE(combo->PopupVisible());
        EXPECT_EQ(port.Text(ctl::StationCode), "OBN");
        EXPECT_EQ(port.GetCurSel(ctl::StationCode), 2);
        EXPECT_EQ(form.Count(ctl::StationCode, Notify::ComboSelChange), 3);

        Key(ctl::StationCode, Qt::Key_Down, Qt::AltModifier);
        ASSERT_TRUE(combo->PopupVisible());
        QTest::keyClick(list, Qt::Key_Up);
        QTest::keyClick(list, Qt::Key_Return);
        EXPECT_EQ(port.Text(ctl::StationCode), "KIV");
        EXPECT_EQ(form.Count(ctl::StationCode, Notify::ComboSelChange), 4);
        EXPECT_EQ(form.oks, 0);  // Enter in the open list picks, it does not save

        Key(ctl::StationCode, Qt::Key_F4);
        QTest::keyClick(list, Qt::Key_Escape);
        EXPECT_FALSE(combo->PopupVisible());
        EXPECT_EQ(form.cancels, 0);  // Esc closes only the list
        EXPECT_EQ(form.Count(ctl::StationCode, Notify::ComboSelChange), 4);
    });
    form.Run();
}

TEST(QtTyping, LimitCountsCharactersAndStopsFurtherKeys) {
    Recorder form([&] {
        auto& port = Port();
        port.SetLimitText(ctl::NameEn, 6);
        Type(ctl::NameEn, "абвгдежз");
        EXPECT_EQ(port.Text(ctl::NameEn), "абвгде");
        EXPECT_EQ(form.Count(ctl::NameEn, Notify::EditChange), 6);
        port.SetLimitText(ctl::NameRu, 3);
        Type(ctl::NameRu, "a\U0001F30Bbc");  // a character outside the 16-bit range counts once
        EXPECT_EQ(port.Text(ctl::NameRu), "a\xF0\x9F\x8C\x8B" "b");
    });
    form.Run();
}

TEST(QtTyping, AnEditThatDoesNotScrollStopsTakingKeysAtItsRightEdge) {
    Recorder form([&] {
        auto& port = Port();
        // The texts the form's narrow boxes must hold, as typed.
        const struct {
            int id;
            const char* typed;
        } fits[] = {{kChanZ1, "bhz"}, {kChanZ1, "bhz_01"}, {kChanZ1, "shz001"}, {ctl::SampleRate(1), "200.000"},
                    {ctl::SensorType(1), "sts-2 ёщ"}, {ctl::SensorType(1), "cmg-3t"}, {ctl::GroupCount, "7"}};
        for (const auto& f : fits) {
            port.SetText(f.id, "");
            Type(f.id, f.typed);
            EXPECT_EQ(EditOf(f.id)->text(), QString::fromUtf8(f.typed).toUpper()) << f.typed << " in " << f.id;
        }
        // More keys than the box shows: the text stops inside its box.
        for (int id : {kChanZ1, ctl::SampleRate(1), ctl::SensorType(1), ctl::IntlCode}) {
            port.SetText(id, "");
            Type(id, QString(40, u'W'));
            auto* edit = qobject_cast<platform::qt::FieldEdit*>(EditOf(id));
            ASSERT_NE(edit, nullptr);
            EXPECT_LT(edit->text().size(), 40) << id;
            EXPECT_LE(edit->fontMetrics().horizontalAdvance(edit->text()), edit->TextRoom()) << id;
            EXPECT_GT(edit->fontMetrics().horizontalAdvance(edit->text() + "W"), edit->TextRoom()) << id;
        }
        // A box that scrolls takes any length.
        Type(ctl::NameEn, QString(45, u'W'));
        EXPECT_EQ(port.Text(ctl::NameEn), std::string(45, 'W'));
    });
    form.Run();
}

TEST(QtTyping, TextOverTheLimitFromTheProgramCanStillBeShortened) {
    Recorder form([&] {
        auto& port = Port();
        port.SetLimitText(kChanZ1, 6);
        port.SetText(kChanZ1, "ABCDEFG");
        EditOf(kChanZ1)->setFocus();
        EditOf(kChanZ1)->end(false);
        QTest::keyClick(EditOf(kChanZ1), Qt::Key_H);
        EXPECT_EQ(port.Text(kChanZ1), "ABCDEFG");
        QTest::keyClick(EditOf(kChanZ1), Qt::Key_Backspace);
        EXPECT_EQ(port.Text(kChanZ1), "ABCDEF");
    });
    form.Run();
}

TEST(QtTyping, NoLimitMeansAnyLength) {
    Recorder form([&] {
        Type(ctl::StationCode, "abcdefghijk");
        EXPECT_EQ(Port().Text(ctl::StationCode), "ABCDEFGHIJK");
    });
    form.Run();
}

TEST(QtTyping, CapitalsAsTypedForLatinAndCyrillicInCapitalBoxesOnly) {
    Recorder form([&] {
        auto& port = Port();
        Type(ctl::SensorType(1), "sts-2 ёщ");
        EXPECT_EQ(port.Text(ctl::SensorType(1)), "STS-2 ЁЩ");
        Type(ctl::CentralPoint, "мос");
        EXPECT_EQ(port.Text(ctl::CentralPoint), "МОС");
        Type(ctl::NameEn, "Kiev");
        EXPECT_EQ(port.Text(ctl::NameEn), "Kiev");
        Type(ctl::LocCode(1), "xx");
        EXPECT_EQ(port.Text(ctl::LocCode(1)), "xx");
        // Typing into the middle keeps the cursor where the key went.
        EditOf(ctl::SensorType(1))->setCursorPosition(3);
        Keys(EditOf(ctl::SensorType(1)), "x");
        EXPECT_EQ(port.Text(ctl::SensorType(1)), "STSX-2 ЁЩ");
        EXPECT_EQ(EditOf(ctl::SensorType(1))->cursorPosition(), 4);
    });
    form.Run();
}

TEST(QtTyping, DigitsOnlyRefusesOtherKeys) {
    Recorder form([&] {
        Type(ctl::GroupCount, "1a-2 ,3я");
        EXPECT_EQ(Port().Text(ctl::GroupCount), "123");
        EXPECT_EQ(form.Count(ctl::GroupCount, Notify::EditChange), 3);
        Key(ctl::GroupCount, Qt::Key_Backspace);  // editing keys still work
        EXPECT_EQ(Port().Text(ctl::GroupCount), "12");
        Type(ctl::Latitude, "-1.5");
        EXPECT_EQ(Port().Text(ctl::Latitude), "-1.5");
    });
    form.Run();
}

TEST(QtKeys, EnterAnywhereIsOkAndEscIsCancel) {
    Recorder form(
        [&] {
            Key(ctl::Latitude, Qt::Key_Return);
            EXPECT_EQ(form.oks, 1);
            Key(ctl::StationCode, Qt::Key_Enter, Qt::KeypadModifier);
            EXPECT_EQ(form.oks, 2);
            Port().Widget(ctl::Save)->setFocus();
            QTest::keyClick(Port().Widget(ctl::Save), Qt::Key_Return);
            EXPECT_EQ(form.oks, 3);
            Key(ctl::NameRu, Qt::Key_Escape);
            EXPECT_EQ(form.cancels, 1);
            EXPECT_TRUE(Port().Dialog()->isVisible());  // the form decides when to close
            Port().Dialog()->close();                   // the close box
            EXPECT_EQ(form.cancels, 2);
            EXPECT_TRUE(Port().Dialog()->isVisible());
            EXPECT_TRUE(form.commands.empty());
        },
        false);
    form.Run();
}

TEST(QtKeys, ButtonsReachTheirHandlers) {
    Recorder form(
        [&] {
            auto click = [](int id) { QTest::mouseClick(Port().Widget(id), Qt::LeftButton); };
            click(ctl::Save);
            EXPECT_EQ(form.oks, 1);
            click(ctl::Delete);
            EXPECT_EQ(form.Count(ctl::Delete, Notify::Clicked), 1);
            click(ctl::ResponseButton(20));
            EXPECT_EQ(form.Count(ctl::ResponseButton(20), Notify::Clicked), 1);
            Port().Enable(ctl::Delete, false);
            EXPECT_FALSE(Port().IsEnabled(ctl::Delete));
            click(ctl::Delete);
            EXPECT_EQ(form.Count(ctl::Delete, Notify::Clicked), 1);
            click(ctl::Leave);
            EXPECT_EQ(form.cancels, 1);
        },
        true);
    EXPECT_EQ(form.Run(), platform::IDCANCEL);
}

TEST(QtKeys, TabFollowsTheOrderOfTheTemplate) {
    std::vector<int> expected;
    for (const auto& c : res::StationFormTemplate().controls)
        if (c.styles & res::TabStop) expected.push_back(c.id);
    std::vector<int> visited;
    Recorder form([&] {
        Port().FocusAndSelectAll(ctl::StationCode);
        for (std::size_t i = 0; i < expected.size(); ++i) {
            QWidget* focus = QApplication::focusWidget();
            int id = 0;
            for (int candidate : expected)
                if (Port().Widget(candidate) == focus || EditOf(candidate) == focus) id = candidate;
            visited.push_back(id);
            QTest::keyClick(focus, Qt::Key_Tab);
        }
        EXPECT_EQ(QApplication::focusWidget(), EditOf(ctl::StationCode))  // round to the start
            << QApplication::focusWidget()->metaObject()->className();
    });
    form.Run();
    EXPECT_EQ(visited, expected);
}

TEST(QtKeys, CtrlZUndoesTheFieldsTypingFirstThenReachesTheFormOncePerPressNotPerRepeat) {
    Recorder form([&] {
        Type(ctl::NameEn, "ab");
        QLineEdit* edit = EditOf(ctl::NameEn);
        for (int i = 0; i < 5 && edit->isUndoAvailable(); ++i) Key(ctl::NameEn, Qt::Key_Z, Qt::ControlModifier);
        EXPECT_EQ(Port().Text(ctl::NameEn), "");
        EXPECT_EQ(form.undos, 0) << "typing left to undo keeps Ctrl+Z in the field";
        Key(ctl::NameEn, Qt::Key_Z, Qt::ControlModifier);
        EXPECT_EQ(form.undos, 1);
        QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Z, Qt::ControlModifier, QString(), true);
        QApplication::sendEvent(edit, &repeat);
        EXPECT_EQ(form.undos, 1) << "a held key's repeats";
        Key(ctl::StationCode, Qt::Key_Z, Qt::ControlModifier);
        Key(ctl::Save, Qt::Key_Z, Qt::ControlModifier);
        EXPECT_EQ(form.undos, 3) << "the station box's field and a button";
    });
    form.Run();
}

TEST(QtComboList, KeepsEntriesSortedAndCapitalsInCapitalBoxes) {
    Recorder form([&] {
        auto& port = Port();
        EXPECT_EQ(port.AddString(ctl::StationCode, "kiv"), 0);
        EXPECT_EQ(port.AddString(ctl::StationCode, "aru"), 0);
        EXPECT_EQ(port.AddString(ctl::StationCode, "мос"), 2);
        EXPECT_EQ(port.AddString(ctl::StationCode, "KIV"), 2);  // after the equal one already there
        EXPECT_EQ(port.GetCount(ctl::StationCode), 4);
        EXPECT_EQ(port.GetLBText(ctl::StationCode, 0), "ARU");
        EXPECT_EQ(port.GetLBText(ctl::StationCode, 1), "KIV");
        EXPECT_EQ(port.GetLBText(ctl::StationCode, 3), "МОС");
        EXPECT_EQ(port.GetLBText(ctl::StationCode, 4), "");
        for (const char* code : {"??", "00", "10", "XX", "aa"}) port.AddString(ctl::LocCode(1), code);
        EXPECT_EQ(port.GetLBText(ctl::LocCode(1), 0), "00");
        EXPECT_EQ(port.GetLBText(ctl::LocCode(1), 3), "aa");  // not a capitals box
        EXPECT_EQ(port.GetLBText(ctl::LocCode(1), 4), "XX");
    });
    form.Run();
}

TEST(QtComboList, AddingManyAtOnceOrdersAsAddingOneByOne) {
    Recorder form([&] {
        auto& port = Port();
        const std::vector<std::string> present = {"kiv", "Abc", "обн"};
        const std::vector<std::string> added = {"ABC", "abc", "Ёж", "еж", "", "KIV", "a", "Обн", "zz", "ab"};
        for (int id : {ctl::StationCode, ctl::LocCode(1)}) {
            auto entries = [&] {
                std::vector<std::string> all;
                for (int i = 0; i < port.GetCount(id); ++i) all.push_back(port.GetLBText(id, i));
                return all;
            };
            for (const std::string& text : present) port.AddString(id, text);
            for (const std::string& text : added) port.AddString(id, text);
            const std::vector<std::string> oneByOne = entries();
            port.ResetContent(id);
            port.AddStrings(id, present);
            port.AddStrings(id, added);
            EXPECT_EQ(entries(), oneByOne) << id;
        }
    });
    form.Run();
}

TEST(QtComboList, FindsByPrefixRegardlessOfCaseFromAfterTheStartWrappingRound) {
    Recorder form([&] {
        auto& port = Port();
        for (const char* code : {"ABC", "ABD", "МОСК", "МОЖ", "XYZ"}) port.AddString(ctl::StationCode, code);
        // ABC ABD XYZ МОЖ МОСК: Latin letters come before Cyrillic ones
        EXPECT_EQ(port.FindString(ctl::StationCode, -1, "ab"), 0);
        EXPECT_EQ(port.FindString(ctl::StationCode, 0, "ab"), 1);
        EXPECT_EQ(port.FindString(ctl::StationCode, 1, "ab"), 0);
        EXPECT_EQ(port.FindString(ctl::StationCode, 4, "ab"), 0);
        EXPECT_EQ(port.FindString(ctl::StationCode, 99, "ab"), 0);
        EXPECT_EQ(port.FindString(ctl::StationCode, -1, "мос"), 4);
        EXPECT_EQ(port.FindString(ctl::StationCode, -1, "мо"), 3);
        EXPECT_EQ(port.FindString(ctl::StationCode, 3, "мо"), 4);
        EXPECT_EQ(port.FindString(ctl::StationCode, 4, "мо"), 3);
        EXPECT_EQ(port.FindString(ctl::StationCode, -1, "abcd"), platform::CB_ERR);
        EXPECT_EQ(port.FindString(ctl::StationCode, -1, "B"), platform::CB_ERR);
        EXPECT_EQ(port.FindString(ctl::CentralPoint, -1, ""), platform::CB_ERR);  // empty list
    });
    form.Run();
}

TEST(QtComboList, SelectionRulesAndResetEmptyTheEditField) {
    Recorder form([&] {
        auto& port = Port();
        port.AddString(ctl::StationCode, "KIV");
        port.AddString(ctl::StationCode, "OBN");
        EXPECT_EQ(port.SetCurSel(ctl::StationCode, 1), 1);
        EXPECT_EQ(port.Text(ctl::StationCode), "OBN");
        port.AddString(ctl::StationCode, "ARU");  // the selection stays on its entry
        EXPECT_EQ(port.GetCurSel(ctl::StationCode), 2);
        EXPECT_EQ(port.SetCurSel(ctl::StationCode, 3), platform::CB_ERR);
        EXPECT_EQ(port.Text(ctl::StationCode), "");
        EXPECT_EQ(port.GetCurSel(ctl::StationCode), platform::CB_ERR);
        port.SetCurSel(ctl::StationCode, 0);
        EXPECT_EQ(port.SetCurSel(ctl::StationCode, -1), platform::CB_ERR);
        EXPECT_EQ(port.Text(ctl::StationCode), "");
        port.SetCurSel(ctl::StationCode, 0);
        port.ResetContent(ctl::StationCode);
        EXPECT_EQ(port.Text(ctl::StationCode), "");
        EXPECT_EQ(port.GetCount(ctl::StationCode), 0);
        EXPECT_EQ(port.GetCurSel(ctl::StationCode), platform::CB_ERR);
        // Adding to an empty list never selects.
        port.SetText(ctl::StationCode, "TYPED");
        port.AddString(ctl::StationCode, "FIRST");
        EXPECT_EQ(port.Text(ctl::StationCode), "TYPED");
        EXPECT_EQ(port.GetCurSel(ctl::StationCode), platform::CB_ERR);
    });
    form.Run();
}

TEST(QtComboList, OperationsOnControlsThatAreNotListsAnswerNoEntry) {
    Recorder form([&] {
        auto& port = Port();
        EXPECT_EQ(port.AddString(ctl::Latitude, "x"), platform::CB_ERR);
        EXPECT_EQ(port.GetCount(ctl::Latitude), platform::CB_ERR);
        EXPECT_EQ(port.SetCurSel(9999, 0), platform::CB_ERR);
        EXPECT_EQ(port.Text(9999), "");
        port.SetText(9999, "ignored");
    });
    form.Run();
}

TEST(QtIconButton, HoldsItsTextUnseenAndShowsItAsTooltip) {
    Recorder form([&] {
        auto& port = Port();
        const int id = ctl::ResponseButton(ctl::CellIndex(4, 0));
        port.SetText(id, "bhz<1>&.rsp");
        port.SetToolTip(id, "bhz<1>&.rsp");
        EXPECT_EQ(port.Text(id), "bhz<1>&.rsp");
        auto* button = qobject_cast<QPushButton*>(port.Widget(id));
        ASSERT_NE(button, nullptr);
        EXPECT_TRUE(button->text().isEmpty());
        EXPECT_FALSE(button->icon().isNull());
        EXPECT_TRUE(button->toolTip().contains("bhz&lt;1&gt;&amp;.rsp"));
        EXPECT_EQ(form.Count(id, Notify::Clicked), 0);
    });
    form.Run();
}

TEST(QtWindow, BuiltFromTheTemplateScaledByTheFontAndCentred) {
    Recorder form([&] {
        QDialog* dialog = Port().Dialog();
        const auto& tmpl = res::StationFormTemplate();
        EXPECT_EQ(dialog->windowTitle(), QString::fromUtf8(tmpl.caption));
        const platform::qt::DialogUnits units(dialog->font());
        EXPECT_EQ(dialog->size(), QSize(units.X(tmpl.width), units.Y(tmpl.height)));
        EXPECT_EQ(dialog->minimumSize(), dialog->maximumSize());
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        EXPECT_LE((dialog->geometry().center() - screen.center()).manhattanLength(), 4);
        EXPECT_FALSE(dialog->windowIcon().isNull());
        auto* save = qobject_cast<QPushButton*>(Port().Widget(ctl::Save));
        ASSERT_NE(save, nullptr);
        EXPECT_TRUE(save->isDefault());
        EXPECT_EQ(Port().Text(ctl::Save), "Записать в БД");
        for (const auto& c : tmpl.controls)
            if (c.id >= 0) {
                EXPECT_NE(Port().Widget(c.id), nullptr) << c.id;
            }
    });
    form.Run();
}

TEST(QtWindow, EndingInsideInitialisationAnswersWithoutShowing) {
    Recorder form(nullptr);
    form.onInit = [] { Port().EndDialog(42); };
    EXPECT_EQ(form.Run(), 42);
    EXPECT_EQ(Port().Dialog(), nullptr);
}

// Run also at QT_SCALE_FACTOR=2, where the form is larger than the screen.
TEST(QtWindow, FitsTheScreenItOpensOnWithEveryButtonReachable) {
    Recorder form([&] {
        QDialog* dialog = Port().Dialog();
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        EXPECT_TRUE(screen.contains(dialog->frameGeometry())) << dialog->frameGeometry().width() << "x"
                                                               << dialog->frameGeometry().height();
        auto* scroll = dialog->findChild<QScrollArea*>();
        ASSERT_NE(scroll, nullptr);
        for (int id : {ctl::Save, ctl::Delete, platform::IDCANCEL}) {
            QWidget* button = Port().Widget(id);
            scroll->ensureWidgetVisible(button, 0, 0);
            const QRect shown(button->mapTo(dialog, QPoint(0, 0)), button->size());
            EXPECT_TRUE(dialog->rect().contains(shown)) << id;
        }
    });
    form.Run();
}

TEST(QtWindow, DialogUnitsFollowTheFont) {
    Port();  // fonts need the application
    QFont small = QApplication::font();
    small.setPixelSize(10);
    QFont large = small;
    large.setPixelSize(20);
    const platform::qt::DialogUnits a(small), b(large);
    EXPECT_GT(b.X(468), a.X(468) * 3 / 2);
    EXPECT_GT(b.Y(252), a.Y(252) * 3 / 2);
    EXPECT_EQ(a.Rect(10, 10, 20, 8).right() + 1, a.X(30));
}

TEST(QtBoxes, MessageBoxCaptionIconButtonsAndAnswers) {
    auto& port = Port();
    EXPECT_EQ(port.AppTitle(), "qt_dialog_port_test");
    QString title, text;
    QMessageBox::Icon icon{};
    auto answer = [&](QMessageBox::StandardButton press) {
        QTimer::singleShot(0, [&, press] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            title = box->windowTitle();
            text = box->text();
            icon = box->icon();
            if (press == QMessageBox::Escape)
                QTest::keyClick(box, Qt::Key_Escape);
            else
                box->button(press)->click();
        });
    };
    answer(QMessageBox::Cancel);
    EXPECT_EQ(port.MessageBox("<b>Удалить?</b>", "", platform::Buttons::OkCancel, platform::Icon::Default),
              platform::Answer::Cancel);
    EXPECT_EQ(title, "qt_dialog_port_test");
    EXPECT_EQ(text, "<b>Удалить?</b>");
    EXPECT_EQ(icon, QMessageBox::Warning);
    answer(QMessageBox::Escape);
    EXPECT_EQ(port.MessageBox("x", "Внимание!", platform::Buttons::OkCancel, platform::Icon::Exclamation),
              platform::Answer::Cancel);
    EXPECT_EQ(title, "Внимание!");
    answer(QMessageBox::Ok);
    EXPECT_EQ(port.MessageBox("err", "", platform::Buttons::Ok, platform::Icon::Stop), platform::Answer::Ok);
    EXPECT_EQ(icon, QMessageBox::Critical);
    answer(QMessageBox::Escape);
    EXPECT_EQ(port.MessageBox("err", "", platform::Buttons::Ok, platform::Icon::Stop), platform::Answer::Ok);
    answer(QMessageBox::Ok);
    EXPECT_EQ(port.MessageBox("news", "", platform::Buttons::Ok, platform::Icon::Information), platform::Answer::Ok);
    EXPECT_EQ(icon, QMessageBox::Information);
}

// A box nobody answers fails the test after the time limit instead of
// waiting for ever, and is closed as Esc closes it.
TEST(QtBoxes, ABoxNobodyAnswersFailsTheTestAndAnswersCancel) {
    platform::Answer answer = platform::Answer::Ok;
    EXPECT_NONFATAL_FAILURE(
        answer = Port().MessageBox("Удалить?", "", platform::Buttons::OkCancel, platform::Icon::Default),
        "stayed open");
    EXPECT_EQ(answer, platform::Answer::Cancel);
}

// Qt's own texts are Russian whatever the locale the tests run in.
TEST(QtBoxes, StandardButtonsAndEditMenusSpeakRussian) {
    auto& port = Port();
    QStringList buttons;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        for (QAbstractButton* button : box->buttons()) buttons << button->text().remove('&');
        box->button(QMessageBox::Cancel)->click();
    });
    port.MessageBox("?", "", platform::Buttons::OkCancel, platform::Icon::Default);
    EXPECT_TRUE(buttons.contains("Отмена")) << buttons.join(", ").toStdString();
    QLineEdit edit;
    std::unique_ptr<QMenu> menu(edit.createStandardContextMenu());
    QStringList actions;
    for (QAction* action : menu->actions()) actions << action->text().remove('&').section('\t', 0, 0);
    EXPECT_TRUE(actions.contains("Вставить")) << actions.join(", ").toStdString();
}

TEST(QtBoxes, FileDialogAcceptsANameThatNeedNotExist) {
    auto& port = Port();
    const QString folder = QDir::tempPath();
    QString title, shownFolder;
    QStringList filters;
    auto answer = [&](bool accept) {
        QTimer::singleShot(0, [&, accept] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            title = dialog->windowTitle();
            shownFolder = dialog->directory().absolutePath();
            filters = dialog->nameFilters();
            if (accept) {
                dialog->selectFile("no-such-file-here.rsp");
                static_cast<QDialog*>(dialog)->accept();
            } else {
                dialog->reject();
            }
        });
    };
    answer(true);
    auto chosen = port.ChooseFile("Выбрать файл с АЧХ (ABC BHZ)", folder.toStdString(), "old.rsp");
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(*chosen, (QDir(folder).absoluteFilePath("no-such-file-here.rsp")).toStdString());
    EXPECT_EQ(title, "Выбрать файл с АЧХ (ABC BHZ)");
    EXPECT_EQ(shownFolder, QDir(folder).absolutePath());
    EXPECT_EQ(filters, QStringList{"All files (*)"});
    answer(false);
    EXPECT_FALSE(port.ChooseFile("t", folder.toStdString(), "").has_value());
}
