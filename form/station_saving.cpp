// Saving a station: the SITE row, then its channel rows, then the refresh.

#include <ctime>
#include <optional>
#include <utility>

#include "db/sql_text.h"
#include "form/date_text.h"
#include "form/number_text.h"
#include "form/operation_session.h"
#include "form/site_statement.h"
#include "form/station_dlg.h"
#include "resources/string_table.h"

namespace {

constexpr const char* kDateMessage = "Please enter a date and time as yyyy-mo-dd hh:mi:ss.";

// Whether SITE holds the code. Asked on the shared session; when that cannot
// answer (a lost connection, for instance), on the operation session, so that
// a failure never reads as "absent" and turns an update into an insert.
// nullopt when neither session can answer.
std::optional<bool> SiteRowExists(CDatabase* shared, CDatabase& operation, const std::string& code) {
    if (shared != nullptr && shared->IsOpen()) {
        if (auto answer = QueryStationRowExists(*shared, "SITE", code)) return answer;
    }
    return QueryStationRowExists(operation, "SITE", code);
}

// Rolls back the save's transaction on every way out that has not handed it
// on; a failed statement thus also leaves auto-commit on again.
struct PendingTransaction {
    CDatabase& session;
    bool open;
    PendingTransaction(CDatabase& s, bool begun) : session(s), open(begun) {}
    PendingTransaction(const PendingTransaction&) = delete;
    PendingTransaction& operator=(const PendingTransaction&) = delete;
    ~PendingTransaction() { Rollback(); }
    void Rollback() {
        if (open) session.RollbackTransaction();
        open = false;
    }
};

}  // namespace

// Before anything is written, the station is read again as loading read it.
// When another program has changed it since (or created it, for a station
// that was new), the user decides: Cancel writes nothing, OK overwrites. The
// transaction is ended while the question is open, so that nothing is held
// on the server while the user thinks, and begun again for the writing.
bool CStationDlg::ConfirmOverwrite(CDatabase& session, bool& transactionOpen) {
    if (loaded_ && SameStation(*loaded_, ReadStation(session, fields_.StationCode))) return true;
    if (transactionOpen) {
        session.RollbackTransaction();
        transactionOpen = false;
    }
    const platform::Answer answer =
        port_.MessageBox(FormatString(str::ChangedSinceLoaded, fields_.StationCode), LoadString(str::Attention),
                         platform::Buttons::OkCancel, platform::Icon::Exclamation);
    if (answer != platform::Answer::Ok) return false;
    transactionOpen = session.BeginTransaction();
    return true;
}

void CStationDlg::SaveStation() {
    if (!ExchangeFields(Exchange::ReadBack)) return;

    // A date the database would misread is refused before anything is written.
    for (const auto& [id, text] : {std::pair{ctl::OnDate, &fields_.OnDate}, std::pair{ctl::OffDate, &fields_.OffDate}}) {
        if (!text->empty() && !IsValidDateText(*text)) {
            AppMessage(kDateMessage, platform::Icon::Exclamation);
            port_.FocusAndSelectAll(id);
            return;
        }
    }

    auto session = OpenOperationSession(env_);
    if (!session) {
        AppMessage(LoadString(str::DatabaseInitError), platform::Icon::Exclamation);
        return;
    }
    // The SITE row and the channel rows are written in one transaction: a
    // failure anywhere leaves both as they were. Where the data source has
    // no transactions the SITE row is written on its own, and the channel
    // rows then report that none could begin.
    PendingTransaction pending{*session, session->BeginTransaction()};
    if (!ConfirmOverwrite(*session, pending.open)) return;

    const std::string lddate = UtcTimeText(std::time(nullptr));
    if (fields_.DbNumber == 0) fields_.DbNumber = NextStationIndex(*session);

    const FormFields& f = fields_;
    SiteRowValues row;
    row.nindex = f.DbNumber;
    row.ngroups = f.GroupCount;
    row.elev = f.Elevation;
    row.lat = f.Latitude;
    row.lon = f.Longitude;
    row.refsta = f.CentralPoint;
    row.dnorth = LeadingNumber(f.OffsetNorth);
    row.deast = LeadingNumber(f.OffsetEast);
    row.underground = f.Ground;
    if (!f.OnDate.empty()) row.onDate = NormalizeDateText(f.OnDate, 0);
    if (!f.OffDate.empty()) row.offDate = NormalizeDateText(f.OffDate, 0);
    row.descr = f.NameRu;
    row.staname = f.NameEn;
    row.cod = f.IntlCode;
    row.sta = f.StationCode;
    row.lddate = lddate;

    const std::optional<bool> exists = SiteRowExists(env_.sharedSession, *session, f.StationCode);
    if (!exists) {
        // Neither session could ask; run the question as a statement so that
        // the driver's own text reaches the user, and write nothing.
        pending.Rollback();
        try {
            session->ExecuteDirect("select count(*) from SITE where STA=" + SqlQuote(f.StationCode));
        } catch (const CDBException& e) {
            ShowDbError(e);
            return;
        }
        AppMessage(LoadString(str::DatabaseError), platform::Icon::Stop);
        return;
    }
    // An update writes a closing date without its time as the day's 01:01:01.
    if (*exists && row.offDate) row.offDate = NormalizeDateText(f.OffDate, 1);

    try {
        session->ExecuteDirect(BuildSiteStatement(row, *exists));
    } catch (const CDBException& e) {
        pending.Rollback();
        ShowDbError(e);
        return;
    }
    const bool transactionOpen = std::exchange(pending.open, false);
    if (!WriteChannelRows(*session, f.StationCode, transactionOpen)) return;
    session.reset();

    const std::string code = fields_.StationCode;
    FillStationLists();
    port_.SetCurSel(ctl::StationCode, port_.FindString(ctl::StationCode, -1, code));
    LoadStation(code);
    ExchangeFields(Exchange::Show);
}
