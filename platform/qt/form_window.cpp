#include "platform/qt/form_window.h"

#include <QApplication>
#include <QFrame>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QStyle>
#include <QTimer>
#include <QtGui/qpa/qwindowsysteminterface.h>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

#include "platform/qt/dialog_units.h"
#include "platform/qt/field_edit.h"
#include "platform/qt/list_combo.h"

namespace platform::qt {
namespace {

using res::ControlKind;

QFrame* MakeRule(QWidget* parent, QFrame::Shape shape) {
    auto* frame = new QFrame(parent);
    frame->setFrameShape(shape);
    frame->setFrameShadow(QFrame::Sunken);
    return frame;
}

}  // namespace

FormWindow::FormWindow(const res::DialogTemplate& form, const QIcon& icon, FormCallbacks callbacks)
    : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowCloseButtonHint),
      callbacks_(std::move(callbacks)) {
    setWindowTitle(QString::fromUtf8(form.caption));
    setWindowIcon(icon);
    setFont(QApplication::font());
    const DialogUnits units(font());
    page_ = new QWidget;
    page_->setFixedSize(units.X(form.width), units.Y(form.height));
    for (const res::ControlTemplate& control : form.controls) AddControl(control, units);
    // Frames go beneath the controls they enclose.
    for (auto* group : page_->findChildren<QGroupBox*>(QString(), Qt::FindDirectChildrenOnly)) group->lower();
    scroll_ = new QScrollArea(this);
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setFocusPolicy(Qt::NoFocus);  // Tab goes from control to control only
    scroll_->setWidget(page_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(scroll_);
    setFixedSize(page_->size());
    for (std::size_t i = 1; i < tabOrder_.size(); ++i) QWidget::setTabOrder(tabOrder_[i - 1], tabOrder_[i]);
    if (tabOrder_.size() > 1) QWidget::setTabOrder(tabOrder_.back(), tabOrder_.front());
}

void FormWindow::AddControl(const res::ControlTemplate& control, const DialogUnits& units) {
    QWidget* const page = page_;
    const int id = control.id;
    const QString text = QString::fromUtf8(control.text);
    QRect rect = units.Rect(control.x, control.y, control.width, control.height);
    Control c;
    c.kind = control.kind;
    switch (control.kind) {
    case ControlKind::Label: {
        c.label = new QLabel(text, page);
        c.label->setTextFormat(Qt::PlainText);
        c.label->setWordWrap(true);
        c.label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        c.widget = c.label;
        break;
    }
    case ControlKind::Edit: {
        c.edit = new FieldEdit(page);
        c.edit->SetUpperCase(control.styles & res::UpperCase);
        c.edit->SetDigitsOnly(control.styles & res::DigitsOnly);
        c.edit->SetStopsAtRightEdge((control.styles & res::AutoHScroll) == 0);
        connect(c.edit, &QLineEdit::textChanged, this, [this, id] { Notification(id, Notify::EditChange); });
        c.widget = c.edit;
        break;
    }
    case ControlKind::ComboBox: {
        c.combo = new ListCombo(control.styles & res::UpperCase, page);
        connect(c.combo, &ListCombo::userEdited, this, [this, id] { ComboEdited(id); });
        connect(c.combo, &ListCombo::userPicked, this, [this, id] { Notification(id, Notify::ComboSelChange); });
        c.widget = c.combo;
        break;
    }
    case ControlKind::PushButton:
    case ControlKind::DefPushButton:
    case ControlKind::IconButton: {
        c.button = new QPushButton(page);
        c.button->setAutoDefault(true);
        if (control.kind == ControlKind::IconButton) {
            c.button->setIcon(style()->standardIcon(QStyle::SP_FileIcon));
            const int side = std::max(8, std::min(rect.width(), rect.height()) - 6);
            c.button->setIconSize(QSize(side, side));
            c.heldText = text;
        } else {
            c.button->setText(text);
            c.button->setDefault(control.kind == ControlKind::DefPushButton);
        }
        connect(c.button, &QPushButton::clicked, this, [this, id] {
            RaiseHeldEditChange();
            if (id == IDOK)
                callbacks_.ok();
            else if (id == IDCANCEL)
                callbacks_.cancel();
            else
                callbacks_.command(id, Notify::Clicked);
        });
        c.widget = c.button;
        break;
    }
    case ControlKind::GroupBox:
        c.group = new QGroupBox(text, page);
        c.widget = c.group;
        break;
    case ControlKind::Frame: {
        auto* frame = MakeRule(page, QFrame::Box);
        c.widget = frame;
        break;
    }
    case ControlKind::HRule:
        c.widget = MakeRule(page, QFrame::HLine);
        rect.setHeight(std::max(rect.height(), 2));
        break;
    case ControlKind::VRule:
        c.widget = MakeRule(page, QFrame::VLine);
        rect.setWidth(std::max(rect.width(), 2));
        break;
    }
    c.widget->setGeometry(rect);
    if (control.styles & res::Disabled) c.widget->setEnabled(false);
    // A combo box takes the focus in its edit field; the box itself only
    // passes it on.
    QWidget* focusable = c.combo ? &c.combo->Edit() : (c.edit || c.button) ? c.widget : nullptr;
    if (c.combo) c.combo->setFocusPolicy(Qt::NoFocus);
    if (focusable) {
        focusable->setFocusPolicy(control.styles & res::TabStop ? Qt::StrongFocus : Qt::ClickFocus);
        if (control.styles & res::TabStop) tabOrder_.push_back(focusable);
    }
    if (id >= 0) controls_.emplace(id, c);
}

Control* FormWindow::Find(int id) {
    auto it = controls_.find(id);
    return it == controls_.end() ? nullptr : &it->second;
}

const Control* FormWindow::Find(int id) const {
    auto it = controls_.find(id);
    return it == controls_.end() ? nullptr : &it->second;
}

void FormWindow::FocusFirst() {
    if (!tabOrder_.empty()) tabOrder_.front()->setFocus(Qt::TabFocusReason);
}

void FormWindow::keyPressEvent(QKeyEvent* event) {
    if (!event->matches(QKeySequence::Undo)) return QDialog::keyPressEvent(event);
    event->accept();
    if (event->isAutoRepeat() || !callbacks_.undo) return;
    RaiseHeldEditChange();
    callbacks_.undo();
}

void FormWindow::reject() {
    RaiseHeldEditChange();
    callbacks_.cancel();
}

namespace {
// Loop passes a held edit change waits for the queue to empty at most: a
// stream of other window-system events must not hold it for ever.
constexpr int kMaxHeldPasses = 50;
}  // namespace

void FormWindow::Notification(int id, Notify notification) {
    RaiseHeldEditChange();
    callbacks_.command(id, notification);
}

void FormWindow::ComboEdited(int id) {
    if (heldEditChange_ != id) RaiseHeldEditChange();
    const unsigned serial = ++editSerial_;
    if (QWindowSystemInterface::windowSystemEventsQueued() == 0) {
        heldEditChange_ = -1;  // this change supersedes a held one of the same box
        callbacks_.command(id, Notify::ComboEditChange);
        return;
    }
    heldEditChange_ = id;
    HoldEditChange(serial, 0);
}

void FormWindow::HoldEditChange(unsigned serial, int passes) {
    // A zero timer runs after the events already queued have been delivered
    // (or, by the dispatcher's order, just before them: then it waits for one
    // more pass).
    QTimer::singleShot(0, this, [this, serial, passes] {
        if (serial != editSerial_ || heldEditChange_ < 0) return;  // superseded, or raised already
        if (QWindowSystemInterface::windowSystemEventsQueued() > 0 && passes < kMaxHeldPasses) {
            HoldEditChange(serial, passes + 1);
            return;
        }
        RaiseHeldEditChange();
    });
}

void FormWindow::RaiseHeldEditChange() {
    const int id = std::exchange(heldEditChange_, -1);
    if (id >= 0) callbacks_.command(id, Notify::ComboEditChange);
}

void FormWindow::FitInto(const QRect& area) {
    // Room for the window manager's frame and title bar around the window.
    const int title = style()->pixelMetric(QStyle::PM_TitleBarHeight);
    const int frame = 2 * style()->pixelMetric(QStyle::PM_DefaultFrameWidth) + 8;
    const QSize room(std::max(1, area.width() - frame), std::max(1, area.height() - frame - title));
    const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    const QSize page = page_->size();
    // A scroll bar in one direction takes room from the other: two passes.
    bool across = false, down = false;
    for (int pass = 0; pass < 2; ++pass) {
        across = page.width() + (down ? bar : 0) > room.width();
        down = page.height() + (across ? bar : 0) > room.height();
    }
    setFixedSize((page + QSize(down ? bar : 0, across ? bar : 0)).boundedTo(room));
    // Centred, but never with its frame beyond the area.
    const QSize outer = size() + QSize(frame, frame + title);
    QPoint corner = area.center() - rect().center();
    corner.setX(std::clamp(corner.x(), area.left(), std::max(area.left(), area.right() + 1 - outer.width())));
    corner.setY(std::clamp(corner.y(), area.top(), std::max(area.top(), area.bottom() + 1 - outer.height())));
    move(corner);
}

}  // namespace platform::qt
