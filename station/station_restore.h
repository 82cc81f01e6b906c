#pragma once
// Putting a station back as it was before a journal entry: through the
// station store, under its lock, with the changed-station check, and itself
// journaled as a restore.

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "station/station_store.h"

class CDatabase;

// A restore that cannot be done as asked: no such entry, or an entry of
// another station.
class RestoreError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// How a restore ended: the store's outcome, the id of its journal entry
// (none on a dry run, when nothing differed or the journal is not kept), and
// the differences from the station as it is to the station as it comes back,
// as station-history shows them.
struct RestoreResult {
    StoreOutcome outcome;
    std::optional<std::int64_t> entry;
    std::vector<std::string> differences;
};

// Puts station `code` back as entry `beforeEntry` found it: its SITE row and
// every channel row as they were before that entry, every column (a station
// that did not exist then is deleted). `askChanged` decides when the station
// changed between the reading the differences come from and the lock. A dry
// run writes nothing. Throws RestoreError, CDBException, JournalFormatError.
RestoreResult RestoreStation(CDatabase& session, const std::string& code, std::int64_t beforeEntry,
                             const std::string& reason, const ChangedQuestion& askChanged, bool dryRun = false);

// The entry whose "before" is the station as it stood at `time` (a journal
// time text, see JournalTime): the first entry of the station after it;
// nullopt when the journal holds none (the station has not changed since).
std::optional<std::int64_t> FirstEntryAfter(CDatabase& session, const std::string& code, const std::string& time);
