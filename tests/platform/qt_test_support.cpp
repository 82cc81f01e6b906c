#include "tests/platform/qt_test_support.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <gtest/gtest.h>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include <unistd.h>

namespace qt_test {

namespace {

// Fails the running test when a message box or a file dialog stays open
// longer than kBoxLimitMs, and closes it as Esc does (a question answers
// Cancel), so that a test which forgot to answer a box ends instead of waiting
// for ever. Tests answer their boxes within milliseconds.
void WatchModalBoxes() {
    auto* timer = new QTimer(qApp);
    struct Seen {
        QPointer<QWidget> box;
        QElapsedTimer since;
    };
    auto seen = std::make_shared<Seen>();
    QObject::connect(timer, &QTimer::timeout, [seen] {
        QWidget* modal = QApplication::activeModalWidget();
        auto* box = qobject_cast<QMessageBox*>(modal);
        auto* files = qobject_cast<QFileDialog*>(modal);
        if (box == nullptr && files == nullptr) return;
        if (seen->box != modal) {
            seen->box = modal;
            seen->since.start();
            return;
        }
        if (seen->since.elapsed() < kBoxLimitMs) return;
        seen->box = nullptr;
        ADD_FAILURE() << "a modal box stayed open for " << kBoxLimitMs / 1000
                      << " s: " << (box ? box->text() : files->windowTitle()).toStdString();
        if (box && box->escapeButton())
            box->escapeButton()->click();
        else
            static_cast<QDialog*>(modal)->reject();
    });
    timer->start(100);
}

}  // namespace

platform::QtDialogPort& Port() {
    static int argc = 1;
    static char name[] = "qt_dialog_port_test";
    static char* argv[] = {name, nullptr};
    static platform::QtDialogPort* port = [] {
        // The offscreen platform with one 1280x1024 screen (its default is
        // 800x600, smaller than the form), so that QT_SCALE_FACTOR=2 gives
        // the 640x512 of a 1280x1024 screen at 200 %.
        const char* platform = std::getenv("QT_QPA_PLATFORM");
        std::string config;
        if (platform == nullptr || std::string(platform) == "offscreen") {
            config = std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") + "/se-offscreen-" +
                     std::to_string(getpid()) + ".json";
            std::ofstream(config) << R"({"screens": [{"name": "screen", "x": 0, "y": 0, "width": 1280,)"
                                     R"( "height": 1024, "logicalDpi": 96, "logicalBaseDpi": 96}]})";
            setenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + config).c_str(), 1);
        }
        auto* created = new platform::QtDialogPort(argc, argv);
        if (!config.empty()) std::remove(config.c_str());  // read while the application started
        WatchModalBoxes();
        return created;
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
