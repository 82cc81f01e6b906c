#pragma once
// The station catalogue as stored: every SITE row and the SITECHAN rows of
// the chosen stations, NULL kept apart from every value.

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "db/select_rows.h"
#include "station/station_snapshot.h"

class CDatabase;

// One SITE row as the catalogue programs read it; nullopt for NULL. (The
// store's SiteRow reads a NULL text as empty; the programs report it apart.)
// tools/catalogue.cpp holds its columns against the description.
struct StoredSite {
    std::optional<std::string> STA, COD, DESCR, REFSTA, STANAME, STATYPE, UNDERGROUND;
    std::optional<double> NGROUPS, ELEV, LAT, LON, NINDEX, DNORTH, DEAST;
    std::optional<WallClock> ONDATE, OFFDATE;
};

// One SITECHAN row as the catalogue programs read it; nullopt for NULL.
struct StoredChannel {
    std::optional<std::string> STA, CHAN, DESCR, CALIBFILE, LCODE;
    std::optional<double> NGROUP, CHANINDEX, EDEPH, LAT, LON, SPS, HANG, VANG;
};

// A row as the station store reads it, as the catalogue's row: a NULL
// number or date-time, and an empty text, are nullopt.
StoredSite StoredRowOf(const SiteRow& row);
StoredChannel StoredRowOf(const ChannelRow& row);

// The chosen stations with their channels, and every SITE row (for the
// central points that REFSTA names, which need not be chosen).
struct Catalogue {
    std::vector<StoredSite> allSites;
    std::vector<StoredSite> sites;        // the chosen ones, ordered by STA
    std::vector<StoredChannel> channels;  // theirs, ordered by STA, NGROUP, CHANINDEX
    // Station codes asked for that SITE does not hold.
    std::vector<std::string> unknownStations;

    // The SITE row of `code` among all rows, or null (the first when SITE
    // holds the code twice). Looked up by key, not by a scan.
    const StoredSite* FindSite(const std::string& code) const;
    // The channel rows of `code` among the chosen ones, in their order.
    std::span<const StoredChannel> ChannelsOf(const std::string& code) const;

    // Builds the lookups above from the rows, first ordering the channels
    // by STA (stably: each station's rows keep their order) where they are
    // not; ReadCatalogue calls it, and so must whoever changes the rows
    // afterwards.
    void Index();

private:
    // Indices into allSites of the rows with a code, ordered by code and,
    // for a code held twice, by place; the channels are ordered by STA
    // themselves. Both are searched by halving: no table of keys is held.
    std::vector<size_t> siteOrder_;
};

// Reads SITE and SITECHAN with two SELECT statements, each table once, and
// joins them in memory by station code. `stations` empty:
// every station, else those codes (compared exactly, as the form does).
// Throws CDBException when a query fails.
Catalogue ReadCatalogue(const CDatabase& session, const std::vector<std::string>& stations);

// As ReadCatalogue for the listed codes (at least one), but the database is
// asked for their rows alone (WHERE STA IN, each code a quoted literal):
// allSites holds only them, so a REFSTA outside the list is not found.
Catalogue ReadListedStations(const CDatabase& session, const std::vector<std::string>& stations);
// Every SITE row, chosen, without channels: SITECHAN is not read.
Catalogue ReadSitesOnly(const CDatabase& session);

// The catalogue of the stations `chosen` accepts, from every SITE row and at
// least the chosen stations' SITECHAN rows: ordered and indexed as
// ReadCatalogue answers it (unknownStations left empty).
Catalogue CatalogueOf(std::vector<StoredSite> allSites, std::vector<StoredChannel> channels,
                      const std::function<bool(const std::optional<std::string>& code)>& chosen);

// A SITE or SITECHAN row as the journal keeps it (columns in the order of
// station/catalogue_columns.h) as the catalogue programs read it.
StoredSite StoredSiteOf(const ValueRow& row);
StoredChannel StoredChannelOf(const ValueRow& row);

// The SELECT texts ReadCatalogue sends.
std::string SiteSelectText();
std::string ChannelSelectText();
