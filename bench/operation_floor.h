#pragma once
// What each operation needs of the database: the statements the form's
// design gives for it, picked out of what the program sent. A save's and a
// delete's reading of the station under its lock, which the lost-update
// check needs, is part of it. Everything else the program sent (settings,
// catalog questions, the writer lock, guards of the record-set layer, its
// own transaction layout) is not part of the floor and is listed as sent
// beyond it.

#include <string>
#include <vector>

#include "bench/odbc_recording.h"

enum class FloorOperation { StartUp, Keystroke, Save, Delete, Catalogue, History, Import };

// The floor of one operation and what the program sent beyond it.
struct OperationFloor {
    Recording floor;                 // the needed statements, with the transactions the design gives
    std::vector<std::string> beyond;  // one line per call the program sent beyond them
};

// Builds the floor from the calls the program's run sent. The needed
// statements keep the texts and parameter values the program used.
// Save: the SITE statement in auto-commit, then the channel rows (each
// record set's SELECT and its INSERT or UPDATE) and the deletion of the
// others in one transaction, then the refill and the reload. Delete: each of
// its two deletions in a transaction of its own, then the refill and the
// reload. Catalogue (station-check, station-export): one read of each table.
// History (station-history of one station): one read of its journal entries.
// Import (station-import): the INSERT of every SITE and SITECHAN row it
// wrote, each row sent once, in the program's transactions; what it sent
// beyond them is listed once per statement shape, with its count.
// A save's or delete's reading of the station under its lock (its SITE row
// read "for update", or SQLite's join of the two tables) is sent once, in
// auto-commit, where the program sent it; other reads of SITE or SITECHAN
// before the first write are not part of the floor, nor is a save's one
// read of which channel cells hold a row. Channel rows the program
// inserted together with one array-bound INSERT are in the floor row by row:
// the record set's read by the row's key and the row's own INSERT.
OperationFloor FloorOf(FloorOperation operation, const Recording& program);
