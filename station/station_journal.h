#pragma once
// The journal of the catalogue's writes: one entry per write, with the
// station as it was before and after.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "station/station_snapshot.h"

class CDatabase;

// One write of a station as the journal holds it.
struct JournalEntry {
    std::int64_t id = 0;
    std::string at;              // server clock, UTC, "YYYY-MM-DD HH:MM:SS[.ffffff]"
    std::string dbUser, osUser, host, program, version;
    std::string operation;       // "insert", "update", "delete", "restore"
    std::string code, reason;
    StationSnapshot before, after;   // before.site empty: the station did not exist
};

// Which entries to read: of these stations (all when empty), in this window.
struct JournalQuery {
    std::vector<std::string> codes;
    std::optional<std::string> since, until;
};

// The entries the query selects, newest first. Throws CDBException.
std::vector<JournalEntry> ReadJournal(CDatabase& session, const JournalQuery& query);
