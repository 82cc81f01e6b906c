#pragma once
// Filling the station tables of a benchmark database in bulk.

#include <string>

class CDatabase;

// The stations every benchmark works with: the start station and the one a
// keystroke loads ("K" typed after it), each with 4 channel groups of 3
// channel rows.
inline constexpr const char* kStartStation = "K";
inline constexpr const char* kKeystrokeStation = "KK";
// The station the type-ahead case ends on (STA holds eight characters); its
// STANAME is "Station " and the code.
inline constexpr const char* kTypedStation = "TYPEAHED";

// Replaces every SITE and SITECHAN row with `stations` stations: the three
// above plus generated ones (B00000, B00001, ...), all with their columns
// filled, generated in SQL by one INSERT ... SELECT. With `withChannels` each
// generated station also gets one group of three channel rows (SHZ, SHN,
// SHE), as the catalogue programs' cases need. `backend` is "sqlite",
// "postgres" or "mariadb". Throws CDBException.
void FillStations(CDatabase& session, const std::string& backend, int stations, bool withChannels = false);

// Makes the journal hold `entries` updates of station `code` (and no other
// entry of it), each changing its latitude, the rows encoded as a write
// journals them. Creates the journal table when the database has none.
// Throws CDBException.
void FillJournal(CDatabase& session, const std::string& code, int entries);

// Writes to `path` a StationXML file of `stations` stations (I00000,
// I00001, ...), each open since 2000 with one group of three channels (BHZ,
// BHN, BHE, 20 samples per second, each with a small Response) whose codes
// SITE does not hold after FillStations. Throws std::runtime_error.
void WriteImportFile(const std::string& path, int stations);
