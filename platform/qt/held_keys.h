#pragma once
// The keys held down, and boxes that a held key cannot answer. A box opened
// by a key press (Return on a button) would otherwise take the auto-repeat of
// that key as its answer, and a key held a moment longer would answer box
// after box.

#include <QObject>
#include <QPointer>
#include <set>

class QDialog;
class QWidget;

namespace platform::qt {

// Watches every key event of the application (install it as the
// application's event filter).
class HeldKeys : public QObject {
public:
    // Runs the dialog modally. While it is open it gets no auto-repeated key
    // press, and no press of a key that was down when it opened until that
    // key has been released. Meant for boxes that take no typing: a held
    // Backspace in a text field would not repeat.
    int Exec(QDialog& dialog);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool InDialog(QObject* watched) const;

    std::set<int> down_;          // pressed and not yet released
    QPointer<QWidget> dialog_;    // the dialog Exec runs, if any
    std::set<int> heldAtOpen_;    // keys down when it opened, not released since
};

}  // namespace platform::qt
