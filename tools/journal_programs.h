#pragma once
// station-history and station-restore as functions, so that tests run them
// as the programs run.

#include <ostream>

// station-history [STA...] [--since TIME] [--until TIME] [--json]
// [ODBC=..] [USER=..] [PASSWORD=..]. Answers 0, or 2 when it could not run.
int RunStationHistory(int argc, char** argv, std::ostream& out, std::ostream& err);

// station-restore STA (--before ID | --at TIME) [--reason TEXT] [--dry-run]
// [ODBC=..] [USER=..] [PASSWORD=..]. Answers 0 when the station is as asked
// (restored, or already so), 1 when it changed meanwhile and nothing was
// written, 2 when it could not run.
int RunStationRestore(int argc, char** argv, std::ostream& out, std::ostream& err);
