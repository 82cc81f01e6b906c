#pragma once
// The SITE statement of a save: an insert or an update of the station's row.

#include <optional>
#include <string>

// The values one save writes to SITE, in the order the statement names them.
// A date left empty on the form is nullopt and its column is not named
// (named as NULL with nullDates).
struct SiteRowValues {
    int nindex = 0;
    int ngroups = 0;
    // A number that is nullopt is not named (as a date).
    std::optional<double> lat = 0.0;
    std::optional<double> lon = 0.0;
    std::optional<double> elev = 0.0;
    std::string descr;
    std::string staname;
    std::string cod;
    std::optional<std::string> onDate;   // normalised date text
    std::optional<std::string> offDate;  // normalised date text
    bool nullDates = false;               // a date left nullopt is written as NULL
    std::string refsta;
    std::optional<double> deast = 0.0;
    std::optional<double> dnorth = 0.0;
    std::string underground;
    std::string lddate;  // date text
    std::string sta;
};

// "update SITE set ... where STA=..." when the row exists, else
// "insert into SITE (...) values (...)".
std::string BuildSiteStatement(const SiteRowValues& row, bool exists);
