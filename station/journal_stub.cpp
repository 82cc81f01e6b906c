// Placeholders for the journal until its branch is merged: nothing is
// journaled, so there is nothing to restore.

#include <stdexcept>

#include "station/station_journal.h"
#include "station/station_restore.h"
#include "station/station_store.h"

std::vector<JournalEntry> ReadJournal(CDatabase&, const JournalQuery&) { return {}; }

RestoreResult RestoreStation(CDatabase&, const std::string&, std::int64_t, const std::string&, const ChangedQuestion&,
                             bool) {
    throw std::logic_error("the journal is not built yet");
}

std::optional<std::int64_t> StationStore::LastEntry() const { return std::nullopt; }
void StationStore::SetReason(std::string) {}
