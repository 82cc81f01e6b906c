#pragma once
// station-import as a function, so that tests run it as the program runs.

#include <ostream>

// station-import --stationxml FILE [STA...] [--at TIME] [--dry-run] [ODBC=..] [USER=..] [PASSWORD=..]
// Answers the exit status: 0 clean, 1 done with notes, 2 could not run.
int RunStationImport(int argc, char** argv, std::ostream& out, std::ostream& err);
