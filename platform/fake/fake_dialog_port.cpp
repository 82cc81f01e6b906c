#include "platform/fake/fake_dialog_port.h"

#include <stdexcept>

#include "platform/fake/characters.h"
#include "text/text.h"

namespace platform {
namespace {

using res::ControlKind;

bool IsEdit(ControlKind k) { return k == ControlKind::Edit; }
bool IsCombo(ControlKind k) { return k == ControlKind::ComboBox; }
bool IsButton(ControlKind k) {
    return k == ControlKind::PushButton || k == ControlKind::DefPushButton || k == ControlKind::IconButton;
}
bool IsDigit(const std::string& key) { return key.size() == 1 && key[0] >= '0' && key[0] <= '9'; }

std::logic_error Misuse(const std::string& what, int id) {
    return std::logic_error("fake dialog: " + what + " (control " + std::to_string(id) + ")");
}

}  // namespace

FakeDialogPort::FakeDialogPort(std::string appTitle) : appTitle_(std::move(appTitle)) {}

void FakeDialogPort::Open(DialogEvents& events) {
    if (IsOpen()) throw std::logic_error("fake dialog: already open");
    controls_.clear();
    result_.reset();
    focus_ = {};
    int firstTabStop = 0;
    for (const res::ControlTemplate& t : res::StationFormTemplate().controls) {
        if (t.id < 0) continue;
        Control c{t.kind, t.styles, t.width, t.text ? t.text : "", (t.styles & res::Disabled) == 0, 0, {}, {}, CB_ERR, {}};
        if (IsEdit(t.kind) || IsCombo(t.kind)) c.text.clear();
        controls_.emplace(t.id, std::move(c));
        if (firstTabStop == 0 && (t.styles & res::TabStop)) firstTabStop = t.id;
    }
    events_ = &events;
    if (events.OnInitDialog() && IsOpen()) focus_ = {firstTabStop, false};
}

int FakeDialogPort::RunModal(DialogEvents& events) {
    Open(events);
    for (const Action& action : script_) {
        if (!IsOpen()) break;
        action(*this);
    }
    if (IsOpen()) {
        events_ = nullptr;
        return -1;
    }
    return *result_;
}

void FakeDialogPort::EndDialog(int result) {
    result_ = result;
    events_ = nullptr;
}

void FakeDialogPort::RequireOpen(const char* action) const {
    if (!IsOpen()) throw std::logic_error(std::string("fake dialog: ") + action + " while the dialog is closed");
}

FakeDialogPort::Control& FakeDialogPort::At(int id) {
    auto it = controls_.find(id);
    if (it == controls_.end()) throw Misuse("no such control", id);
    return it->second;
}

const FakeDialogPort::Control& FakeDialogPort::At(int id) const {
    auto it = controls_.find(id);
    if (it == controls_.end()) throw Misuse("no such control", id);
    return it->second;
}

FakeDialogPort::Control& FakeDialogPort::Combo(int id) {
    Control& c = At(id);
    if (!IsCombo(c.kind)) throw Misuse("not a combo box", id);
    return c;
}

const FakeDialogPort::Control& FakeDialogPort::Combo(int id) const {
    const Control& c = At(id);
    if (!IsCombo(c.kind)) throw Misuse("not a combo box", id);
    return c;
}

// ---- user actions ----

bool FakeDialogPort::TypeKey(int id, Control& c, const std::string& key) {
    const bool replace = focus_.id == id && focus_.allSelected;
    std::string base = replace ? std::string() : c.text;
    std::string next;
    if (key == "\b") {
        if (!replace) {
            std::vector<std::string> chars = fake::SplitCharacters(base);
            if (!chars.empty()) chars.pop_back();
            for (const std::string& ch : chars) next += ch;
        }
    } else {
        if ((c.styles & res::DigitsOnly) && !IsDigit(key)) return false;
        if (c.limit > 0 && text::CharCount(base) >= static_cast<std::size_t>(c.limit)) return false;
        next = base + ((c.styles & res::UpperCase) ? text::ToUpper(key) : key);
        // An edit that does not scroll takes no key once the text would pass
        // its right edge.
        if (IsEdit(c.kind) && (c.styles & res::AutoHScroll) == 0 &&
            fake::TextWidth(next) > fake::TextRoom(c.width))
            return false;
    }
    focus_.allSelected = false;
    if (next == c.text) return false;
    c.text = std::move(next);
    return true;
}

void FakeDialogPort::NotifyTyped(int id, const Control& c) {
    events_->OnCommand(id, IsCombo(c.kind) ? Notify::ComboEditChange : Notify::EditChange);
}

bool FakeDialogPort::TypeKeys(int id, const std::string& text) {
    RequireOpen("typing");
    Control& c = At(id);
    if (!IsEdit(c.kind) && !IsCombo(c.kind)) throw Misuse("typing into a control that takes no text", id);
    if (!c.enabled) return false;
    if (focus_.id != id) focus_ = {id, false};
    c.typedOver.push_back(c.text);
    for (const std::string& key : fake::SplitCharacters(text)) {
        if (!IsOpen()) break;
        if (TypeKey(id, c, key)) NotifyTyped(id, c);
    }
    return true;
}

bool FakeDialogPort::ReplaceText(int id, const std::string& text) {
    RequireOpen("typing");
    Control& c = At(id);
    if (!IsEdit(c.kind) && !IsCombo(c.kind)) throw Misuse("typing into a control that takes no text", id);
    if (!c.enabled) return false;
    focus_ = {id, true};
    if (text.empty()) {
        // Select all and delete.
        c.typedOver.push_back(c.text);
        if (TypeKey(id, c, "\b")) NotifyTyped(id, c);
        return true;
    }
    return TypeKeys(id, text);
}

bool FakeDialogPort::PickEntry(int id, int index) {
    RequireOpen("picking");
    Control& c = Combo(id);
    if (!c.enabled) return false;
    if (index < 0 || index >= c.entries.Size()) throw Misuse("picking an entry the list does not hold", id);
    focus_ = {id, false};
    c.curSel = index;
    c.text = c.entries.Text(index);
    c.typedOver.clear();
    events_->OnCommand(id, Notify::ComboSelChange);
    return true;
}

bool FakeDialogPort::Press(int id) {
    RequireOpen("pressing");
    Control& c = At(id);
    if (!IsButton(c.kind)) throw Misuse("pressing a control that is not a button", id);
    if (!c.enabled) return false;
    focus_ = {id, false};
    if (id == IDOK)
        events_->OnOK();
    else if (id == IDCANCEL)
        events_->OnCancel();
    else
        events_->OnCommand(id, Notify::Clicked);
    return true;
}

void FakeDialogPort::PressEnter() {
    RequireOpen("pressing Enter");
    if (At(IDOK).enabled) events_->OnOK();
}

void FakeDialogPort::PressEsc() {
    RequireOpen("pressing Esc");
    events_->OnCancel();
}

void FakeDialogPort::PressUndo() {
    RequireOpen("pressing Ctrl+Z");
    auto it = controls_.find(focus_.id);
    if (it != controls_.end() && (IsEdit(it->second.kind) || IsCombo(it->second.kind))) {
        Control& c = it->second;
        // Typing that changed nothing leaves nothing to undo.
        while (!c.typedOver.empty() && c.typedOver.back() == c.text) c.typedOver.pop_back();
        if (!c.typedOver.empty()) {
            c.text = std::move(c.typedOver.back());
            c.typedOver.pop_back();
            focus_.allSelected = false;
            NotifyTyped(focus_.id, c);
            return;
        }
    }
    events_->OnUndoKey();
}

void FakeDialogPort::PressCloseBox() {
    RequireOpen("closing");
    events_->OnCancel();
}

// ---- what the controls show ----

std::string FakeDialogPort::ToolTip(int id) const { return At(id).toolTip; }
int FakeDialogPort::Limit(int id) const { return At(id).limit; }

std::vector<std::string> FakeDialogPort::Entries(int id) const {
    const Control& c = Combo(id);
    std::vector<std::string> out;
    out.reserve(static_cast<std::size_t>(c.entries.Size()));
    for (int i = 0; i < c.entries.Size(); ++i) out.push_back(c.entries.Text(i));
    return out;
}

// ---- DialogPort ----

std::string FakeDialogPort::Text(int id) const { return At(id).text; }

void FakeDialogPort::SetText(int id, const std::string& text) {
    Control& c = At(id);
    c.typedOver.clear();  // as a program's text ends a Qt edit's undo history
    if (c.text == text) return;
    c.text = text;
    if (IsEdit(c.kind) && IsOpen()) events_->OnCommand(id, Notify::EditChange);
}

void FakeDialogPort::Enable(int id, bool enabled) { At(id).enabled = enabled; }
bool FakeDialogPort::IsEnabled(int id) const { return At(id).enabled; }

void FakeDialogPort::SetLimitText(int id, int characters) {
    Control& c = At(id);
    if (!IsEdit(c.kind) && !IsCombo(c.kind)) throw Misuse("a typing limit for a control that takes no text", id);
    c.limit = characters < 0 ? 0 : characters;
}

void FakeDialogPort::FocusAndSelectAll(int id) {
    At(id);
    focus_ = {id, true};
}

void FakeDialogPort::SetToolTip(int id, const std::string& text) { At(id).toolTip = text; }

void FakeDialogPort::ResetContent(int id) {
    Control& c = Combo(id);
    c.entries.Clear();
    c.curSel = CB_ERR;
    c.text.clear();
    c.typedOver.clear();
}

int FakeDialogPort::AddString(int id, const std::string& text) {
    Control& c = Combo(id);
    std::string entry = (c.styles & res::UpperCase) ? text::ToUpper(text) : text;
    // Ordered as the Qt port orders: by the case-folded text, then by the
    // exact text, then by the order of adding.
    std::string key = text::ToLower(entry) + '\0' + entry;
    const int index = (c.styles & res::Sorted) ? c.entries.Insert(std::move(entry), std::move(key))
                                               : c.entries.Append(std::move(entry), std::move(key));
    if (c.curSel != CB_ERR && index <= c.curSel) ++c.curSel;
    return index;
}

void FakeDialogPort::AddStrings(int id, const std::vector<std::string>& texts) {
    Control& c = Combo(id);
    // A selection would have to follow every insertion: one by one then.
    if (!(c.styles & res::Sorted) || c.curSel != CB_ERR) return DialogPort::AddStrings(id, texts);
    std::vector<std::pair<std::string, std::string>> entries;
    entries.reserve(texts.size());
    for (const std::string& text : texts) {
        std::string entry = (c.styles & res::UpperCase) ? text::ToUpper(text) : text;
        std::string key = text::ToLower(entry) + '\0' + entry;
        entries.emplace_back(std::move(entry), std::move(key));
    }
    c.entries.InsertMany(std::move(entries));
}

int FakeDialogPort::GetCount(int id) const { return Combo(id).entries.Size(); }

int FakeDialogPort::FindString(int id, int start, const std::string& prefix) const {
    const int found = Combo(id).entries.FindPrefix(start, text::ToLower(prefix));
    return found < 0 ? CB_ERR : found;
}

int FakeDialogPort::SetCurSel(int id, int index) {
    Control& c = Combo(id);
    c.typedOver.clear();
    if (index < 0 || index >= c.entries.Size()) {
        c.curSel = CB_ERR;
        c.text.clear();
        return CB_ERR;
    }
    c.curSel = index;
    c.text = c.entries.Text(index);
    return index;
}

int FakeDialogPort::GetCurSel(int id) const { return Combo(id).curSel; }

std::string FakeDialogPort::GetLBText(int id, int index) const {
    const Control& c = Combo(id);
    if (index < 0 || index >= c.entries.Size()) return {};
    return c.entries.Text(index);
}

Answer FakeDialogPort::MessageBox(const std::string& text, const std::string& caption, Buttons buttons, Icon icon) {
    Answer answer = Answer::Ok;
    if (buttons == Buttons::OkCancel && !answers_.empty()) {
        answer = answers_.front();
        answers_.pop_front();
    }
    messages_.push_back({text, caption.empty() ? appTitle_ : caption, buttons, icon, answer});
    return answer;
}

std::optional<std::string> FakeDialogPort::ChooseFile(const std::string& title, const std::string& folder,
                                                      const std::string& initialName) {
    std::optional<std::string> answer;
    if (!files_.empty()) {
        answer = files_.front();
        files_.pop_front();
    }
    fileDialogs_.push_back({title, folder, initialName, answer});
    return answer;
}

}  // namespace platform
