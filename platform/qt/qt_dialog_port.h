#pragma once
// The dialog port on Qt Widgets: owns the application object, builds the
// station form from its template and raises the form's notifications exactly
// as the port promises.

#include <memory>

#include "platform/dialog_port.h"

class QDialog;
class QWidget;

namespace platform {

// The program's dialog layer.
class QtDialogPort : public DialogPort {
public:
    // Creates the Qt application; argc must outlive the port.
    QtDialogPort(int& argc, char** argv);
    ~QtDialogPort() override;
    QtDialogPort(const QtDialogPort&) = delete;
    QtDialogPort& operator=(const QtDialogPort&) = delete;

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
    std::string AppTitle() const override;

    // While the form is open: its window and the widget of a control (for a
    // combo box the whole box); nullptr otherwise. Tests drive them with real
    // input events.
    QDialog* Dialog() const;
    QWidget* Widget(int id) const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace platform
