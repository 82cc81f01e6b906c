// Deleting a station from SITECHAN and SITE after the user's confirmation.

#include "db/session.h"
#include "form/operation_session.h"
#include "form/station_dlg.h"
#include "resources/string_table.h"
#include "station/station_store.h"

void CStationDlg::DeleteStation() {
    const std::string code = fields_.StationCode;
    const int position = port_.FindString(ctl::StationCode, -1, code);

    if (!AskChanged(str::DeleteQuestion, code)) return;

    auto session = OpenOperationSession(env_);
    if (!session) {
        const std::string connect = env_.connectString ? env_.connectString() : std::string();
        AppMessage(FormatString(str::DatabaseOpenError, MaskPassword(connect)), platform::Icon::Exclamation);
        return;
    }
    // Both deletions commit together or not at all (the store's transaction);
    // a station changed since loading is deleted only when the user agrees.
    StationStore store(*session);
    if (env_.storeSeam) store.afterReRead = env_.storeSeam;
    const StoreOutcome outcome = store.Delete(code, loaded_, [this](const std::string& changed) {
        return AskChanged(str::DeleteChangedQuestion, changed);
    });
    if (outcome == StoreOutcome::Cancelled) return;
    if (outcome == StoreOutcome::NoTransaction) {
        AppMessage(LoadString(str::TransactionError), platform::Icon::Exclamation);
        return;
    }
    changes_.Record(code, ChangeKind::Deleted, store.LastEntry());

    FillStationLists();
    port_.SetCurSel(ctl::StationCode, position + 1);
    fields_.StationCode = port_.Text(ctl::StationCode);
    LoadStation(fields_.StationCode);
    session.reset();
    ExchangeFields(Exchange::Show);
    // The focus leaves the delete button, where a Return held a moment too
    // long would go on to delete the station just loaded.
    port_.FocusAndSelectAll(ctl::StationCode);
}
