#pragma once
// Which database a program works on, decided the same way by the editor and
// by every command-line program: the data source of the connection settings,
// or the personal SQLite database that stands in when nothing names one.

#include <functional>
#include <string>

#include "settings/command_line.h"
#include "settings/connection_settings.h"

class CDatabase;
class CDBException;
class ProfileReader;

// The database a program was pointed at, before any connection is tried.
struct DatabaseChoice {
    ConnectionSettings settings;  // from the command line, else zrn.ini, else the defaults
    std::string connectString;    // BuildConnectString(settings)
    std::string configPath;       // the zrn.ini read (named by ZRN_INI or found); empty when none
    // The personal database, tried when the settings' data source is not
    // defined; empty when zrn.ini or ODBC= names the database (then an
    // undefined data source is an error to report, not a reason to fall back).
    std::string personalPath;
    // A connect string given whole on the command line names the database:
    // then the failure report says nothing of zrn.ini.
    bool namedByConnectString = false;
};

// $XDG_DATA_HOME/station-editor/zrn.sqlite (default
// ~/.local/share/station-editor/zrn.sqlite); empty when neither variable is set.
std::string PersonalDatabasePath();

// The choice of a program started with `commandLine` that read `profile`.
DatabaseChoice ChooseDatabase(const CommandLineValues& commandLine, const ProfileReader& profile,
                              const std::string& personalPath = PersonalDatabasePath());

// The DSN-less connect string of an SQLite file: "DRIVER=SQLite3;Database=<path>;".
std::string SqliteConnectString(const std::string& path);

// True when the driver manager did not know the data source (SQLSTATE IM002).
bool IsUnknownDataSource(const CDBException& e);

// How a program opens the chosen database.
struct OpenRequest {
    unsigned options = 0;   // OpenOptions of the session
    std::string extraKeys;  // appended to the connect string, e.g. "ReadOnly=1;"
    // Creates the personal database when missing and answers whether it did
    // (the editor; may throw CDBException or std::runtime_error). Without it
    // the personal database is used only when it exists (the command-line
    // programs never create it).
    std::function<bool(const std::string& path)> createPersonal;
};

// What opening gave.
struct OpenOutcome {
    bool open = false;
    bool personal = false;         // the session works on the personal database
    bool createdPersonal = false;  // ... which this open created
    std::string connectString;     // the connect string tried last (without extraKeys)
    std::string failure;           // when not open: the whole report, password masked
};

// Opens `session` on the chosen database: the settings' data source, or, when
// the driver manager does not know it and the choice allows, the personal
// database. On failure the report names the database tried (password masked),
// gives the driver's text, the Debian package of a missing ODBC driver, the
// zrn.ini read (or where it was looked for) and the personal database.
OpenOutcome OpenChosenDatabase(CDatabase& session, const DatabaseChoice& choice, const OpenRequest& request);
