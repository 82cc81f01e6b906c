#include "app/personal_database.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <system_error>

#include "db/db_exception.h"
#include "db/session.h"
#include "db/sql_script.h"

namespace fs = std::filesystem;

namespace {

std::string ReadScript(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read the table script " + path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Runs every statement of the script on a new SQLite file at `path`.
void CreateTables(const std::string& path, const std::string& script) {
    CDatabase session;
    if (!session.Open(SqliteConnectString(path), OpenOptions::UseCursorLibrary | OpenOptions::NoOdbcDialog))
        throw std::runtime_error("the SQLite driver did not open " + path);
    for (const std::string& statement : SplitSqlStatements(script)) {
        try {
            session.ExecuteDirect(statement);
        } catch (CDBException& e) {
            // The statement is named before the driver's text; the records stay.
            e.ErrorText = statement + "\n" + e.ErrorText;
            throw;
        }
    }
    session.Close();
}

}  // namespace

PersonalDatabase DefaultPersonalDatabase() {
    PersonalDatabase database;
    database.path = PersonalDatabasePath();
    std::error_code ec;
    const fs::path program = fs::read_symlink("/proc/self/exe", ec);
    if (!ec)
        database.schemaScript =
            (program.parent_path().parent_path() / "share/station-editor/sql/sqlite/base_tables.sql").string();
    return database;
}

bool CreatePersonalDatabase(const PersonalDatabase& database) {
    if (database.path.empty())
        throw std::runtime_error("neither XDG_DATA_HOME nor HOME is set: no place for the personal database");
    // The connect string ends a value at ';'; such a path cannot be named in it.
    if (database.path.find(';') != std::string::npos)
        throw std::runtime_error("the path of the personal database holds a ';': " + database.path);
    std::error_code ec;
    if (fs::exists(database.path, ec)) return false;
    const std::string script = ReadScript(database.schemaScript);
    const fs::path folder = fs::path(database.path).parent_path();
    fs::create_directories(folder, ec);
    if (ec) throw std::runtime_error("cannot create the folder " + folder.string() + ": " + ec.message());

    const std::string fresh = database.path + ".new";
    fs::remove(fresh, ec);
    try {
        CreateTables(fresh, script);
    } catch (...) {
        fs::remove(fresh, ec);
        throw;
    }
    fs::rename(fresh, database.path, ec);
    if (ec) {
        fs::remove(fresh, ec);
        throw std::runtime_error("cannot move the new database to " + database.path);
    }
    return true;
}
