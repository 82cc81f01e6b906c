// The station form: construction, opening, the event table, and the guard
// every handler runs in.

#include "form/station_dlg.h"

#include <exception>

#include "resources/string_table.h"

namespace {

// Entries every LocCode list offers when the form opens, in this order.
constexpr const char* kLocCodeEntries[] = {"??", "00", "10", "XX"};

}  // namespace

CStationDlg::CStationDlg(platform::DialogPort& port, FormEnvironment env)
    : port_(port), env_(std::move(env)), fields_(FormFields::Defaults(env_.startStationCode)) {}

CStationDlg::~CStationDlg() = default;

int CStationDlg::DoModal() { return port_.RunModal(*this); }

bool CStationDlg::OnInitDialog() {
    Guarded([this] {
        for (int g = 1; g <= ctl::GroupCountMax; ++g)
            for (const char* entry : kLocCodeEntries) port_.AddString(ctl::LocCode(g), entry);
        // The defaults first, then the start station as the database holds it.
        ExchangeFields(Exchange::Show);
        FillStationLists();
        LoadStation(fields_.StationCode);
        ExchangeFields(Exchange::Show);
    });
    return true;
}

void CStationDlg::OnCommand(int controlId, platform::Notify notification) {
    using platform::Notify;
    // Buttons 1 and 2 normally arrive as OnOK and OnCancel; a port that sends
    // them as clicks reaches the same handlers.
    if (notification == Notify::Clicked && controlId == ctl::Save) return OnOK();
    if (notification == Notify::Clicked && controlId == ctl::Leave) return OnCancel();
    Guarded([&] {
        if (controlId == ctl::StationCode && notification == Notify::ComboEditChange) {
            OnStationCodeEditChange();
        } else if (controlId == ctl::StationCode && notification == Notify::ComboSelChange) {
            OnStationCodeSelChange();
        } else if (controlId == ctl::GroupCount && notification == Notify::EditChange) {
            OnGroupCountChanged();
        } else if (controlId == ctl::Delete && notification == Notify::Clicked) {
            DeleteStation();
        } else if (notification == Notify::Clicked && controlId >= ctl::ResponseButton(0) &&
                   controlId < ctl::ResponseButton(ctl::CellCount)) {
            const int cell = controlId - ctl::ResponseButton(0);
            ChooseResponseFile(controlId, fields_.ChanName[static_cast<size_t>(cell)]);
        }
    });
}

void CStationDlg::OnOK() {
    Guarded([this] { SaveStation(); });
}

void CStationDlg::OnCancel() { port_.EndDialog(platform::IDCANCEL); }

void CStationDlg::Guarded(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const CDBException& e) {
        ShowDbError(e);
    } catch (const std::exception& e) {
        // Not a database error, but ending the handler keeps the form and the
        // operator's typing alive instead of ending the program.
        port_.MessageBox(e.what(), port_.AppTitle(), platform::Buttons::Ok, platform::Icon::Stop);
    }
}

void CStationDlg::ShowDbError(const CDBException& e) {
    // Errors of the database layer itself carry no driver text; their number
    // is then all the operator can report.
    const std::string text =
        e.ErrorText.empty() ? LoadString(str::DatabaseError) + std::to_string(e.RetCode) : e.ErrorText;
    port_.MessageBox(text, port_.AppTitle(), platform::Buttons::Ok, platform::Icon::Stop);
}

void CStationDlg::AppMessage(const std::string& text, platform::Icon icon) {
    port_.MessageBox(text, port_.AppTitle(), platform::Buttons::Ok, icon);
}
