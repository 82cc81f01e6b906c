#pragma once
// The station form's typed values, one per field of the form.

#include <array>
#include <string>

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
