#include "station/station_store.h"

#include <algorithm>
#include <ctime>
#include <set>
#include <utility>

#include "db/savepoint.h"
#include "db/session.h"
#include "db/sql_text.h"
#include "station/station_queries.h"
#include "db/transaction.h"
#include "db/wall_clock.h"
#include "station/catalogue_columns.h"
#include "station/component_orientation.h"
#include "station/restore_statements.h"
#include "station/site_statement.h"
#include "station/station_journal.h"
#include "station/station_recordsets.h"

namespace {

// The two deletions of a station, in the order they run.
std::string DeleteChannelsStatement(const std::string& code) {
    return "delete from SITECHAN where STA=" + SqlQuote(code);
}
std::string DeleteSiteStatement(const std::string& code) { return "delete from SITE where STA=" + SqlQuote(code); }

// The values of one channel cell on a CSiteChan row being inserted or edited.
void SetChannelFields(CSiteChan& row, const std::string& code, const ChannelValues& c, bool insert) {
    row.STA = code;
    row.CHAN = c.chan;
    row.NGROUP = c.group;
    row.CHANINDEX = c.component;
    row.SPS = c.sps;
    // The form does not show the orientation: a new row starts with the one
    // its component means, an existing one keeps what it has.
    if (insert) {
        const Orientation start = ComponentOrientation(c.component).value_or(Orientation{});
        row.HANG = start.hang;
        row.VANG = start.vang;
    }
    // What a caller gives of the placement is written over either.
    const std::pair<const std::optional<double>&, ExactDouble&> placement[] = {
        {c.hang, row.HANG}, {c.vang, row.VANG}, {c.edeph, row.EDEPH}, {c.lat, row.LAT}, {c.lon, row.LON}};
    for (const auto& [given, column] : placement)
        if (given) column = *given;
    row.CALIBFILE = c.calibFile;
    row.LDDATE = LocalWallClock(std::time(nullptr));
    row.LCODE = c.locCode;
    row.DESCR = c.sensorType;
}

// One SITECHAN row through CSiteChan: found by its key and updated, or inserted.
void WriteChannelRow(CDatabase& session, const std::string& code, const ChannelValues& c) {
    CSiteChan row(&session);
    row.Filter = ChannelRowFilter(code, c.chan, c.group, c.component);
    row.Open();
    const bool insert = row.IsEndOfSet();
    if (insert)
        row.BeginInsert();
    else
        row.BeginEdit();
    SetChannelFields(row, code, c, insert);
    row.Update();
    row.Close();
}

// The cells the read of the station's channel rows covers: every group of the
// grid, components 0 to 2.
constexpr int kLastGroup = catalogue::kGroupMax;
constexpr int kLastComponent = catalogue::kLastComponent;
bool CellIsRead(const ChannelValues& c) {
    return c.group >= 1 && c.group <= kLastGroup && c.component >= 0 && c.component <= kLastComponent;
}

// Writes the channel rows of a save. One read of the station's rows in the
// cells that can be written tells which cells hold a row: a cell whose group
// and component hold no row at all (whatever its name) has none the key read
// of WriteChannelRow would find, so its new row is queued and all of them
// are sent together; every other cell takes WriteChannelRow as before. The
// comparison of names is left to the database: a cell holding a row of
// another name still takes the read by its key.
// `locked`, the station as read under the lock the writes follow, already
// tells which cells of its groups hold a row: when it covers every cell and
// fewer than two are new, the cells take WriteChannelRow without that read,
// which would save nothing there.
// With `noRows`, the locked reading found no channel row of the code at
// all: every cell is new and nothing needs reading.
void WriteChannelRows(CDatabase& session, const std::string& code, const std::vector<ChannelValues>& channels,
                      const StationSnapshot* locked, bool noRows) {
    if (locked != nullptr) {
        const int groups = ChannelGroupsRead(*locked);
        std::set<std::pair<int, int>> stored;
        for (const ChannelRow& row : locked->channels) stored.emplace(row.NGROUP, row.CHANINDEX);
        std::size_t fresh = 0;
        bool covered = true;
        for (const ChannelValues& c : channels) {
            covered = covered && c.group >= 1 && c.group <= groups;
            if (stored.count({c.group, c.component}) == 0) ++fresh;
        }
        if (covered && fresh < 2) {
            for (const ChannelValues& c : channels) WriteChannelRow(session, code, c);
            return;
        }
    }
    CSiteChan rows(&session);
    rows.Filter = ChannelCellsFilter(code);
    if (noRows)
        rows.OpenWithoutRows();
    else
        rows.Open();
    std::set<std::pair<int, int>> taken;  // group and component of the rows read and queued
    for (; !rows.IsEndOfSet(); rows.MoveNext()) taken.emplace(rows.NGROUP, rows.CHANINDEX);
    std::set<std::pair<int, int>> queued;
    rows.QueueInserts();
    for (const ChannelValues& c : channels) {
        const std::pair<int, int> cell{c.group, c.component};
        if (CellIsRead(c) && taken.insert(cell).second) {
            rows.BeginInsert();
            SetChannelFields(rows, code, c, true);
            rows.Update();
            queued.insert(cell);
            continue;
        }
        // A second cell of a queued row's group and component reads that row
        // as stored: the queue goes first.
        if (queued.count(cell) != 0) {
            rows.FlushInserts();
            queued.clear();
            rows.QueueInserts();
        }
        WriteChannelRow(session, code, c);
    }
    rows.FlushInserts();
    rows.Close();
}

// The SITE statement's values from the station's.
SiteRowValues SiteStatementValues(const StationValues& v, int nindex, bool exists) {
    SiteRowValues row;
    row.nindex = nindex;
    row.ngroups = v.ngroups;
    row.lat = v.lat;
    row.lon = v.lon;
    row.elev = v.elev;
    row.descr = v.descr;
    row.staname = v.staname;
    row.cod = v.cod;
    row.onDate = v.onDate;
    row.offDate = exists ? v.offDateOnUpdate : v.offDate;
    row.nullDates = v.datesAsGiven;
    row.refsta = v.refsta;
    row.deast = v.deast;
    row.dnorth = v.dnorth;
    row.underground = v.underground;
    row.lddate = WallClockText(UtcWallClock(std::time(nullptr)));
    row.sta = v.code;
    return row;
}

}  // namespace

std::string ChannelRowFilter(const std::string& code, const std::string& chan, int group, int component) {
    return "STA=" + SqlQuote(code) + " and CHAN=" + SqlQuote(chan) + " and NGROUP=" + std::to_string(group) +
           " and CHANINDEX=" + std::to_string(component);
}

std::string ChannelCellsFilter(const std::string& code) {
    return "STA=" + SqlQuote(code) + " and NGROUP between 1 and " + std::to_string(kLastGroup) +
           " and CHANINDEX between 0 and " + std::to_string(kLastComponent);
}

std::string StaleChannelsStatement(const std::string& code, int groups, const std::vector<std::string>& kept) {
    std::string sql = "delete from SITECHAN where STA=" + SqlQuote(code) + " and NGROUP between 1 and " +
                      std::to_string(groups) + " and CHANINDEX between 0 and " + std::to_string(kLastComponent) + " ";
    for (const std::string& name : kept) sql += "and CHAN<>" + SqlQuote(name) + " ";
    return sql;
}

StationSnapshot StationStore::Read(const std::string& code) { return ReadStation(session_, code); }

std::vector<std::string> StationStore::StationCodes() {
    // Only STA is read, in blocks of rows, from the record set's own query.
    CSite site(&session_);
    return site.ReadTextColumn(CSite::kStationCodeField);
}

int StationStore::NextStationIndex() { return CheckedNextStationIndex(session_); }

bool StationStore::LockedReadingIsLoaded(Transaction& tx, const std::string& code,
                                         const std::optional<StationSnapshot>& loaded,
                                         std::optional<StationSnapshot>& locked) {
    if (!loaded) return false;
    // The lock is taken before or by the reading of the SITE row, so that no
    // other writer can land between this reading and the writes that follow.
    const StationLock lock = tx.Begun() ? LockStationForWriting(session_) : StationLock{};
    StationSnapshot now = LockedReading(code, lock);
    if (!SameStation(*loaded, now)) return false;
    if (tx.Begun()) locked = std::move(now);
    return true;
}

bool StationStore::AskThenLockAgain(Transaction& tx, const std::string& code, const ChangedQuestion& ask,
                                    std::optional<StationSnapshot>& locked) {
    // Nothing is held while the question waits for its answer.
    tx.Rollback();
    if (!ask(code)) return false;
    // Locked again for the writes; this reading is what they follow.
    if (tx.Begin()) locked = LockedReading(code, LockStationForWriting(session_));
    return true;
}

namespace {

// Runs one attempt of a writing transaction, and again while it ends in a
// conflict with another transaction, kTransactionAttempts times in all.
template <typename Attempt>
StoreOutcome Retried(const Attempt& attempt) {
    for (int tried = 1;; ++tried) {
        try {
            return attempt();
        } catch (const CDBException& e) {
            if (tried >= kTransactionAttempts || !IsTransactionConflict(e)) throw;
        }
    }
}

}  // namespace

void StationStore::WriteValues(const StationValues& values, const StationSnapshot* locked, int& nindex,
                               std::vector<std::string>* last) {
    // Read under the writer lock, which every writer holds to its commit;
    // in a group write, once, and counted on from there for its new stations.
    if (values.nindex != 0) {
        nindex = values.nindex;
    } else if (groupNextIndex_) {
        nindex = (*groupNextIndex_)++;
    } else {
        nindex = CheckedNextStationIndex(session_);
        if (inGroup_) groupNextIndex_ = nindex + 1;
    }
    // The reading under the lock found the SITE row by "STA=code", as the
    // update will: the database's own comparison decides.
    const bool exists = locked ? locked->site.has_value() : CheckedStationRowExists(session_, "SITE", values.code);
    session_.ExecuteDirect(BuildSiteStatement(SiteStatementValues(values, nindex, exists), exists));
    if (locked == nullptr) return;

    // The journal's reading under the lock holds every channel row of the
    // code: when it found none, the rows written now are the only ones, and
    // there are neither rows to read first nor stale ones to remove.
    const bool noRows = lockedRows_ && lockedRows_->channels.empty();
    WriteChannelRows(session_, values.code, values.channels, locked, noRows);
    if (noRows) return;
    std::vector<std::string> written;
    for (const ChannelValues& c : values.channels) written.push_back(c.chan);
    written.insert(written.end(), values.keptChannels.begin(), values.keptChannels.end());
    // The groups the locked reading holds go too: a row the caller never saw
    // would else stay hidden beyond the new NGROUPS.
    const int groups = catalogue::StaleGroups(ChannelGroupsRead(*locked), values.staleGroups);
    std::string stale = StaleChannelsStatement(values.code, groups, written);
    if (last != nullptr)
        last->push_back(std::move(stale));
    else
        session_.ExecuteDirect(stale);
}

StoreOutcome StationStore::Save(const StationValues& values, const std::optional<StationSnapshot>& loaded,
                                const ChangedQuestion& askOverwrite, int& nindex) {
    return Retried([&] { return SaveOnce(values, loaded, askOverwrite, nindex); });
}

StationSnapshot StationStore::LockedReading(const std::string& code, const StationLock& lock) {
    if (!journaling_) return ReReadStation(session_, code, lock);
    lockedRows_ = ReadExactStationLocked(session_, code, lock);
    return ShownSnapshot(*lockedRows_);
}

std::optional<ExactStation> StationStore::JournalBefore(const Transaction& tx) const {
    if (!journaling_ || !tx.Begun()) return std::nullopt;
    return lockedRows_;
}

std::optional<std::int64_t> StationStore::JournalAfter(const std::optional<ExactStation>& before,
                                                       const std::string& operation, const std::string& code,
                                                       bool deleted, const std::vector<std::string>& writes) {
    // Where the driver takes them in the entry's request, the write's last
    // statements go there: nothing can come between them and the entry.
    const bool together = before && JournalTakesWrites(session_);
    if (!together)
        for (const std::string& write : writes) session_.ExecuteDirect(write);
    if (beforeJournal) beforeJournal();
    if (!before) return std::nullopt;
    // After a delete the station has no rows: nothing to read back, and the
    // deletions go with the entry. After any other write they go with the
    // reading back of the rows written.
    if (deleted) return AppendJournal(session_, operation, code, reason_, *before, ExactStation{},
                                      together ? writes : std::vector<std::string>{});
    const ExactStation after = ReadExactStation(session_, code, together ? writes : std::vector<std::string>{});
    return AppendJournal(session_, operation, code, reason_, *before, after);
}

StoreOutcome StationStore::SaveOnce(const StationValues& values, const std::optional<StationSnapshot>& loaded,
                                    const ChangedQuestion& askOverwrite, int& nindex) {
    // Asked before the transaction: a failed question would end it.
    journaling_ = JournalAvailable(session_);
    lockedRows_.reset();
    // The SITE row and the channel rows are written in one transaction: a
    // failure anywhere leaves both as they were.
    Transaction tx(session_, &CatalogueWriterLock());
    std::optional<StationSnapshot> locked;
    if (!LockedReadingIsLoaded(tx, values.code, loaded, locked) &&
        !AskThenLockAgain(tx, values.code, askOverwrite, locked))
        return StoreOutcome::Cancelled;
    if (afterReRead) afterReRead();
    const std::optional<ExactStation> before = JournalBefore(tx);
    // Without transactions the channel rows are not written piecemeal.
    std::vector<std::string> last;
    WriteValues(values, locked ? &*locked : nullptr, nindex, before ? &last : nullptr);
    if (!tx.Begun()) return StoreOutcome::NoTransaction;
    const std::optional<std::int64_t> entry =
        JournalAfter(before, locked && locked->site ? "update" : "insert", values.code, false, last);
    tx.Commit();
    lastEntry_ = entry;
    return StoreOutcome::Done;
}

std::optional<std::int64_t> StationStore::WriteLocked(const Transaction& tx, const std::string& code,
                                                      const WritePlan& plan, int& nindex) {
    lockedRows_.reset();
    const StationSnapshot locked = LockedReading(code, LockStationForWriting(session_));
    if (afterReRead) afterReRead();
    const std::optional<StationValues> values = plan(locked);
    if (!values) return std::nullopt;  // nothing to write
    const std::optional<ExactStation> before = JournalBefore(tx);
    std::vector<std::string> last;
    WriteValues(*values, &locked, nindex, before ? &last : nullptr);
    return JournalAfter(before, locked.site ? "update" : "insert", values->code, false, last);
}

StoreOutcome StationStore::Write(const std::string& code, const WritePlan& plan, int& nindex) {
    journaling_ = JournalAvailable(session_);
    return Retried([&] {
        Transaction tx(session_, &CatalogueWriterLock());
        if (!tx.Begun()) return StoreOutcome::NoTransaction;
        const std::optional<std::int64_t> entry = WriteLocked(tx, code, plan, nindex);
        tx.Commit();
        lastEntry_ = entry;
        return StoreOutcome::Done;
    });
}

StoreOutcome StationStore::WriteGroup(const std::vector<GroupMember>& members, std::chrono::milliseconds budget,
                                      std::vector<GroupOutcome>& outcomes) {
    outcomes.clear();
    journaling_ = JournalAvailable(session_);
    Transaction tx(session_, &CatalogueWriterLock());
    if (!tx.Begun()) return StoreOutcome::NoTransaction;
    // The group's next NINDEX holds while its transaction does.
    struct GroupScope {
        StationStore& store;
        explicit GroupScope(StationStore& s) : store(s) { store.inGroup_ = true; }
        ~GroupScope() {
            store.inGroup_ = false;
            store.groupNextIndex_.reset();
        }
    } const scope(*this);
    const auto end = std::chrono::steady_clock::now() + budget;
    // Where the driver takes several statements in one text, a station's
    // savepoint is released and the next one's set in one request.
    const bool oneText = JournalTakesWrites(session_);
    std::optional<Savepoint> station;
    for (const GroupMember& member : members) {
        // Once the budget is spent no station is begun; one whose savepoint
        // is set already goes on.
        if (!station && !outcomes.empty() && std::chrono::steady_clock::now() >= end) break;
        GroupOutcome& outcome = outcomes.emplace_back();
        if (!station) station.emplace(session_, "station_write");
        try {
            outcome.entry = WriteLocked(tx, member.code, member.plan, outcome.nindex);
        } catch (const CDBException& e) {
            // A conflict may have ended the whole transaction on the server:
            // the group goes back to its caller.
            if (IsTransactionConflict(e)) throw;
            station->RollBack();
            station.reset();
            outcome.refused = e;
            outcome.entry.reset();
            continue;
        }
        if (&member == &members.back() || std::chrono::steady_clock::now() >= end) {
            station->Release();
            station.reset();
        } else {
            station->Renew(oneText);
        }
    }
    tx.Commit();
    lastEntry_.reset();
    for (const GroupOutcome& outcome : outcomes)
        if (outcome.entry) lastEntry_ = outcome.entry;
    return StoreOutcome::Done;
}

StoreOutcome StationStore::Delete(const std::string& code, const std::optional<StationSnapshot>& loaded,
                                  const ChangedQuestion& askDelete) {
    return Retried([&] { return DeleteOnce(code, loaded, askDelete); });
}

StoreOutcome StationStore::Restore(const std::string& code, const ExactStation& rows,
                                   const std::optional<StationSnapshot>& loaded, const ChangedQuestion& askChanged) {
    journaling_ = JournalAvailable(session_);
    return Retried([&] {
        Transaction tx(session_, &CatalogueWriterLock());
        if (!tx.Begun()) return StoreOutcome::NoTransaction;
        std::optional<StationSnapshot> locked;
        if (!LockedReadingIsLoaded(tx, code, loaded, locked) && !AskThenLockAgain(tx, code, askChanged, locked))
            return StoreOutcome::Cancelled;
        if (!tx.Begun()) return StoreOutcome::NoTransaction;
        if (afterReRead) afterReRead();
        const std::optional<ExactStation> before = JournalBefore(tx);
        session_.ExecuteDirect(DeleteChannelsStatement(code));
        session_.ExecuteDirect(DeleteSiteStatement(code));
        for (const std::string& sql : RestoreStatements(rows)) session_.ExecuteDirect(sql);
        const std::optional<std::int64_t> entry = JournalAfter(before, "restore", code, false);
        tx.Commit();
        lastEntry_ = entry;
        return StoreOutcome::Done;
    });
}

StoreOutcome StationStore::DeleteOnce(const std::string& code, const std::optional<StationSnapshot>& loaded,
                                      const ChangedQuestion& askDelete) {
    journaling_ = JournalAvailable(session_);
    lockedRows_.reset();
    Transaction tx(session_, &CatalogueWriterLock());
    if (!tx.Begun()) return StoreOutcome::NoTransaction;
    std::optional<StationSnapshot> locked;
    if (!LockedReadingIsLoaded(tx, code, loaded, locked) && !AskThenLockAgain(tx, code, askDelete, locked))
        return StoreOutcome::Cancelled;
    if (!tx.Begun()) return StoreOutcome::NoTransaction;
    if (afterReRead) afterReRead();
    const std::optional<ExactStation> before = JournalBefore(tx);
    const std::optional<std::int64_t> entry =
        JournalAfter(before, "delete", code, true, {DeleteChannelsStatement(code), DeleteSiteStatement(code)});
    tx.Commit();
    lastEntry_ = entry;
    return StoreOutcome::Done;
}
