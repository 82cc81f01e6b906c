#pragma once
// The station catalogue as stored: every SITE row and the SITECHAN rows of
// the chosen stations, NULL kept apart from every value.

#include <optional>
#include <string>
#include <vector>

#include "db/select_rows.h"

class CDatabase;

// One SITE row; nullopt for NULL.
struct SiteRow {
    std::optional<std::string> STA, COD, DESCR, REFSTA, STANAME, STATYPE, UNDERGROUND;
    std::optional<double> NGROUPS, ELEV, LAT, LON, NINDEX, DNORTH, DEAST;
    std::optional<WallClock> ONDATE, OFFDATE;
};

// One SITECHAN row; nullopt for NULL.
struct ChannelRow {
    std::optional<std::string> STA, CHAN, DESCR, CALIBFILE, LCODE;
    std::optional<double> NGROUP, CHANINDEX, EDEPH, LAT, LON, SPS, HANG, VANG;
};

// The chosen stations with their channels, and every SITE row (for the
// central points that REFSTA names, which need not be chosen).
struct Catalogue {
    std::vector<SiteRow> allSites;
    std::vector<SiteRow> sites;        // the chosen ones, ordered by STA
    std::vector<ChannelRow> channels;  // theirs, ordered by STA, NGROUP, CHANINDEX
    // Station codes asked for that SITE does not hold.
    std::vector<std::string> unknownStations;

    // The SITE row of `code` among all rows, or null.
    const SiteRow* FindSite(const std::string& code) const;
};

// Reads SITE and SITECHAN with two SELECT statements. `stations` empty:
// every station, else those codes (compared exactly, as the form does).
// Throws CDBException when a query fails.
Catalogue ReadCatalogue(const CDatabase& session, const std::vector<std::string>& stations);

// The SELECT texts ReadCatalogue sends.
std::string SiteSelectText();
std::string ChannelSelectText();
