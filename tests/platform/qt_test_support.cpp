#include "tests/platform/qt_test_support.h"

#include <QDialog>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <gtest/gtest.h>
#include <cstdlib>

namespace qt_test {

platform::QtDialogPort& Port() {
    static int argc = 1;
    static char name[] = "qt_dialog_port_test";
    static char* argv[] = {name, nullptr};
    static platform::QtDialogPort* port = [] {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        return new platform::QtDialogPort(argc, argv);
    }();
    return *port;
}

bool Recorder::OnInitDialog() {
    if (onInit) onInit();
    // Tied to the window, so a form that ends before it shows never runs it.
    QTimer::singleShot(0, Port().Dialog(), [this] {
        QDialog* window = Port().Dialog();
        window->activateWindow();
        if (!QTest::qWaitForWindowActive(window)) ADD_FAILURE() << "the form's window never became active";
        if (body_) body_();
        if (!ended) {
            ended = true;
            Port().EndDialog(platform::IDOK);
        }
    });
    return true;
}

void Recorder::OnCommand(int controlId, platform::Notify notification) {
    commands.emplace_back(controlId, notification);
}

void Recorder::OnCancel() {
    ++cancels;
    if (closeOnCancel_ && !ended) {
        ended = true;
        Port().EndDialog(platform::IDCANCEL);
    }
}

int Recorder::Run() {
    ended = false;
    return Port().RunModal(*this);
}

int Recorder::Count(int id, platform::Notify notification) const {
    return static_cast<int>(std::count(commands.begin(), commands.end(), std::make_pair(id, notification)));
}

}  // namespace qt_test
