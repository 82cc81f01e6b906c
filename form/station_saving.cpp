// Saving a station: the SITE row, then its channel rows, then the refresh.

#include <ctime>
#include <optional>

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

}  // namespace

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
        session->RollbackTransaction();
        ShowDbError(e);
        return;
    }
    if (!WriteChannelRows(*session, f.StationCode)) return;
    session.reset();

    const std::string code = fields_.StationCode;
    FillStationLists();
    port_.SetCurSel(ctl::StationCode, port_.FindString(ctl::StationCode, -1, code));
    LoadStation(code);
    ExchangeFields(Exchange::Show);
}
