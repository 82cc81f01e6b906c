#pragma once
// station-check as a function, so that tests run it as the program runs.

#include <ostream>

// station-check [STA...] [ODBC=..] [USER=..] [PASSWORD=..] [--format text|json]
// Answers the exit status: 0 no finding, 1 findings, 2 could not run.
int RunStationCheck(int argc, char** argv, std::ostream& out, std::ostream& err);
