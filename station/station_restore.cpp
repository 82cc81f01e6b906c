#include "station/station_restore.h"

#include "db/select_rows.h"
#include "db/sql_text.h"
#include "station/journal_text.h"
#include "station/station_journal.h"

RestoreResult RestoreStation(CDatabase& session, const std::string& code, std::int64_t beforeEntry,
                             const std::string& reason, const ChangedQuestion& askChanged, bool dryRun) {
    const std::optional<JournalEntry> entry = ReadJournalEntry(session, beforeEntry);
    if (!entry) throw RestoreError("в журнале нет записи " + std::to_string(beforeEntry));
    if (entry->code != code)
        throw RestoreError("запись " + std::to_string(beforeEntry) + " журнала относится к станции " + entry->code +
                           ", не " + code);
    // What the user is shown, and what the store checks under its lock that
    // nobody changed meanwhile.
    const StationSnapshot loaded = ReadStation(session, code);
    const ExactStation current = ReadExactStation(session, code);
    RestoreResult result{StoreOutcome::Done, std::nullopt,
                         ChangeLines(StationChanges(current, entry->beforeRows))};
    if (dryRun || SameRows(current, entry->beforeRows)) return result;
    StationStore store(session);
    store.SetReason(reason);
    result.outcome = store.Restore(code, entry->beforeRows, loaded, askChanged);
    result.entry = store.LastEntry();
    return result;
}

std::optional<std::int64_t> FirstEntryAfter(CDatabase& session, const std::string& code, const std::string& time) {
    const std::vector<ValueRow> rows =
        SelectRows(session,
                   "select min(ID) from STATION_JOURNAL where STA=" + SqlQuote(code) + " and CHANGED_AT>" +
                       SqlQuote(time),
                   {FieldKind::Floating});
    if (rows.empty()) return std::nullopt;
    const std::optional<double> id = NumberOf(rows.front().front());
    if (!id) return std::nullopt;
    return static_cast<std::int64_t>(*id);
}
