#pragma once
// The in-memory dialog that form tests drive as a user would: type into a
// control, pick a list entry, press a button, answer message boxes and the
// file dialog.

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/dialog_port.h"
#include "platform/sorted_entries.h"
#include "resources/form_template.h"

namespace platform {

// A message box the form showed, and the answer it got.
struct ShownMessage {
    std::string text;
    std::string caption;  // as shown: the application's title when none was given
    Buttons buttons;
    Icon icon;
    Answer answer;
};

// A file dialog the form showed, and the answer it got.
struct ShownFileDialog {
    std::string title;
    std::string folder;
    std::string initialName;
    std::optional<std::string> answer;
};

// The control with the keyboard focus and whether its whole text is selected.
struct FocusState {
    int id = 0;
    bool allSelected = false;
};

// DialogPort in memory, with the controls of the station form's template and
// the rules of the Qt port: an edit notifies EditChange whenever its text
// changes (also by the program) and never when it stays the same; program
// changes of combo boxes never notify; lists stay sorted. User actions raise
// the notifications a user's action raises.
class FakeDialogPort : public DialogPort {
public:
    using Action = std::function<void(FakeDialogPort&)>;

    explicit FakeDialogPort(std::string appTitle = "station-editor");

    // Driving the dialog as a user.

    // Builds the controls, calls OnInitDialog and returns with the dialog open.
    void Open(DialogEvents& events);
    // What RunModal does after opening: the actions in order, while the dialog
    // is open. A dialog still open after the last action answers -1.
    void SetScript(std::vector<Action> actions) { script_ = std::move(actions); }
    bool IsOpen() const { return events_ != nullptr; }
    // The value given to EndDialog, if it was called.
    std::optional<int> Result() const { return result_; }

    // Types the text key by key at the end of the control's text (replacing it
    // when all of it is selected). "\b" is the backspace key. Each key obeys
    // the typing limit, digits only, capitals and, in an edit that does not
    // scroll, the box's right edge (widths as fake::TextWidth measures them); each key that changes the
    // text notifies EditChange (edit) or ComboEditChange (combo box). Answers
    // false when the control is disabled.
    bool TypeKeys(int id, const std::string& text);
    // Selects the whole text and types the new one over it.
    bool ReplaceText(int id, const std::string& text);
    // Picks list entry `index`: selection and edit field, then ComboSelChange.
    bool PickEntry(int id, int index);
    // Presses a button: 1 is OnOK, 2 OnCancel, others Clicked. False when disabled.
    bool Press(int id);
    void PressEnter();     // the default button
    void PressEsc();       // cancel
    void PressCloseBox();  // cancel
    // Ctrl+Z: the focused edit or combo box takes back its last typing (one
    // TypeKeys or ReplaceText, notifying as typing does) when it has typing
    // left that the program has not replaced since; otherwise OnUndoKey.
    void PressUndo();

    // Answers for the coming boxes and file dialogs. A box with only an OK
    // button is answered Ok without taking from the queue; an empty queue
    // answers Ok, and an empty file queue cancels.
    void QueueAnswer(Answer answer) { answers_.push_back(answer); }
    void QueueFile(std::optional<std::string> path) { files_.push_back(std::move(path)); }
    const std::vector<ShownMessage>& Messages() const { return messages_; }
    const std::vector<ShownFileDialog>& FileDialogs() const { return fileDialogs_; }
    void ClearMessages() { messages_.clear(); }

    // What the controls show.
    FocusState Focus() const { return focus_; }
    std::string ToolTip(int id) const;
    int Limit(int id) const;
    std::vector<std::string> Entries(int id) const;

    // DialogPort
    int RunModal(DialogEvents& events) override;
    void EndDialog(int result) override;
    std::string Text(int id) const override;
    void SetText(int id, const std::string& text) override;
    void Enable(int id, bool enabled) override;
    bool IsEnabled(int id) const override;
    void SetLimitText(int id, int characters) override;
    void FocusAndSelectAll(int id) override;
    void SetToolTip(int id, const std::string& text) override;
    void ResetContent(int id) override;
    int AddString(int id, const std::string& text) override;
    void AddStrings(int id, const std::vector<std::string>& texts) override;
    int GetCount(int id) const override;
    int FindString(int id, int start, const std::string& prefix) const override;
    int SetCurSel(int id, int index) override;
    int GetCurSel(int id) const override;
    std::string GetLBText(int id, int index) const override;
    Answer MessageBox(const std::string& text, const std::string& caption, Buttons buttons, Icon icon) override;
    std::optional<std::string> ChooseFile(const std::string& title, const std::string& folder,
                                          const std::string& initialName) override;
    std::string AppTitle() const override { return appTitle_; }

private:
    struct Control {
        res::ControlKind kind;
        unsigned styles;
        int width;  // in dialog units
        std::string text;
        bool enabled = true;
        int limit = 0;
        std::string toolTip;
        SortedEntries entries;
        int curSel = CB_ERR;
        std::vector<std::string> typedOver;  // the texts before each typing, oldest first
    };

    Control& At(int id);
    const Control& At(int id) const;
    Control& Combo(int id);
    const Control& Combo(int id) const;
    void RequireOpen(const char* action) const;
    // One key typed into the control; answers whether the text changed.
    bool TypeKey(int id, Control& c, const std::string& key);
    void NotifyTyped(int id, const Control& c);

    std::string appTitle_;
    std::map<int, Control> controls_;
    DialogEvents* events_ = nullptr;
    std::optional<int> result_;
    std::vector<Action> script_;
    FocusState focus_;
    std::deque<Answer> answers_;
    std::deque<std::optional<std::string>> files_;
    std::vector<ShownMessage> messages_;
    std::vector<ShownFileDialog> fileDialogs_;
};

}  // namespace platform
