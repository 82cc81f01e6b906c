#pragma once
// Shared pieces of the Qt port's tests: one port for the whole test program
// on the offscreen platform, and a form double that records what it is told.

#include <functional>
#include <utility>
#include <vector>

#include "platform/qt/qt_dialog_port.h"

namespace qt_test {

// How long a message box or a file dialog may stay open before the test
// fails and the box is closed as Esc closes it.
constexpr int kBoxLimitMs = 5000;

// The port, created on first use with QT_QPA_PLATFORM=offscreen unless the
// environment names another platform; it watches the boxes with the limit
// above.
platform::QtDialogPort& Port();

// A form double: records notifications, OK and cancel; the body runs once
// the window is up and showing, and the form is closed after it unless the
// body closed it.
class Recorder : public platform::DialogEvents {
public:
    explicit Recorder(std::function<void()> body, bool closeOnCancel = true)
        : body_(std::move(body)), closeOnCancel_(closeOnCancel) {}

    bool OnInitDialog() override;
    void OnCommand(int controlId, platform::Notify notification) override;
    void OnOK() override { ++oks; }
    void OnCancel() override;
    void OnUndoKey() override { ++undos; }

    // Runs the form modally; answers the value given to EndDialog.
    int Run();
    // Notifications of one control, and of one kind for one control.
    int Count(int id, platform::Notify notification) const;
    void Forget() { commands.clear(), oks = 0, cancels = 0; }

    std::vector<std::pair<int, platform::Notify>> commands;
    int oks = 0;
    int cancels = 0;
    int undos = 0;
    std::function<void()> onInit;  // runs inside OnInitDialog, before the window shows
    bool ended = false;

private:
    std::function<void()> body_;
    bool closeOnCancel_;
};

}  // namespace qt_test
