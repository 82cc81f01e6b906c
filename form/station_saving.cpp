// Saving a station: the form's values are checked and handed to the station
// store, which writes the SITE row and the channel rows; then the refresh.

#include <cstdio>
#include <optional>
#include <utility>

#include "form/operation_session.h"
#include "form/station_dlg.h"
#include "form/field_syntax.h"
#include "resources/string_table.h"
#include "station/catalogue_columns.h"
#include "station/station_code.h"
#include "station/station_store.h"
#include "station/value_rules.h"

namespace {

constexpr const char* kDateMessage = "Please enter a date and time as yyyy-mo-dd hh:mi:ss.";

// A checked date text as its parts (NormalizeDateText's pattern).
WallClock DateParts(const std::string& normalized) {
    WallClock w;
    std::sscanf(normalized.c_str(), "%d-%d-%d %d:%d:%d", &w.year, &w.month, &w.day, &w.hour, &w.minute, &w.second);
    return w;
}

// A station that breaks a rule of the catalogue is not written; says why.
std::string RefusalText(const std::string& problem) { return "Станция не записывается: " + problem + "."; }

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
    v.dnorth = NumberTextValue(f.OffsetNorth);
    v.deast = NumberTextValue(f.OffsetEast);
    if (!f.OnDate.empty()) v.onDate = NormalizeDateText(f.OnDate, 0);
    if (!f.OffDate.empty()) {
        v.offDate = NormalizeDateText(f.OffDate, 0);
        // An update writes a closing date without its time as the day's 01:01:01.
        v.offDateOnUpdate = NormalizeDateText(f.OffDate, 1);
    }
    v.channels = ChannelRowsToWrite();
    // Stale rows go only in the cells the form has: the groups it showed or
    // GroupCount enables. Rows it never showed stay as they are.
    v.staleGroups = catalogue::StaleGroups(loadedGroups_, f.GroupCount);
    return v;
}

void CStationDlg::SaveStation() {
    if (!ExchangeFields(Exchange::ReadBack)) return;

    // A station without a code, or with one that holds a blank or a control
    // character, cannot be stored; say so before any statement.
    std::string problem;
    const std::optional<std::string> checked = CheckedStationCode(fields_.StationCode, problem);
    if (!checked) {
        AppMessage(fields_.StationCode.empty() ? LoadString(str::StationCodeMissing) : RefusalText(problem),
                   platform::Icon::Exclamation);
        port_.FocusAndSelectAll(ctl::StationCode);
        return;
    }
    fields_.StationCode = *checked;
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
    const auto parts = [](const std::optional<std::string>& text) {
        return text ? std::optional<WallClock>(DateParts(*text)) : std::nullopt;
    };
    if (const std::optional<std::string> order = DateOrderProblem(parts(values.onDate), parts(values.offDate))) {
        AppMessage(RefusalText(*order), platform::Icon::Exclamation);
        port_.FocusAndSelectAll(ctl::OffDate);
        return;
    }

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
    if (outcome == StoreOutcome::Done)
        changes_.Record(values.code, loaded_ && loaded_->site ? ChangeKind::Saved : ChangeKind::Created,
                        store.LastEntry());
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
