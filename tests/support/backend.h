#pragma once
// The database a test runs against: SQLite, PostgreSQL or MariaDB, chosen by
// the environment that ./test.sh sets up (SE_BACKEND, ODBCINI, SE_TEST_UID,
// SE_TEST_PWD). A suite run without that environment fails; it never skips.

#include <string>
#include <vector>

class CDatabase;

// One configured test database.
struct Backend {
    std::string name;      // "sqlite", "postgres" or "mariadb"
    std::string dsn;       // data source name in the ODBCINI file
    std::string user;
    std::string password;

    // "DSN=<dsn>;UID=<user>;PWD=<password>;", the form the program builds.
    std::string ConnectString() const;
    // Folder of this backend's scripts under sql/.
    std::string SqlDir() const;
};

// The backend of this run, from SE_BACKEND. Fails the test (ADD_FAILURE and
// an exception) when the environment is not there.
const Backend& CurrentBackend();

// Runs a file of ';'-terminated statements on the session.
void RunSqlScript(CDatabase& session, const std::string& path);

// Drops SITE, SITECHAN, FILELIST, ORIGIN and ARRIVAL if present and creates
// them again from the backend's base-table script (the shape before upgrade).
void CreateBaseTables(CDatabase& session);

// CreateBaseTables, then the schema upgrade, failing the test on any message:
// the tables as the program works on them.
void CreateStationTables(CDatabase& session);

// Drops a table if it exists; no error when it does not.
void DropTableIfExists(CDatabase& session, const std::string& table);

// A table a test makes beside the catalogue (one referencing SITE, say):
// dropped when the guard is made, in case an earlier run left it, and when
// the guard goes, however the test ends, so that no later test finds it.
class TableDropGuard {
public:
    TableDropGuard(CDatabase& session, std::string table);
    ~TableDropGuard();
    TableDropGuard(const TableDropGuard&) = delete;
    TableDropGuard& operator=(const TableDropGuard&) = delete;

private:
    CDatabase& session_;
    std::string table_;
};

// Marks the running test skipped, naming `cases` (each with why this backend
// cannot serve it), when there are any: the cases of a table that one backend
// cannot serve are passed over, the others run, and the skip shows. Call it
// at the end of the test.
void SkipCasesNotServed(const std::vector<std::string>& cases);
