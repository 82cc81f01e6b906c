#pragma once
// A single-line edit with the typing rules of the form's edits: a limit in
// characters, capitals as typed, digits only; text set by the program passes
// unchanged.

#include <QLineEdit>
#include <QValidator>

namespace platform::qt {

// The edit used for the form's edits and for the edit fields of its combo boxes.
class FieldEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit FieldEdit(QWidget* parent);

    void SetUpperCase(bool on) { upperCase_ = on; }
    void SetDigitsOnly(bool on) { digitsOnly_ = on; }
    // Characters the user may type (0: no limit).
    void SetLimit(int characters) { limit_ = characters; }
    // Whether typing stops once the text would pass the box's right edge
    // (an edit that does not scroll its text). Such an edit shows its text
    // from the inside of its frame to the other side, without the two pixels
    // QLineEdit otherwise keeps free at each side.
    void SetStopsAtRightEdge(bool on);
    // The width in pixels the box has for its text.
    int TextRoom() const;
    // Puts in text as the program does: no capitals, no limit, and
    // textEdited is not raised (textChanged is, when the text differs).
    void SetProgramText(const QString& text);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    class Rules;
    friend class Rules;
    // Applies the typing rules to a text the user's input produced.
    QValidator::State Check(QString& input, int& pos) const;

    bool upperCase_ = false;
    bool digitsOnly_ = false;
    int limit_ = 0;
    bool stopsAtRightEdge_ = false;
    bool programChange_ = false;
    QString lastText_;  // the text before the change being checked
};

// Number of characters (code points) of a text.
int CharacterCount(const QString& text);

}  // namespace platform::qt
