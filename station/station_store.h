#pragma once
// A station's reading, saving and deleting on plain values, each write in one
// transaction with the check that nobody changed the station since it was read.

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "db/db_exception.h"
#include "station/exact_station.h"
#include "station/station_snapshot.h"
#include "station/station_values.h"

class CDatabase;

// Asked, with the station code, whether to go on although the station
// changed in the database since it was read. No transaction is open while it
// runs, so nothing is held on the server while a user thinks.
using ChangedQuestion = std::function<bool(const std::string& code)>;

// How a save or a delete ended; database failures throw CDBException, with
// everything of the operation rolled back where the driver has transactions.
// A transaction that ends in a conflict with another (IsTransactionConflict)
// is begun again from its lock, kTransactionAttempts times in all.
enum class StoreOutcome {
    Done,
    Cancelled,      // the question was answered no: nothing written
    NoTransaction,  // the data source has no transactions (see Save and Delete)
};

// The station persistence of one session. It reads no controls and shows
// nothing: callers hand in values and a question, and get outcomes.
class StationStore {
public:
    explicit StationStore(CDatabase& session) : session_(session) {}

    // The station as loading shows it (see ReadStation).
    StationSnapshot Read(const std::string& code);
    // Every station code SITE holds, in the order the table gives them.
    std::vector<std::string> StationCodes();
    // The number a new station gets: one above the largest NINDEX (see
    // CheckedNextStationIndex, whose failures it throws).
    int NextStationIndex();

    // Writes the SITE row (update when SITE holds the code, else insert) and
    // the channel rows in one transaction that holds the catalogue's writer
    // lock. Before writing, under that lock and LockStationForWriting, the
    // station is read again; when it differs from `loaded` (or `loaded` is
    // nullopt) `askOverwrite` decides. Whether the row exists, and which
    // groups' other rows are removed, follow that reading. Without
    // transactions the SITE row is written alone and NoTransaction answered.
    // `nindex` receives the NINDEX written (values.nindex, or a new one).
    StoreOutcome Save(const StationValues& values, const std::optional<StationSnapshot>& loaded,
                      const ChangedQuestion& askOverwrite, int& nindex);

    // Decides, from the station as read under the lock, what a write makes
    // of it: the values to write, or nullopt to leave it as it is.
    using WritePlan = std::function<std::optional<StationValues>(const StationSnapshot& locked)>;

    // Writes station `code` as `plan` decides from the station read under
    // the writer lock and LockStationForWriting, in one transaction, as Save
    // writes (nothing when the plan answers nullopt). Without transactions
    // nothing is written and NoTransaction answered. `nindex` receives the
    // NINDEX written.
    StoreOutcome Write(const std::string& code, const WritePlan& plan, int& nindex);

    // One station of a group write: its code and what its write makes of it.
    struct GroupMember {
        std::string code;
        WritePlan plan;
    };
    // How one station of a group write ended.
    struct GroupOutcome {
        // The database refused one of its statements: rolled back to its
        // savepoint, nothing of it written; the driver's failure.
        std::optional<CDBException> refused;
        int nindex = 0;                     // the NINDEX written
        std::optional<std::int64_t> entry;  // its journal entry, when journaled
    };

    // Writes stations as Write writes each, but several in one transaction
    // that holds the writer lock once and is committed once: each station
    // goes behind a savepoint of its own, so that a station the database
    // refuses is undone alone while the others go on. Members are taken in
    // order until `budget` has passed (at least one), so that other writers
    // never wait long for the lock; `outcomes` receives one outcome per
    // member taken, valid once this returns Done (the group committed).
    // Throws CDBException, with everything of the group rolled back, when the
    // transaction itself fails (a lost connection, a conflict with another
    // transaction, a refused savepoint, the commit): the caller may then
    // write the members one by one with Write. Without transactions nothing
    // is written and NoTransaction answered.
    StoreOutcome WriteGroup(const std::vector<GroupMember>& members, std::chrono::milliseconds budget,
                            std::vector<GroupOutcome>& outcomes);

    // Deletes the station's SITECHAN rows, then its SITE row, in one
    // transaction, after the same check with `askDelete`. Without
    // transactions nothing is deleted and NoTransaction answered.
    StoreOutcome Delete(const std::string& code, const std::optional<StationSnapshot>& loaded,
                        const ChangedQuestion& askDelete);

    // Puts the station's rows back as `rows` holds them, every column as
    // given (no SITE row in `rows`: the station is deleted), in one
    // transaction after the same check as Delete with `askChanged`; journaled
    // as "restore". Without transactions nothing is written and
    // NoTransaction answered.
    StoreOutcome Restore(const std::string& code, const ExactStation& rows,
                         const std::optional<StationSnapshot>& loaded, const ChangedQuestion& askChanged);

    // Every write above adds, in its own transaction, one entry to the
    // catalogue's journal (station/station_journal.h) where the database
    // holds it: the station's rows read under the lock before the write and
    // read back after it. The id of the entry the last successful write
    // journaled; nullopt when it was not journaled.
    std::optional<std::int64_t> LastEntry() const { return lastEntry_; }
    // The reason the next writes' entries carry (empty: none).
    void SetReason(std::string reason) { reason_ = std::move(reason); }

    // Test seam: runs after the station was read again and before the first
    // write, while the lock is held.
    std::function<void()> afterReRead;
    // Test seam: runs after the writes and before the journal entry.
    std::function<void()> beforeJournal;

private:
    StoreOutcome SaveOnce(const StationValues& values, const std::optional<StationSnapshot>& loaded,
                          const ChangedQuestion& askOverwrite, int& nindex);
    // Inside a transaction holding the writer lock: reads station `code`
    // under its lock, writes what `plan` decides and journals it. Answers
    // the journal entry's id.
    std::optional<std::int64_t> WriteLocked(const class Transaction& tx, const std::string& code,
                                            const WritePlan& plan, int& nindex);
    StoreOutcome DeleteOnce(const std::string& code, const std::optional<StationSnapshot>& loaded,
                            const ChangedQuestion& askDelete);
    // The writes of a save inside its transaction: the SITE row, then (with
    // `locked`, the reading under the lock) the channel rows and the
    // removal of the stale ones.
    // With `last`, the removal of the stale rows is handed back there, not
    // sent: the journal sends it with its reading of the rows written.
    void WriteValues(const StationValues& values, const StationSnapshot* locked, int& nindex,
                     std::vector<std::string>* last = nullptr);

    // Takes the station's lock (when `tx` has begun) and reads the station
    // again: true when that reading is `loaded`, and then, inside a
    // transaction, `locked` receives it for the writes to follow. False
    // without `loaded` or when the station changed.
    bool LockedReadingIsLoaded(class Transaction& tx, const std::string& code,
                               const std::optional<StationSnapshot>& loaded, std::optional<StationSnapshot>& locked);
    // The station changed: rolls `tx` back, asks `ask`, and on yes begins
    // `tx` again and reads the station under its lock into `locked`. False
    // when the answer was no.
    bool AskThenLockAgain(class Transaction& tx, const std::string& code, const ChangedQuestion& ask,
                          std::optional<StationSnapshot>& locked);

    // The station read again under `lock` (ReReadStation); where the
    // journal is kept, its exact rows are read by the same request and kept
    // as the write's "before".
    StationSnapshot LockedReading(const std::string& code, const StationLock& lock);
    // The station's rows before a write, as the locked reading found them,
    // when the journal is kept and a transaction holds the write.
    std::optional<ExactStation> JournalBefore(const class Transaction& tx) const;
    // Adds the write's entry, with the rows read back (none after a delete),
    // and answers its id. `writes`, the write's last statements, go first,
    // with the entry where the driver allows (and alone when not journaled).
    std::optional<std::int64_t> JournalAfter(const std::optional<ExactStation>& before, const std::string& operation,
                                             const std::string& code, bool deleted,
                                             const std::vector<std::string>& writes = {});

    CDatabase& session_;
    std::optional<std::int64_t> lastEntry_;
    std::string reason_;
    bool journaling_ = false;                 // this operation is journaled
    std::optional<ExactStation> lockedRows_;  // the last locked reading's exact rows
    bool inGroup_ = false;                    // a group write is under way
    std::optional<int> groupNextIndex_;       // the NINDEX its next new station takes
};

// The filter of the read of one channel cell's row by its key (STA, CHAN,
// NGROUP, CHANINDEX), before the row is updated or inserted.
std::string ChannelRowFilter(const std::string& code, const std::string& chan, int group, int component);

// The filter of a save's one read of which channel cells hold a row: the
// station's rows in groups 1 to 7, components 0 to 2.
std::string ChannelCellsFilter(const std::string& code);

// The SITECHAN deletions of a save: the station's rows in groups 1 to
// `groups`, components 0 to 2, whose name is none of `kept`.
std::string StaleChannelsStatement(const std::string& code, int groups, const std::vector<std::string>& kept);
