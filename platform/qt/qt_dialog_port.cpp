#include "platform/qt/qt_dialog_port.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QSvgRenderer>
#include <QTranslator>
#include <exception>

#include "platform/qt/field_edit.h"
#include "platform/qt/form_window.h"
#include "platform/qt/held_keys.h"
#include "platform/qt/list_combo.h"
#include "resources/form_template.h"

// The icon resource lives in this static library, so it is registered by hand.
static void RegisterIconResource() { Q_INIT_RESOURCE(app_icon); }

namespace platform {

using qt::Control;

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }
std::string S(const QString& text) { return text.toStdString(); }

// The program's icon, drawn from its SVG at the sizes window managers ask for.
QIcon AppIcon() {
    QSvgRenderer renderer(QStringLiteral(":/station-editor/app_icon.svg"));
    QIcon icon;
    if (!renderer.isValid()) return icon;
    for (int side : {16, 24, 32, 48, 64, 128, 256}) {
        QPixmap pixmap(side, side);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        renderer.render(&painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

std::string TitleFrom(int argc, char** argv) {
    if (argc < 1 || argv == nullptr || argv[0] == nullptr) return "station-editor";
    const QString name = QFileInfo(QString::fromLocal8Bit(argv[0])).completeBaseName();
    return name.isEmpty() ? "station-editor" : S(name);
}

}  // namespace

struct QtDialogPort::Impl {
    Impl(int& argc, char** argv) : app(argc, argv), title(TitleFrom(argc, argv)) {
        // Qt's own texts (standard buttons, the file dialog, the edit menus)
        // in the form's language whatever the desktop's locale; without the
        // translation file they stay English.
        if (qtTexts.load(QStringLiteral("qtbase_ru"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
            QCoreApplication::installTranslator(&qtTexts);
        app.installEventFilter(&heldKeys);
        RegisterIconResource();
        icon = AppIcon();
        QApplication::setWindowIcon(icon);
        QApplication::setApplicationName(Q(title));
    }

    // Hands a notification to the form. A failure the form did not answer
    // must not unwind through Qt's event loop: it is shown and the form stays.
    template <typename Call>
    void Deliver(Call&& call) {
        if (!events) return;
        try {
            call(*events);
        } catch (const std::exception& e) {
            ShowFailure(e.what());
        } catch (...) {
            ShowFailure("unknown failure");
        }
    }

    void ShowFailure(const std::string& what) {
        QMessageBox box(QMessageBox::Critical, Q(title), Q(what), QMessageBox::Ok, window.get());
        box.setTextFormat(Qt::PlainText);
        heldKeys.Exec(box);
    }

    Control* Find(int id) const { return window ? window->Find(id) : nullptr; }
    qt::ListCombo* Combo(int id) const {
        Control* c = Find(id);
        return c ? c->combo : nullptr;
    }

    QApplication app;
    qt::HeldKeys heldKeys;  // keeps a key held when a box opened from answering it
    QTranslator qtTexts;
    std::string title;
    QIcon icon;
    std::unique_ptr<qt::FormWindow> window;
    DialogEvents* events = nullptr;
    bool running = false;                // inside exec()
    std::optional<int> endedEarly;       // EndDialog before exec() began
};

QtDialogPort::QtDialogPort(int& argc, char** argv) : impl_(std::make_unique<Impl>(argc, argv)) {}

QtDialogPort::~QtDialogPort() = default;

int QtDialogPort::RunModal(DialogEvents& events) {
    Impl& d = *impl_;
    qt::FormCallbacks callbacks{
        [&d](int id, Notify n) { d.Deliver([&](DialogEvents& e) { e.OnCommand(id, n); }); },
        [&d] { d.Deliver([](DialogEvents& e) { e.OnOK(); }); },
        [&d] { d.Deliver([](DialogEvents& e) { e.OnCancel(); }); },
        [&d] { d.Deliver([](DialogEvents& e) { e.OnUndoKey(); }); },
    };
    d.window = std::make_unique<qt::FormWindow>(res::StationFormTemplate(), d.icon, std::move(callbacks));
    if (const QScreen* screen = QGuiApplication::primaryScreen()) d.window->FitInto(screen->availableGeometry());
    d.events = &events;
    d.endedEarly.reset();
    bool focusFirst = true;
    d.Deliver([&](DialogEvents& e) { focusFirst = e.OnInitDialog(); });
    int result = IDCANCEL;
    if (d.endedEarly) {
        result = *d.endedEarly;
    } else {
        if (focusFirst) d.window->FocusFirst();
        d.running = true;
        result = d.window->exec();
        d.running = false;
    }
    d.events = nullptr;
    d.window.reset();
    return result;
}

void QtDialogPort::EndDialog(int result) {
    Impl& d = *impl_;
    if (!d.window) return;
    if (d.running)
        d.window->done(result);
    else
        d.endedEarly = result;
}

std::string QtDialogPort::Text(int id) const {
    const Control* c = impl_->Find(id);
    if (!c) return {};
    if (c->edit) return S(c->edit->text());
    if (c->combo) return S(c->combo->Edit().text());
    if (c->kind == res::ControlKind::IconButton) return S(c->heldText);
    if (c->button) return S(c->button->text());
    if (c->label) return S(c->label->text());
    if (c->group) return S(c->group->title());
    return {};
}

void QtDialogPort::SetText(int id, const std::string& text) {
    Control* c = impl_->Find(id);
    if (!c) return;
    const QString value = Q(text);
    if (c->edit) {
        if (c->edit->text() != value) c->edit->SetProgramText(value);  // raises EditChange
    } else if (c->combo) {
        c->combo->Edit().SetProgramText(value);
    } else if (c->kind == res::ControlKind::IconButton) {
        c->heldText = value;
    } else if (c->button) {
        c->button->setText(value);
    } else if (c->label) {
        c->label->setText(value);
    } else if (c->group) {
        c->group->setTitle(value);
    }
}

void QtDialogPort::Enable(int id, bool enabled) {
    if (Control* c = impl_->Find(id)) c->widget->setEnabled(enabled);
}

bool QtDialogPort::IsEnabled(int id) const {
    const Control* c = impl_->Find(id);
    return c && c->widget->isEnabledTo(impl_->window.get());
}

void QtDialogPort::SetLimitText(int id, int characters) {
    Control* c = impl_->Find(id);
    if (!c) return;
    if (c->edit) c->edit->SetLimit(characters);
    if (c->combo) c->combo->Edit().SetLimit(characters);
}

void QtDialogPort::FocusAndSelectAll(int id) {
    Control* c = impl_->Find(id);
    if (!c) return;
    qt::FieldEdit* edit = c->edit ? c->edit : c->combo ? &c->combo->Edit() : nullptr;
    if (edit) {
        edit->setFocus(Qt::OtherFocusReason);
        edit->selectAll();
    } else {
        c->widget->setFocus(Qt::OtherFocusReason);
    }
}

void QtDialogPort::SetToolTip(int id, const std::string& text) {
    Control* c = impl_->Find(id);
    if (!c) return;
    // A file name is shown as it is, never read as markup.
    c->widget->setToolTip(text.empty() ? QString()
                                       : QStringLiteral("<p style='white-space:pre'>%1</p>").arg(Q(text).toHtmlEscaped()));
}

void QtDialogPort::ResetContent(int id) {
    if (auto* combo = impl_->Combo(id)) combo->Clear();
}

void QtDialogPort::AddStrings(int id, const std::vector<std::string>& texts) {
    auto* combo = impl_->Combo(id);
    if (combo == nullptr) return;
    QStringList list;
    list.reserve(static_cast<qsizetype>(texts.size()));
    for (const std::string& text : texts) list.push_back(Q(text));
    combo->AddMany(list);
}

int QtDialogPort::AddString(int id, const std::string& text) {
    auto* combo = impl_->Combo(id);
    return combo ? combo->Add(Q(text)) : CB_ERR;
}

int QtDialogPort::GetCount(int id) const {
    auto* combo = impl_->Combo(id);
    return combo ? combo->Count() : CB_ERR;
}

int QtDialogPort::FindString(int id, int start, const std::string& prefix) const {
    auto* combo = impl_->Combo(id);
    return combo ? combo->Find(start, Q(prefix)) : CB_ERR;
}

int QtDialogPort::SetCurSel(int id, int index) {
    auto* combo = impl_->Combo(id);
    return combo ? combo->Select(index) : CB_ERR;
}

int QtDialogPort::GetCurSel(int id) const {
    auto* combo = impl_->Combo(id);
    return combo ? combo->Selection() : CB_ERR;
}

std::string QtDialogPort::GetLBText(int id, int index) const {
    auto* combo = impl_->Combo(id);
    if (!combo) return {};
    auto entry = combo->Entry(index);
    return entry ? S(*entry) : std::string();
}

Answer QtDialogPort::MessageBox(const std::string& text, const std::string& caption, Buttons buttons, Icon icon) {
    const QMessageBox::Icon shown = icon == Icon::Stop          ? QMessageBox::Critical
                                    : icon == Icon::Information ? QMessageBox::Information
                                                                : QMessageBox::Warning;
    const QMessageBox::StandardButtons offered =
        buttons == Buttons::OkCancel ? QMessageBox::Ok | QMessageBox::Cancel : QMessageBox::StandardButtons(QMessageBox::Ok);
    QMessageBox box(shown, Q(caption.empty() ? impl_->title : caption), Q(text), offered, impl_->window.get());
    // Driver messages are shown as they are, never read as markup.
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::Ok);
    box.setEscapeButton(buttons == Buttons::OkCancel ? QMessageBox::Cancel : QMessageBox::Ok);
    impl_->heldKeys.Exec(box);
    return box.clickedButton() == box.button(QMessageBox::Cancel) ? Answer::Cancel : Answer::Ok;
}

std::optional<std::string> QtDialogPort::ChooseFile(const std::string& title, const std::string& folder,
                                                    const std::string& initialName) {
    QFileDialog dialog(impl_->window.get(), Q(title), Q(folder));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(QStringLiteral("All files (*)"));
    if (!initialName.empty()) dialog.selectFile(Q(initialName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return S(QFileInfo(dialog.selectedFiles().front()).absoluteFilePath());
}

std::string QtDialogPort::AppTitle() const { return impl_->title; }

QDialog* QtDialogPort::Dialog() const { return impl_->window.get(); }

QWidget* QtDialogPort::Widget(int id) const {
    const Control* c = impl_->Find(id);
    return c ? c->widget : nullptr;
}

}  // namespace platform
