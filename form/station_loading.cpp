// Filling the station lists and loading a station into the form fields.

#include <algorithm>
#include <ctime>

#include "station/station_queries.h"
#include "db/station_recordsets.h"
#include "form/date_text.h"
#include "station/number_text.h"
#include "form/operation_session.h"
#include "form/station_dlg.h"
#include "resources/string_table.h"

namespace {

// Channel names and sample rates a station not yet in SITE starts with.
constexpr const char* kNewChannelNames[ctl::CellCount] = {
    "BLZ", "BLN", "BLE", "BHZ", "BHN", "BHE", "ELZ", "ELN", "ELE", "EHZ", "EHN", "EHE",
    "",    "",    "",    "",    "",    "",    "",    "",    "",
};
constexpr const char* kNewSampleRates[ctl::GroupCountMax] = {"20", "20", "100", "100", "", "", ""};

bool IsNull(double value) { return value == NullMarker::Floating; }

// A date-time column as the form shows it: empty for NULL.
std::string DateFieldText(const std::optional<WallClock>& value) {
    return value ? WallClockText(*value) : std::string();
}

// An offset column as the form shows it: three decimals, empty for NULL.
std::string OffsetFieldText(double value) { return IsNull(value) ? std::string() : FixedText(value, 3); }

// A coordinate column into its field, exactly as stored; NULL leaves 0 and
// sets `empty`.
double CoordinateField(double value, bool& empty) {
    empty = IsNull(value);
    return empty ? 0.0 : value;
}

}  // namespace

void CStationDlg::FillStationLists() {
    auto session = OpenOperationSession(env_);
    if (!session) {
        AppMessage(LoadString(str::DatabaseInitError), platform::Icon::Exclamation);
        return;
    }
    // Only STA is read, in blocks of rows, from the record set's own query.
    CSite site(session.get());
    const std::vector<std::string> codes = site.ReadTextColumn(CSite::kStationCodeField);
    // Emptied even when SITE has no rows, so that a deleted last station does
    // not stay listed.
    port_.ResetContent(ctl::StationCode);
    port_.ResetContent(ctl::CentralPoint);
    port_.AddStrings(ctl::StationCode, codes);
    port_.AddStrings(ctl::CentralPoint, codes);
}

void CStationDlg::LoadStation(std::string code) {
    FormFields& f = fields_;
    f.CentralPoint.clear();
    f.OffsetNorth.clear();
    f.OffsetEast.clear();
    f.NameRu.clear();
    f.IntlCode.clear();
    f.NameEn.clear();
    f.Ground.clear();
    for (auto& name : f.ChanName) name.clear();
    for (int i = 0; i < ctl::GroupCountMax; ++i) {
        f.SampleRate[static_cast<size_t>(i)].clear();
        f.LocCode[static_cast<size_t>(i)].clear();
        f.SensorType[static_cast<size_t>(i)].clear();
    }
    // A response file belongs to the station whose row names it: a cell the
    // loaded station has no row for shows none, so that a save never writes
    // another station's file into it.
    for (int g = 0; g < ctl::GroupCountMax; ++g)
        for (int j = 0; j < 3; ++j) SetResponsePath(g, j, "");
    loaded_.reset();
    loadedGroups_ = 0;

    auto session = OpenOperationSession(env_);
    if (!session) {
        AppMessage(LoadString(str::DatabaseInitError), platform::Icon::Exclamation);
        return;
    }
    StationSnapshot snapshot = ReadStation(*session, code);

    if (!snapshot.site) {
        for (size_t k = 0; k < f.ChanName.size(); ++k) f.ChanName[k] = kNewChannelNames[k];
        for (size_t i = 0; i < f.SampleRate.size(); ++i) f.SampleRate[i] = kNewSampleRates[i];
        f.Elevation = 0.0;
        f.Latitude = 45.0;
        f.Longitude = 45.0;
        f.GroupCount = 4;
        f.OnDate = UtcTimeText(std::time(nullptr));
        f.OffDate.clear();
        // A number the query cannot give (it failed, or NINDEX cannot hold
        // it) shows as 0, never as a number cut to fit: a save then asks for
        // one again and reports the failure before it writes anything.
        try {
            f.DbNumber = CheckedNextStationIndex(*session);
        } catch (const CDBException&) {
            f.DbNumber = 0;
        }
        emptyShown_ = EmptyShown{};
        loaded_ = std::move(snapshot);
        ApplyGroupCount();
        return;
    }

    const SiteRow& site = *snapshot.site;
    f.Elevation = CoordinateField(site.ELEV.value, emptyShown_.Elevation);
    f.Latitude = CoordinateField(site.LAT.value, emptyShown_.Latitude);
    f.Longitude = CoordinateField(site.LON.value, emptyShown_.Longitude);
    f.DbNumber = site.NINDEX;
    // A NULL NGROUPS shows an empty GroupCount, which a save asks to be
    // filled in; its groups are shown all the same.
    emptyShown_.GroupCount = site.NGROUPS == NullMarker::Integer;
    f.GroupCount = emptyShown_.GroupCount ? 0 : site.NGROUPS;
    f.CentralPoint = site.REFSTA;
    f.NameEn = site.STANAME;
    f.IntlCode = site.COD;
    f.NameRu = site.DESCR;
    f.Ground = site.UNDERGROUND;
    f.OnDate = DateFieldText(site.ONDATE);
    f.OffDate = DateFieldText(site.OFFDATE);
    f.OffsetNorth = OffsetFieldText(site.DNORTH.value);
    f.OffsetEast = OffsetFieldText(site.DEAST.value);

    int highestGroup = 0;
    for (const ChannelRow& row : snapshot.channels) {
        SetResponsePath(row.NGROUP - 1, row.CHANINDEX, row.CALIBFILE);
        if (row.CHANINDEX < 0 || row.CHANINDEX > 2 || row.NGROUP < 1 || row.NGROUP > ctl::GroupCountMax) continue;
        PlaceChannelRow(row);
        highestGroup = std::max(highestGroup, row.NGROUP);
    }
    session.reset();
    loaded_ = std::move(snapshot);
    if (emptyShown_.GroupCount) {
        // No count to enable by: the rows up to the highest group shown.
        loadedGroups_ = highestGroup;
        EnableGroupRows(highestGroup);
    } else {
        loadedGroups_ = std::clamp(f.GroupCount, 0, ctl::GroupCountMax);
        ApplyGroupCount();
    }
}

// Only a row of component Z, N or E is shown: it fills its cell and the
// values of its group. Rows of any other component are kept in the database
// but change nothing the form shows.
void CStationDlg::PlaceChannelRow(const ChannelRow& row) {
    const auto g = static_cast<size_t>(row.NGROUP - 1);
    fields_.ChanName[static_cast<size_t>(ctl::CellIndex(row.NGROUP, row.CHANINDEX))] = row.CHAN;
    fields_.LocCode[g] = row.LCODE;
    fields_.SensorType[g] = row.DESCR;
    if (fields_.LocCode[g].empty()) fields_.LocCode[g] = "??";
    fields_.SampleRate[g] = IsNull(row.SPS.value) ? std::string() : SampleRateText(row.SPS.value);
}

void CStationDlg::OnStationCodeEditChange() {
    const std::string text = port_.Text(ctl::StationCode);
    LoadStation(text);
    fields_.StationCode = text;
    ExchangeFields(Exchange::Show);
}

void CStationDlg::OnStationCodeSelChange() {
    const int index = port_.GetCurSel(ctl::StationCode);
    if (index == platform::CB_ERR) return;  // no entry is selected: nothing was picked
    const std::string text = port_.GetLBText(ctl::StationCode, index);
    fields_.StationCode = text;
    LoadStation(text);
    ExchangeFields(Exchange::Show);
}
