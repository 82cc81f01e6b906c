#pragma once
// From StationXML epochs to the catalogue's rows: which epoch a station
// takes, how its channels fill the form's groups, and what a write would
// change in the catalogue. Pure values; the write itself is the form's save.

#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "station/station_snapshot.h"
#include "station/station_values.h"
#include "tools/catalogue.h"
#include "tools/stationxml_reader.h"

// A value of the file the catalogue cannot hold as it is: left out or cut.
// `refused`: a station or channel whose value the catalogue cannot mean (a
// code or a value breaking its rule) is not written at all.
struct ImportNote {
    std::string station, channel, message;
    bool refused = false;
};

// One station as the import would write it: the SITE row (the columns the
// file gives, the others NULL until KeepStoredColumns) and its channel rows
// with NGROUP 1..7 and CHANINDEX 0..2.
struct ImportedStation {
    StoredSite site;
    std::vector<StoredChannel> channels;
    // Channels of the file refused by a value rule: their stored rows are
    // left as they are, neither written nor removed.
    std::vector<std::string> refusedChannels;
};

// For each station code of the file (in the file's first order; codes are
// taken upper-cased, and a code breaking the station-code rule is refused):
// the epoch
// that contains `at`, else the latest that started before it; its channels
// those open at `at`, or, for an epoch that ended before `at`, those open at
// its end; mapped to rows and grouped as the form groups them. A station
// with no such epoch is left out; everything left out or cut is noted. A
// station or channel with a value outside its rule (station/value_rules.h)
// is refused; file times are stored as their UTC wall-clock time.
std::vector<ImportedStation> PlanImport(const std::vector<XmlStation>& epochs, std::time_t at,
                                        std::vector<ImportNote>& notes);

// The columns the file does not give: those of the stored row (COD, NINDEX,
// STATYPE, REFSTA, DNORTH, DEAST, DESCR the Russian name, UNDERGROUND when
// the file has no Geology, and LAT, LON, ELEV when the file has none), or
// for a new station COD = STA (cut to its column, noted), DESCR the file's
// Site Description and NINDEX left for the save to choose. LAT, LON and ELEV
// become what the SITE statement stores (six decimals), so that a station
// imported again compares unchanged. False, noted as refused, for a new
// station the file gives no LAT, LON or ELEV: it is not written.
bool KeepStoredColumns(ImportedStation& station, const StoredSite* stored, std::vector<ImportNote>& notes);

// What the import would change in one station.
enum class StationChange { New, Changed, Unchanged };
struct StationDiff {
    StationChange change = StationChange::Unchanged;
    std::vector<std::string> lines;  // "  COLUMN: old -> new", "  канал ...: добавлен/изменён/удалён"
};

// Compares with the catalogue as stored. Removed are the station's other
// rows in the groups the form shows (1 to the larger NGROUPS, components 0
// to 2), as the form's save removes them.
StationDiff DiffStation(const ImportedStation& station, const Catalogue& catalogue);

// "новая", "изменена", "без изменений".
const char* ChangeName(StationChange change);

// The values the station store writes for a planned station (after
// KeepStoredColumns): NULL texts as empty, dates as the statements' text (a
// date the epoch lacks written as NULL), the channels' placement given so
// that it is written. Stale rows are removed in groups 1 to the larger of the
// stored (NULL: all seven) and the new NGROUPS.
StationValues ToStationValues(const ImportedStation& station, const StoredSite* stored);

// What importing a planned station (as PlanImport gives it) does to the
// station as `catalogue` holds it: the stored columns kept, the diff, and the
// values to write, nullopt when nothing differs.
struct StationWrite {
    StationDiff diff;
    std::optional<StationValues> values;
    bool refused = false;  // a new station the file gives no LAT, LON or ELEV: nothing is written
};
StationWrite PlanStationWrite(ImportedStation station, const Catalogue& catalogue, std::vector<ImportNote>& notes);

// A station as read under the store's lock by "STA=code", as a catalogue of
// that one station under `code`: the database's comparison of codes decides
// whether it exists. An empty text counts as NULL, as the diff counts it.
Catalogue CatalogueOf(const StationSnapshot& snapshot, const std::string& code);
