#pragma once
// Putting a station back as it was before a journal entry.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "station/station_store.h"

class CDatabase;

// How a restore ended, the entry it wrote, and the differences it wrote (or,
// in a dry run, would write).
struct RestoreResult {
    StoreOutcome outcome;
    std::optional<std::int64_t> entry;
    std::vector<std::string> differences;
};

// Writes station `code` back as it was before journal entry `beforeEntry`,
// through the station store under the lock, asking `askChanged` when the
// station changed since; journaled as a restore.
RestoreResult RestoreStation(CDatabase& session, const std::string& code, std::int64_t beforeEntry,
                             const std::string& reason, const ChangedQuestion& askChanged, bool dryRun = false);
