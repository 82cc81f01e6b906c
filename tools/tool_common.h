#pragma once
// What the catalogue programs share: exit statuses, their settings and the
// read-only reading of the catalogue.

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "platform/profile_reader.h"
#include "tools/catalogue.h"

// Exit statuses of the catalogue programs.
namespace ExitStatus {
inline constexpr int Clean = 0;
inline constexpr int Findings = 1;
inline constexpr int CouldNotRun = 2;
}  // namespace ExitStatus

// The settings a catalogue program runs with, found as the form finds them.
struct ToolSettings {
    ProfileReader profile;  // zrn.ini, wherever the lookup found it
    std::string connect;    // from ODBC=, USER=, PASSWORD=, else zrn.ini, else the defaults
};
ToolSettings ResolveToolSettings(const CommandLineValues& tokens);

// Station codes as given on the command line, upper-cased as the form's
// station box does.
std::vector<std::string> StationCodes(const std::vector<std::string>& arguments);

// Opens a read-only session, reads the catalogue of `stations` (all when
// empty) and closes the session. On any failure, or when a listed station is
// not in SITE, writes the reason to `err` and answers nullopt.
std::optional<Catalogue> ReadCatalogueReadOnly(const std::string& connect, const std::vector<std::string>& stations,
                                               std::ostream& err);
