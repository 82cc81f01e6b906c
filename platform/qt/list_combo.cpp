#include "platform/qt/list_combo.h"

#include <QKeyEvent>
#include <QListView>
#include <QMouseEvent>
#include <QScreen>
#include <QStyleOptionComboBox>
#include <QStylePainter>
#include <algorithm>

#include "platform/qt/field_edit.h"

namespace platform::qt {

EntryModel::EntryModel(const SortedEntries& entries, QObject* parent)
    : QAbstractListModel(parent), entries_(entries) {}

int EntryModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : entries_.Count(); }

QVariant EntryModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole && role != Qt::EditRole) return {};
    auto text = entries_.At(index.row());
    return text ? QVariant(*text) : QVariant();
}

void EntryModel::Refresh() {
    beginResetModel();
    endResetModel();
}

namespace {

constexpr int kVisibleRows = 12;

QStyleOptionComboBox ComboOption(const QWidget& combo, bool open, bool focused) {
    QStyleOptionComboBox option;
    option.initFrom(&combo);
    option.editable = true;
    option.frame = true;
    option.subControls = QStyle::SC_All;
    if (open) option.state |= QStyle::State_On;
    if (focused) option.state |= QStyle::State_HasFocus;
    return option;
}

}  // namespace

ListCombo::ListCombo(bool upperCase, QWidget* parent)
    : QWidget(parent), upperCase_(upperCase), edit_(new FieldEdit(this)), model_(new EntryModel(entries_, this)) {
    edit_->SetUpperCase(upperCase);
    edit_->setFrame(false);
    edit_->installEventFilter(this);
    setFocusProxy(edit_);
    setAttribute(Qt::WA_Hover);
    connect(edit_, &QLineEdit::textEdited, this, [this] { emit userEdited(); });
}

void ListCombo::Clear() {
    entries_.Clear();
    selected_.reset();
    edit_->SetProgramText(QString());
}

int ListCombo::Add(const QString& text) { return entries_.Add(upperCase_ ? text.toUpper() : text); }

void ListCombo::AddMany(const QStringList& texts) {
    if (!upperCase_) return entries_.AddMany(texts);
    QStringList upper;
    upper.reserve(texts.size());
    for (const QString& text : texts) upper.push_back(text.toUpper());
    entries_.AddMany(upper);
}

int ListCombo::Select(int index) {
    selected_ = entries_.KeyAt(index);
    if (!selected_) {
        edit_->SetProgramText(QString());
        return -1;
    }
    edit_->SetProgramText(*entries_.At(index));
    return index;
}

int ListCombo::Selection() const { return selected_ ? entries_.IndexOf(*selected_) : -1; }

bool ListCombo::PopupVisible() const { return popup_ && popup_->isVisible(); }

void ListCombo::ShowPopup() {
    if (!popup_) {
        popup_ = new QListView(this);
        popup_->setWindowFlags(Qt::Popup);
        popup_->setAttribute(Qt::WA_NoMouseReplay);
        popup_->setUniformItemSizes(true);
        popup_->setEditTriggers(QAbstractItemView::NoEditTriggers);
        popup_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        popup_->setModel(model_);
        popup_->installEventFilter(this);
        connect(popup_, &QListView::clicked, this, [this](const QModelIndex& index) { Pick(index.row()); });
    }
    model_->Refresh();
    popup_->setFont(font());
    const int rows = std::clamp(Count(), 1, kVisibleRows);
    const int rowHeight = std::max(popup_->sizeHintForRow(0), fontMetrics().height() + 2);
    const int height = rows * rowHeight + 2 * popup_->frameWidth();
    QPoint below = mapToGlobal(QPoint(0, this->height()));
    if (const QScreen* screen = this->screen()) {
        const QRect area = screen->availableGeometry();
        if (below.y() + height > area.bottom()) below.setY(mapToGlobal(QPoint(0, 0)).y() - height);
    }
    popup_->setGeometry(QRect(below, QSize(width(), height)));
    int current = Selection();
    if (current < 0 && !edit_->text().isEmpty()) current = Find(-1, edit_->text());
    if (current >= 0) {
        popup_->setCurrentIndex(model_->index(current));
        popup_->scrollTo(model_->index(current), QAbstractItemView::PositionAtTop);
    }
    popup_->show();
    popup_->setFocus();
    update();
}

void ListCombo::HidePopup() {
    if (popup_) popup_->hide();
    update();
}

void ListCombo::Pick(int index) {
    HidePopup();
    edit_->setFocus();
    if (index < 0 || index >= Count()) return;
    Select(index);
    edit_->selectAll();
    emit userPicked();
}

void ListCombo::Step(int delta) {
    if (Count() == 0) return;
    const int current = Selection();
    const int next = current < 0 ? 0 : std::clamp(current + delta, 0, Count() - 1);
    if (next == current) return;
    Select(next);
    edit_->selectAll();
    emit userPicked();
}

void ListCombo::PlaceEdit() {
    const QStyleOptionComboBox option = ComboOption(*this, false, false);
    edit_->setGeometry(style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this));
}

void ListCombo::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    painter.drawComplexControl(QStyle::CC_ComboBox, ComboOption(*this, PopupVisible(), edit_->hasFocus()));
}

void ListCombo::resizeEvent(QResizeEvent*) { PlaceEdit(); }

void ListCombo::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !isEnabled()) return;
    if (PopupVisible())
        HidePopup();
    else
        ShowPopup();
}

bool ListCombo::eventFilter(QObject* watched, QEvent* event) {
    if (watched == edit_) {
        if (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut) update();
        if (event->type() == QEvent::KeyPress) {
            auto* key = static_cast<QKeyEvent*>(event);
            const bool alt = key->modifiers() & Qt::AltModifier;
            if (key->key() == Qt::Key_F4 || (alt && (key->key() == Qt::Key_Down || key->key() == Qt::Key_Up))) {
                ShowPopup();
                return true;
            }
            if (key->key() == Qt::Key_Down || key->key() == Qt::Key_Up) {
                Step(key->key() == Qt::Key_Down ? 1 : -1);
                return true;
            }
        }
    } else if (watched == popup_ && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        switch (key->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            Pick(popup_->currentIndex().isValid() ? popup_->currentIndex().row() : -1);
            return true;
        case Qt::Key_Escape:
        case Qt::Key_F4:
            HidePopup();
            edit_->setFocus();
            return true;
        default:
            break;
        }
    } else if (watched == popup_ && event->type() == QEvent::Hide) {
        update();
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace platform::qt
