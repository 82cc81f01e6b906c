#pragma once
// station-serve as a function: the FDSN station web service on the catalogue.

#include <ostream>

// station-serve [--listen ADDRESS:PORT] [--network CODE] [ODBC=..] [USER=..] [PASSWORD=..]
// Serves until SIGINT or SIGTERM. Writes "station-serve: http://ADDRESS:PORT/fdsnws/station/1/"
// to `out` once listening (port 0 takes a free port), each failed request
// to `err`. Answers 0 after a stop, 2 when it could not start.
int RunStationServe(int argc, char** argv, std::ostream& out, std::ostream& err);
