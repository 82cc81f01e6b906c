#include "platform/qt/held_keys.h"

#include <QDialog>
#include <QKeyEvent>

namespace platform::qt {

int HeldKeys::Exec(QDialog& dialog) {
    const QPointer<QWidget> outer = dialog_;
    const std::set<int> outerHeld = heldAtOpen_;
    dialog_ = &dialog;
    heldAtOpen_ = down_;
    const int result = dialog.exec();
    dialog_ = outer;
    heldAtOpen_ = outerHeld;
    std::erase_if(heldAtOpen_, [this](int key) { return down_.count(key) == 0; });
    return result;
}

bool HeldKeys::InDialog(QObject* watched) const {
    if (!dialog_ || !watched->isWidgetType()) return false;
    auto* widget = static_cast<QWidget*>(watched);
    return widget == dialog_ || dialog_->isAncestorOf(widget);
}

bool HeldKeys::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type == QEvent::ApplicationDeactivate) {
        // Releases made in another application's window are never seen.
        down_.clear();
        heldAtOpen_.clear();
        return false;
    }
    if (type != QEvent::KeyPress && type != QEvent::KeyRelease) return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    // A held key repeats as auto-repeated releases and presses; only the
    // first press and the last release change what is down.
    if (!key->isAutoRepeat()) {
        if (type == QEvent::KeyPress) {
            down_.insert(key->key());
        } else {
            down_.erase(key->key());
            heldAtOpen_.erase(key->key());
        }
    }
    return type == QEvent::KeyPress && InDialog(watched) &&
           (key->isAutoRepeat() || heldAtOpen_.count(key->key()) != 0);
}

}  // namespace platform::qt
