#pragma once
// The differences between two states of a station, field by field, as
// station-history and station-restore show them: the form's Russian labels
// and Z/N/E in text, the column names in JSON.

#include <string>
#include <vector>

#include "station/exact_station.h"
#include "station/station_journal.h"

// One column whose value differs between two states of a station.
struct FieldChange {
    bool site = true;       // SITE, else SITECHAN
    int group = 0;          // of a channel row: NGROUP
    int component = 0;      // of a channel row: CHANINDEX
    std::string chan;       // of a channel row: CHAN
    std::string event;      // of a channel row: "added", "removed", or "" when changed in place
    std::string column;
    catalogue::Kind kind = catalogue::Kind::Text;
    CellValue before, after;
};

// The columns that differ from `before` to `after`. Channel rows are matched
// by group, component and name, then those left by group and component; a row
// without a match is added or removed (its non-NULL columns listed).
std::vector<FieldChange> StationChanges(const ExactStation& before, const ExactStation& after);

// The changes as lines "  <label>: old -> new"; a channel's lines begin with
// "группа G C (CHAN)". LDDATE, which every write sets, is left out of text.
std::vector<std::string> ChangeLines(const std::vector<FieldChange>& changes);

// One item of a station's history: an entry, or a change made outside our
// programs found between two entries (its before: the older entry's after,
// its after: the newer entry's before).
struct HistoryItem {
    JournalEntry entry;
    bool outside = false;
};

// The entries (newest first) with, between two entries of one station whose
// states do not join, the change made outside station-editor.
std::vector<HistoryItem> HistoryOf(std::vector<JournalEntry> entries);

// An item as text: a heading line (time, user@host, program, operation,
// station, reason) and its change lines.
std::string HistoryText(const HistoryItem& item);
// The items as one JSON array, column names for the changes.
std::string HistoryJson(const std::vector<HistoryItem>& items);
