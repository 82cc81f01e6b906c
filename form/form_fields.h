#pragma once
// The station form's typed values, one per field of the form.

#include <array>
#include <string>
#include <string_view>
#include <variant>

#include "resources/control_ids.h"

// The values behind the form's controls. Group arrays are indexed by group
// index 0..6 (group g at g-1); ChanName by CellIndex 0..20.
struct FormFields {
    std::string StationCode;
    std::string IntlCode;
    double Latitude = 45.0;
    double Longitude = 45.0;
    double Elevation = 0.0;
    int DbNumber = 0;
    std::string NameRu;
    std::string NameEn;
    std::string Ground;
    std::string OnDate;
    std::string OffDate;
    int GroupCount = 4;
    std::string CentralPoint;
    std::string OffsetNorth;
    std::string OffsetEast;

    std::array<std::string, ctl::CellCount> ChanName;
    std::array<std::string, ctl::GroupCountMax> SampleRate;
    std::array<std::string, ctl::GroupCountMax> LocCode;
    std::array<std::string, ctl::GroupCountMax> SensorType;

    // The defaults a new form starts with.
    static FormFields Defaults(const std::string& startStationCode);
};

// One station field of the form and the SITE column it shows: SiteRow's
// member of that name (station/catalogue_rows.h).
struct SiteFieldColumn {
    std::variant<std::string FormFields::*, double FormFields::*, int FormFields::*> field;
    std::string_view column;
};

// The form's station fields and their SITE columns. Loading shows a text
// column as it is, a date-time column as its text and a floating column in a
// text field with three decimals, empty for NULL; a coordinate or a count
// loaded from NULL shows an empty text (CStationDlg's EmptyShown).
inline constexpr std::array<SiteFieldColumn, 15> kSiteFieldColumns{{
    {&FormFields::StationCode, "STA"},
    {&FormFields::IntlCode, "COD"},
    {&FormFields::Latitude, "LAT"},
    {&FormFields::Longitude, "LON"},
    {&FormFields::Elevation, "ELEV"},
    {&FormFields::DbNumber, "NINDEX"},
    {&FormFields::NameRu, "DESCR"},
    {&FormFields::NameEn, "STANAME"},
    {&FormFields::Ground, "UNDERGROUND"},
    {&FormFields::OnDate, "ONDATE"},
    {&FormFields::OffDate, "OFFDATE"},
    {&FormFields::GroupCount, "NGROUPS"},
    {&FormFields::CentralPoint, "REFSTA"},
    {&FormFields::OffsetNorth, "DNORTH"},
    {&FormFields::OffsetEast, "DEAST"},
}};
