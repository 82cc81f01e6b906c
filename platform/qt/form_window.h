#pragma once
// The form's window built from its template: one widget per control, the tab
// order of the table, and the notifications wired to callbacks.

#include <QDialog>
#include <QString>
#include <functional>
#include <map>
#include <vector>

#include "platform/dialog_port.h"
#include "resources/form_template.h"

class QLabel;
class QPushButton;
class QGroupBox;
class QScrollArea;

namespace platform::qt {

class DialogUnits;
class FieldEdit;
class ListCombo;

// One control of the window; exactly one of the widget pointers for its kind
// is set.
struct Control {
    res::ControlKind kind = res::ControlKind::Label;
    QWidget* widget = nullptr;
    FieldEdit* edit = nullptr;
    ListCombo* combo = nullptr;
    QPushButton* button = nullptr;  // push buttons and icon buttons
    QLabel* label = nullptr;
    QGroupBox* group = nullptr;
    QString heldText;  // an icon button's invisible text
};

// Where the window's events go.
struct FormCallbacks {
    std::function<void(int, Notify)> command;
    std::function<void()> ok;
    std::function<void()> cancel;  // Esc, the close box, button 2
    std::function<void()> undo;    // Ctrl+Z that no control took
};

// The dialog window of a template. The controls stand on a page of the
// template's fixed size inside a scroll area, so that a form larger than the
// screen (large fonts, high scaling) still shows every control.
class FormWindow : public QDialog {
    Q_OBJECT
public:
    FormWindow(const res::DialogTemplate& form, const QIcon& icon, FormCallbacks callbacks);

    Control* Find(int id);
    // Focus on the first control in tab order.
    void FocusFirst();
    const Control* Find(int id) const;

    // Esc and the close box arrive here; the form decides whether to close.
    void reject() override;

    // Sizes the window to its page, or, when the page is larger than `area`
    // (a screen's available geometry), to the area with scroll bars, and
    // centres it there.
    void FitInto(const QRect& area);

protected:
    // Ctrl+Z that reached the window: no control had typing to undo. A held
    // key's repeats are dropped, so that one press offers one step back.
    void keyPressEvent(QKeyEvent* event) override;

private:
    void AddControl(const res::ControlTemplate& control, const DialogUnits& units);

    // Type-ahead. A combo box's edit change is raised at once, unless more
    // input already waits in the window system's queue (the user typed faster
    // than the form answered): then it is held until that input is
    // delivered. A later edit of the box replaces it; the last one is always
    // raised, and a held one is raised before any other notification, so
    // that every other event finds the form loaded for the text in the box.
    void ComboEdited(int id);
    void Notification(int id, Notify notification);
    void HoldEditChange(unsigned serial, int passes);
    void RaiseHeldEditChange();

    FormCallbacks callbacks_;
    int heldEditChange_ = -1;  // the combo box whose edit change is held, -1 for none
    unsigned editSerial_ = 0;  // counts combo box edits
    QWidget* page_ = nullptr;
    QScrollArea* scroll_ = nullptr;
    std::map<int, Control> controls_;
    std::vector<QWidget*> tabOrder_;
};

}  // namespace platform::qt
