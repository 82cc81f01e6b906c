#pragma once
// The personal SQLite database a start works on when nothing names a database.

#include <string>

#include "settings/database_choice.h"

// Where the personal database lives and the script that creates its tables.
struct PersonalDatabase {
    std::string path;          // the SQLite file; empty when no home folder is known
    std::string schemaScript;  // the SQLite base-table script
};

// PersonalDatabasePath() (settings/database_choice.h), created from the script
// installed with the program:
// <folder of the program>/../share/station-editor/sql/sqlite/base_tables.sql.
PersonalDatabase DefaultPersonalDatabase();

// Creates the file with the script's tables unless it exists; true when it
// created it. The file is built under a temporary name and renamed when
// complete, so a failed creation leaves nothing behind. Throws CDBException
// for a failed statement (the statement prefixed to the driver's text) and
// std::runtime_error for a file or folder that cannot be used.
bool CreatePersonalDatabase(const PersonalDatabase& database);
