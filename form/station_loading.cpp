// Filling the station lists and loading a station into the form fields.

#include <algorithm>
#include <ctime>
#include <optional>
#include <string_view>
#include <type_traits>
#include <variant>

#include "form/date_text.h"
#include "form/operation_session.h"
#include "form/station_dlg.h"
#include "resources/string_table.h"
#include "station/catalogue_rows.h"
#include "station/number_text.h"
#include "station/station_store.h"

namespace {

// Channel names and sample rates a station not yet in SITE starts with.
constexpr const char* kNewChannelNames[ctl::CellCount] = {
    "BLZ", "BLN", "BLE", "BHZ", "BHN", "BHE", "ELZ", "ELN", "ELE", "EHZ", "EHN", "EHE",
    "",    "",    "",    "",    "",    "",    "",    "",    "",
};
constexpr const char* kNewSampleRates[ctl::GroupCountMax] = {"20", "20", "100", "100", "", "", ""};

bool IsNull(double value) { return value == NullMarker::Floating; }

// Every column the form's table names is one of SiteRow's.
constexpr bool FieldColumnsDescribed() {
    for (const SiteFieldColumn& entry : kSiteFieldColumns) catalogue::RowColumnNamed<SiteRow>(entry.column);
    return true;
}
static_assert(FieldColumnsDescribed());

// A SITE column in a text field: a text as stored, a date-time as its text,
// a floating column (an offset) with three decimals; empty for NULL.
std::string FieldText(const SiteRow& site, std::string_view column) {
    const catalogue::Member<SiteRow>& member = catalogue::RowColumnNamed<SiteRow>(column).member;
    if (catalogue::ColumnNamed(catalogue::kSiteColumns, column).kind == catalogue::Kind::Floating) {
        const std::optional<double> value = catalogue::NumberOf(site, member);
        return value ? FixedText(*value, 3) : std::string();
    }
    return catalogue::TextOf(site, member).value_or(std::string());
}

// A SITE number column in a number field, exactly as stored; NULL leaves 0
// and sets `empty`.
template <typename Number>
Number FieldNumber(const SiteRow& site, std::string_view column, bool& empty) {
    const std::optional<double> value =
        catalogue::NumberOf(site, catalogue::RowColumnNamed<SiteRow>(column).member);
    empty = !value;
    return value ? static_cast<Number>(*value) : Number{};
}

}  // namespace

void CStationDlg::FillStationLists() {
    auto session = OpenOperationSession(env_);
    if (!session) {
        AppMessage(LoadString(str::DatabaseInitError), platform::Icon::Exclamation);
        return;
    }
    const std::vector<std::string> codes = StationStore(*session).StationCodes();
    // Emptied even when SITE has no rows, so that a deleted last station does
    // not stay listed.
    port_.ResetContent(ctl::StationCode);
    port_.ResetContent(ctl::CentralPoint);
    port_.AddStrings(ctl::StationCode, codes);
    port_.AddStrings(ctl::CentralPoint, codes);
}

void CStationDlg::ClearStationFields() {
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
}

void CStationDlg::LoadStation(std::string code) {
    ClearStationFields();
    auto session = OpenOperationSession(env_);
    if (!session) {
        AppMessage(LoadString(str::DatabaseInitError), platform::Icon::Exclamation);
        return;
    }
    StationStore store(*session);
    StationSnapshot snapshot = store.Read(code);
    if (!snapshot.site) {
        ShowNewStation(store);
        loaded_ = std::move(snapshot);
        ApplyGroupCount();
        return;
    }
    ShowSiteRow(*snapshot.site);
    const int highestGroup = ShowChannelRows(snapshot.channels);
    session.reset();
    loaded_ = std::move(snapshot);
    if (emptyShown_.GroupCount) {
        // No count to enable by: the rows up to the highest group shown.
        loadedGroups_ = highestGroup;
        EnableGroupRows(highestGroup);
    } else {
        loadedGroups_ = std::clamp(fields_.GroupCount, 0, ctl::GroupCountMax);
        ApplyGroupCount();
    }
}

void CStationDlg::ShowNewStation(StationStore& store) {
    FormFields& f = fields_;
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
        f.DbNumber = store.NextStationIndex();
    } catch (const CDBException&) {
        f.DbNumber = 0;
    }
    emptyShown_ = EmptyShown{};
}

void CStationDlg::ShowSiteRow(const SiteRow& site) {
    // The flag of a number field loaded from NULL; none for the others.
    const auto emptyFlag = [this](std::string_view column) -> bool* {
        if (column == "ELEV") return &emptyShown_.Elevation;
        if (column == "LAT") return &emptyShown_.Latitude;
        if (column == "LON") return &emptyShown_.Longitude;
        if (column == "NGROUPS") return &emptyShown_.GroupCount;
        return nullptr;
    };
    for (const SiteFieldColumn& entry : kSiteFieldColumns) {
        // The code stays as typed or picked.
        if (entry.column == "STA") continue;
        bool empty = false;
        std::visit(
            [&](auto field) {
                auto& value = fields_.*field;
                using Value = std::remove_cvref_t<decltype(value)>;
                if constexpr (std::is_same_v<Value, std::string>)
                    value = FieldText(site, entry.column);
                else
                    value = FieldNumber<Value>(site, entry.column, empty);
            },
            entry.field);
        // A NULL NGROUPS shows an empty GroupCount, which a save asks to be
        // filled in; its groups are shown all the same.
        if (bool* flag = emptyFlag(entry.column)) *flag = empty;
    }
}

int CStationDlg::ShowChannelRows(const std::vector<ChannelRow>& rows) {
    int highestGroup = 0;
    for (const ChannelRow& row : rows) {
        SetResponsePath(row.NGROUP - 1, row.CHANINDEX, row.CALIBFILE);
        if (row.CHANINDEX < 0 || row.CHANINDEX > 2 || row.NGROUP < 1 || row.NGROUP > ctl::GroupCountMax) continue;
        PlaceChannelRow(row);
        highestGroup = std::max(highestGroup, row.NGROUP);
    }
    return highestGroup;
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
