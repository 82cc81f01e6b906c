#include "platform/qt/field_edit.h"

#include <QApplication>
#include <QKeyEvent>
#include <QStyle>
#include <QStyleOptionFrame>
#include <algorithm>

namespace platform::qt {
namespace {
// The pixels QLineEdit keeps free at each side of its text, inside its margins.
constexpr int kInnerMargin = 2;
}  // namespace

int CharacterCount(const QString& text) {
    int count = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) ++i;
        ++count;
    }
    return count;
}

// The validator through which every user change of the text passes: typing,
// pasting, dropping and input methods alike.
class FieldEdit::Rules : public QValidator {
public:
    explicit Rules(FieldEdit& edit) : QValidator(&edit), edit_(edit) {}
    State validate(QString& input, int& pos) const override { return edit_.Check(input, pos); }

private:
    FieldEdit& edit_;
};

FieldEdit::FieldEdit(QWidget* parent) : QLineEdit(parent) {
    setValidator(new Rules(*this));
    // Remember each accepted text: the limit compares against it, so that a
    // longer text the program put in can still be shortened by the user.
    // The current text, not the signal's: a change made from inside a
    // notification has already replaced it.
    connect(this, &QLineEdit::textChanged, this, [this] { lastText_ = text(); });
}

void FieldEdit::SetProgramText(const QString& text) {
    // The form may answer the change notification by setting the text again,
    // so the flag is restored rather than cleared.
    const bool outer = programChange_;
    programChange_ = true;
    setText(text);
    programChange_ = outer;
}

QValidator::State FieldEdit::Check(QString& input, int& pos) const {
    if (programChange_) return QValidator::Acceptable;
    if (upperCase_) {
        const QString upper = input.toUpper();
        if (upper != input) {
            pos = static_cast<int>(input.left(pos).toUpper().size());
            input = upper;
        }
    }
    if (limit_ > 0) {
        const int count = CharacterCount(input);
        if (count > limit_ && count > CharacterCount(lastText_)) return QValidator::Invalid;
    }
    if (stopsAtRightEdge_) {
        const int width = fontMetrics().horizontalAdvance(input);
        if (width > TextRoom() && width > fontMetrics().horizontalAdvance(lastText_)) return QValidator::Invalid;
    }
    return QValidator::Acceptable;
}

void FieldEdit::SetStopsAtRightEdge(bool on) {
    stopsAtRightEdge_ = on;
    setTextMargins(on ? -kInnerMargin : 0, 0, on ? -kInnerMargin : 0, 0);
}

int FieldEdit::TextRoom() const {
    QStyleOptionFrame option;
    initStyleOption(&option);
    const QRect contents =
        style()->subElementRect(QStyle::SE_LineEditContents, &option, this).marginsRemoved(textMargins());
    return contents.width() - 2 * kInnerMargin;
}

void FieldEdit::keyPressEvent(QKeyEvent* event) {
    // Ctrl+Z with no typing left to undo goes on to the window, which offers
    // to undo the form's last change instead.
    if (event->matches(QKeySequence::Undo) && !isUndoAvailable()) {
        event->ignore();
        return;
    }
    if (digitsOnly_ && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
        const QString typed = event->text();
        const bool printable = !typed.isEmpty() && typed.front().isPrint();
        if (printable && std::any_of(typed.begin(), typed.end(), [](QChar c) { return c < u'0' || c > u'9'; })) {
            QApplication::beep();
            event->accept();
            return;
        }
    }
    QLineEdit::keyPressEvent(event);
}

}  // namespace platform::qt

