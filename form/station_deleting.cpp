// Deleting a station from SITECHAN and SITE after the user's confirmation.

#include "db/session.h"
#include "db/sql_text.h"
#include "form/operation_session.h"
#include "form/station_dlg.h"
#include "resources/string_table.h"

namespace {

// The two deletions of a station, in the order they run.
std::string DeleteChannelsStatement(const std::string& code) {
    return "delete from SITECHAN where STA=" + SqlQuote(code);
}
std::string DeleteSiteStatement(const std::string& code) { return "delete from SITE where STA=" + SqlQuote(code); }

}  // namespace

void CStationDlg::DeleteStation() {
    const std::string code = fields_.StationCode;
    const int position = port_.FindString(ctl::StationCode, -1, code);

    const platform::Answer answer = port_.MessageBox(FormatString(str::DeleteQuestion, code),
                                                     LoadString(str::Attention), platform::Buttons::OkCancel,
                                                     platform::Icon::Exclamation);
    if (answer != platform::Answer::Ok) return;

    auto session = OpenOperationSession(env_);
    if (!session) {
        const std::string connect = env_.connectString ? env_.connectString() : std::string();
        AppMessage(FormatString(str::DatabaseOpenError, MaskPassword(connect)), platform::Icon::Exclamation);
        return;
    }
    // Each deletion commits on its own: the channel rows first, then the row.
    for (const std::string& sql : {DeleteChannelsStatement(code), DeleteSiteStatement(code)}) {
        if (!session->BeginTransaction()) {
            AppMessage(LoadString(str::TransactionError), platform::Icon::Exclamation);
            return;
        }
        try {
            session->ExecuteDirect(sql);
        } catch (const CDBException& e) {
            session->RollbackTransaction();
            ShowDbError(e);
            return;
        }
        if (const auto failure = CommitFailure(*session)) {
            AppMessage(*failure, platform::Icon::Stop);
            return;
        }
    }

    FillStationLists();
    port_.SetCurSel(ctl::StationCode, position + 1);
    fields_.StationCode = port_.Text(ctl::StationCode);
    LoadStation(fields_.StationCode);
    session.reset();
    ExchangeFields(Exchange::Show);
}
