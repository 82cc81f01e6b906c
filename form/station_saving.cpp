// Saving a station: the form's values are checked and handed to the station
// store, which writes the SITE row and the channel rows; then the refresh.

#include <algorithm>
#include <utility>

#include "form/operation_session.h"
#include "form/station_dlg.h"
#include "resources/string_table.h"
#include "station/number_text.h"
#include "station/station_store.h"

namespace {

constexpr const char* kDateMessage = "Please enter a date and time as yyyy-mo-dd hh:mi:ss.";

}  // namespace

bool CStationDlg::AskChanged(int textId, const std::string& code) {
    return port_.MessageBox(FormatString(textId, code), LoadString(str::Attention), platform::Buttons::OkCancel,
                            platform::Icon::Exclamation) == platform::Answer::Ok;
}

StationValues CStationDlg::ValuesToSave() {
    const FormFields& f = fields_;
    StationValues v;
    v.code = f.StationCode;
    v.nindex = f.DbNumber;
    v.ngroups = f.GroupCount;
    v.lat = f.Latitude;
    v.lon = f.Longitude;
    v.elev = f.Elevation;
    v.descr = f.NameRu;
    v.staname = f.NameEn;
    v.cod = f.IntlCode;
    v.refsta = f.CentralPoint;
    v.underground = f.Ground;
    v.dnorth = LeadingNumber(f.OffsetNorth);
    v.deast = LeadingNumber(f.OffsetEast);
    if (!f.OnDate.empty()) v.onDate = NormalizeDateText(f.OnDate, 0);
    if (!f.OffDate.empty()) {
        v.offDate = NormalizeDateText(f.OffDate, 0);
        // An update writes a closing date without its time as the day's 01:01:01.
        v.offDateOnUpdate = NormalizeDateText(f.OffDate, 1);
    }
    v.channels = ChannelRowsToWrite();
    // Stale rows go only in the cells the form has: the groups it showed or
    // GroupCount enables. Rows it never showed stay as they are.
    v.staleGroups = std::min(std::max(loadedGroups_, f.GroupCount), ctl::GroupCountMax);
    return v;
}

void CStationDlg::SaveStation() {
    if (!ExchangeFields(Exchange::ReadBack)) return;

    // A station without a code cannot be stored; say so before any statement.
    if (fields_.StationCode.empty()) {
        AppMessage(LoadString(str::StationCodeMissing), platform::Icon::Exclamation);
        port_.FocusAndSelectAll(ctl::StationCode);
        return;
    }
    // A date the database would misread is refused before anything is written.
    for (const auto& [id, text] : {std::pair{ctl::OnDate, &fields_.OnDate}, std::pair{ctl::OffDate, &fields_.OffDate}}) {
        if (!text->empty() && !IsValidDateText(*text)) {
            AppMessage(kDateMessage, platform::Icon::Exclamation);
            port_.FocusAndSelectAll(id);
            return;
        }
    }
    // Every control is read before the store's transaction begins.
    const StationValues values = ValuesToSave();

    auto session = OpenOperationSession(env_);
    if (!session) {
        AppMessage(LoadString(str::DatabaseInitError), platform::Icon::Exclamation);
        return;
    }
    StationStore store(*session);
    if (env_.storeSeam) store.afterReRead = env_.storeSeam;
    int nindex = values.nindex;
    const StoreOutcome outcome = store.Save(values, loaded_, [this](const std::string& code) {
        return AskChanged(str::ChangedSinceLoaded, code);
    }, nindex);
    if (outcome == StoreOutcome::Cancelled) return;
    fields_.DbNumber = nindex;
    if (outcome == StoreOutcome::NoTransaction) {
        // The SITE row is written; the channel rows could not begin.
        AppMessage(LoadString(str::TransactionError), platform::Icon::Exclamation);
        return;
    }
    session.reset();

    const std::string code = fields_.StationCode;
    FillStationLists();
    port_.SetCurSel(ctl::StationCode, port_.FindString(ctl::StationCode, -1, code));
    LoadStation(code);
    ExchangeFields(Exchange::Show);
}
