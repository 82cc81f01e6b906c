#pragma once
// The dialog layer the form talks to: controls addressed by number, change
// notifications, message boxes and the file-open dialog. Implemented with Qt
// for the program and in memory for tests.

#include <optional>
#include <string>
#include <vector>

namespace platform {

// The notifications a control raises towards the form.
enum class Notify {
    EditChange,       // an edit's text changed (typed or set by the program)
    ComboEditChange,  // the user typed into a combo box's edit field
    ComboSelChange,   // the user picked another entry of a combo box's list
    Clicked,          // a push button was pressed
};

// Buttons of a message box.
enum class Buttons { Ok, OkCancel };

// Icon of a message box. Default is the exclamation icon, as a box that
// names no icon shows; Information is for news that is not a fault.
enum class Icon { Default, Stop, Exclamation, Information };

// The user's answer to a message box.
enum class Answer { Ok, Cancel };

// What the dialog calls back into: the form's handlers.
class DialogEvents {
public:
    virtual ~DialogEvents() = default;
    // After the controls exist; answers true to let the platform focus the
    // first control in tab order.
    virtual bool OnInitDialog() = 0;
    // A control notification.
    virtual void OnCommand(int controlId, Notify notification) = 0;
    // Enter or the default button (control 1).
    virtual void OnOK() = 0;
    // Esc, the close box or button 2.
    virtual void OnCancel() = 0;
    // Ctrl+Z that the focused control had no typing of its own left to undo
    // (an edit undoes its typing first). Raised for a press, never for the
    // repeats of a held key, so that one press is one step.
    virtual void OnUndoKey() {}
};

// Result codes of a modal dialog.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
// What combo operations answer for "no entry".
inline constexpr int CB_ERR = -1;

// One modal form built from the template, plus the application's boxes.
class DialogPort {
public:
    virtual ~DialogPort() = default;

    // Builds the form from the template, calls OnInitDialog and runs until
    // EndDialog; answers the value given to EndDialog.
    virtual int RunModal(DialogEvents& events) = 0;
    virtual void EndDialog(int result) = 0;

    // Text of any control; for a combo box the text of its edit field.
    virtual std::string Text(int id) const = 0;
    // Sets the text. An edit notifies EditChange when the text differs from
    // the old one; a combo box never notifies a program change.
    virtual void SetText(int id, const std::string& text) = 0;
    virtual void Enable(int id, bool enabled) = 0;
    virtual bool IsEnabled(int id) const = 0;
    // Typing limit in characters (0: no limit).
    virtual void SetLimitText(int id, int characters) = 0;
    // Focus on the control with its whole text selected.
    virtual void FocusAndSelectAll(int id) = 0;
    // Tooltip of a control (the response buttons show their file there).
    virtual void SetToolTip(int id, const std::string& text) = 0;

    // Combo boxes. Lists are kept sorted; entries are stored in capitals when
    // the box is an upper-case one.
    virtual void ResetContent(int id) = 0;          // also empties the edit field
    virtual int AddString(int id, const std::string& text) = 0;  // answers the index
    // Adds many entries at once, with the order AddString one by one gives.
    virtual void AddStrings(int id, const std::vector<std::string>& texts) {
        for (const std::string& text : texts) AddString(id, text);
    }
    virtual int GetCount(int id) const = 0;
    // First entry at or after start+1 (wrapping) that begins with prefix,
    // regardless of case; start -1 searches from the top. CB_ERR if none.
    virtual int FindString(int id, int start, const std::string& prefix) const = 0;
    // Selects the entry and puts its text into the edit field; -1 or an index
    // beyond the list selects nothing and empties the edit field. Answers the
    // selection or CB_ERR. Never notifies.
    virtual int SetCurSel(int id, int index) = 0;
    virtual int GetCurSel(int id) const = 0;
    virtual std::string GetLBText(int id, int index) const = 0;

    // A modal message box. Caption empty means the application's title.
    virtual Answer MessageBox(const std::string& text, const std::string& caption, Buttons buttons,
                              Icon icon) = 0;

    // The file-open dialog with the one filter "All files" (*). Answers the
    // full path chosen, which need not exist, or nullopt when cancelled.
    virtual std::optional<std::string> ChooseFile(const std::string& title, const std::string& folder,
                                                  const std::string& initialName) = 0;

    // The application's title: the executable's name.
    virtual std::string AppTitle() const = 0;
};

}  // namespace platform
