#pragma once
// What the catalogue programs share: exit statuses, their settings and the
// read-only reading of the catalogue.

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "settings/command_line.h"
#include "settings/database_choice.h"
#include "platform/profile_reader.h"
#include "tools/catalogue.h"

class CDatabase;
class CDBException;

// Exit statuses of the catalogue programs.
namespace ExitStatus {
inline constexpr int Clean = 0;
inline constexpr int Findings = 1;
inline constexpr int CouldNotRun = 2;
}  // namespace ExitStatus

// The settings a catalogue program runs with, found as the form finds them.
struct ToolSettings {
    ProfileReader profile;    // zrn.ini, wherever the lookup found it
    DatabaseChoice database;  // from ODBC=, USER=, PASSWORD=, else zrn.ini, else the defaults;
                              // the personal database when nothing names one
};
ToolSettings ResolveToolSettings(const CommandLineValues& tokens);

// Station codes as given on the command line, by the rule of every station
// code (station/station_code.h): upper-cased as the form's station box does.
// nullopt when one breaks the rule, with "program: reason" written to `err`.
std::optional<std::vector<std::string>> StationCodes(const std::vector<std::string>& arguments, const char* program,
                                                     std::ostream& err);

// Opens `session` read-only as far as the driver allows: with the open option
// ReadOnly (SQL_ATTR_ACCESS_MODE, which none of the three drivers here
// enforces) and the connect-string key ReadOnly=1, with which psqlODBC
// refuses every statement but SELECT (the SQLite and MariaDB drivers ignore
// it). The personal database is used only when it exists. On failure writes
// the reason, naming the database tried, to `err` and answers false.
bool OpenReadOnlySession(CDatabase& session, const DatabaseChoice& database, std::ostream& err);
// The options and keys OpenReadOnlySession opens with.
OpenRequest ReadOnlyOpenRequest();

// Opens `session` for writing, without the driver's dialog. On failure
// writes the reason, naming the database tried, to `err` and answers false.
bool OpenWritableSession(CDatabase& session, const DatabaseChoice& database, std::ostream& err);

// Writes why SITE and SITECHAN could not be read, with the hint that
// station-upgrade adds the columns a catalogue of only the base tables lacks.
void WriteCatalogueReadFailure(const CDBException& e, std::ostream& err);

// Opens a read-only session, reads the catalogue of `stations` (all when
// empty) and closes the session. On any failure, or when a listed station is
// not in SITE, writes the reason to `err` and answers nullopt. `alsoRead`,
// when given, reads more on the same session afterwards; its false (the
// reason on `err`) fails the read.
std::optional<Catalogue> ReadCatalogueReadOnly(const DatabaseChoice& database, const std::vector<std::string>& stations,
                                               std::ostream& err,
                                               const std::function<bool(CDatabase&)>& alsoRead = {});
