#pragma once
// The journal of the station catalogue: table STATION_JOURNAL in the
// catalogue's own database, one entry per write of a station by our
// programs, with the station's rows before and after it.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "station/exact_station.h"
#include "station/station_snapshot.h"

class CDatabase;

// One entry of STATION_JOURNAL.
struct JournalEntry {
    std::int64_t id = 0;
    std::string at;  // server clock, UTC, "YYYY-MM-DD HH:MM:SS[.ffffff]"
    std::string dbUser, osUser, host, program, version;
    std::string operation;  // "insert", "update", "delete", "restore"
    std::string code, reason;
    StationSnapshot before, after;  // before.site empty: the station did not exist
    ExactStation beforeRows, afterRows;  // the same rows with NULL told apart from empty text
};

// Which entries ReadJournal answers: of the codes (all when empty), at or
// after `since` and at or before `until` (texts as JournalTime gives them).
struct JournalQuery {
    std::vector<std::string> codes;
    std::optional<std::string> since, until;
};

// The entries asked for, newest first. Throws CDBException, JournalFormatError.
std::vector<JournalEntry> ReadJournal(CDatabase& session, const JournalQuery& query);
// The one entry `id`; nullopt when the journal holds none.
std::optional<JournalEntry> ReadJournalEntry(CDatabase& session, std::int64_t id);

// A time as a person gives it ("YYYY-MM-DD", "YYYY-MM-DD hh:mm[:ss]", a "T"
// between them allowed) as the journal's text, the missing parts filled from
// the start of that day (or its end, for `endOfRange`); nullopt when it is
// not such a time.
std::optional<std::string> JournalTime(const std::string& given, bool endOfRange);

// Whether the session's database holds the journal, and why not.
struct JournalState {
    bool available = false;
    std::string reason;  // the driver's text of the failure, when not available
};

// Creates STATION_JOURNAL and its indexes when the database has no such
// table (part of the schema upgrade at start). Never throws: a user without
// the right to create it gets the state with the driver's text, and every
// write then goes unjournaled.
JournalState EnsureJournalTable(CDatabase& session);

// Whether the journal can be written on this session: asked of the database
// (outside any transaction) until it answers yes, then answered from memory
// for the connect string; after EnsureJournalTable, its answer is kept.
bool JournalAvailable(CDatabase& session);
// Forgets what JournalAvailable learned (tests that drop or make the table).
void ForgetJournalState();

// Whether AppendJournal sends the write's statements in the entry's request.
bool JournalTakesWrites(const CDatabase& session);

// Adds one entry in the session's open transaction, with the database's
// clock and user, this process's user, host and program. Answers its id.
// `writes`, statements of the write the entry belongs to, run first: in the
// same request as the entry where the driver takes several statements in
// one text (PostgreSQL's), else one by one. Throws CDBException.
std::int64_t AppendJournal(CDatabase& session, const std::string& operation, const std::string& code,
                           const std::string& reason, const ExactStation& before, const ExactStation& after,
                           const std::vector<std::string>& writes = {});
