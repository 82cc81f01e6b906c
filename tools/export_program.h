#pragma once
// station-export as a function, so that tests run it as the program runs.

#include <ostream>

// station-export --stationxml|--geojson|--text [--level station|channel] [STA...] [--network CODE] [-o FILE]
//                [--as-of TIME | --changed-since TIME]
//                [ODBC=..] [USER=..] [PASSWORD=..]
// The document goes to FILE (replaced only when complete) or to `out`.
// Answers 0 when every value was written as stored, 1 when some had to be
// written otherwise (each said on `err`), 2 when nothing could be written.
int RunStationExport(int argc, char** argv, std::ostream& out, std::ostream& err);
