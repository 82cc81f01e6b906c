#include "tests/support/backend.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <utility>

#include "db/schema_upgrade.h"
#include "db/session.h"
#include "db/sql_script.h"
#include "resources/string_table.h"

#ifndef SE_SQL_DIR
#error "SE_SQL_DIR must name the sql/ folder of the source tree"
#endif

namespace {

constexpr const char* kRunTestSh =
    "Database tests need the servers and data sources that ./test.sh sets up; run ./test.sh "
    "(or source the env.sh written by scripts/test-servers.sh start).";

// Reports a set-up failure to the running test and stops it.
[[noreturn]] void Fail(const std::string& message) {
    ADD_FAILURE() << message;
    throw std::runtime_error(message);
}

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

const char* const kStationTables[] = {"SITE", "SITECHAN", "FILELIST", "ORIGIN", "ARRIVAL"};

}  // namespace

std::string Backend::ConnectString() const {
    return "DSN=" + dsn + ";UID=" + user + ";PWD=" + password + ";";
}

std::string Backend::SqlDir() const { return std::string(SE_SQL_DIR) + "/" + name; }

const Backend& CurrentBackend() {
    // Only a complete environment is remembered, so that every test of a run
    // without it fails on its own rather than only the first.
    static std::optional<Backend> current;
    if (current) return *current;

    const std::string name = Env("SE_BACKEND");
    if (name.empty()) Fail(std::string("SE_BACKEND is not set. ") + kRunTestSh);
    if (name != "sqlite" && name != "postgres" && name != "mariadb")
        Fail("SE_BACKEND='" + name + "' is none of sqlite, postgres, mariadb. " + kRunTestSh);
    if (Env("ODBCINI").empty()) Fail(std::string("ODBCINI is not set. ") + kRunTestSh);

    Backend backend;
    backend.name = name;
    backend.dsn = "se_test_" + name;
    backend.user = Env("SE_TEST_UID");
    backend.password = Env("SE_TEST_PWD");
    if (name != "sqlite" && (backend.user.empty() || backend.password.empty()))
        Fail("SE_TEST_UID and SE_TEST_PWD must name the test user of the " + name + " server. " + kRunTestSh);
    current = std::move(backend);
    return *current;
}

void RunSqlScript(CDatabase& session, const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) Fail("cannot read SQL script " + path);
    const std::string script((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto statements = SplitSqlStatements(script);
    if (statements.empty()) Fail("SQL script " + path + " holds no statement");
    for (const auto& statement : statements) {
        try {
            session.ExecuteDirect(statement);
        } catch (const CDBException& e) {
            Fail(path + ": statement failed:\n" + statement + "\n" + e.ErrorText + e.StateText);
        }
    }
}

void DropTableIfExists(CDatabase& session, const std::string& table) {
    // IF EXISTS is understood by all three products; any other failure is real.
    try {
        session.ExecuteDirect("DROP TABLE IF EXISTS " + table);
    } catch (const CDBException& e) {
        Fail("DROP TABLE " + table + " failed:\n" + e.ErrorText + e.StateText);
    }
}

void CreateBaseTables(CDatabase& session) {
    for (const char* table : kStationTables) DropTableIfExists(session, table);
    RunSqlScript(session, CurrentBackend().SqlDir() + "/base_tables.sql");
}

void CreateStationTables(CDatabase& session) {
    CreateBaseTables(session);
    std::vector<std::string> messages;
    UpgradeSchema(session, [&messages](const ColumnUpgradeFailure& f) {
        messages.push_back(ColumnUpgradeFailureText(f.Table, f.Column, f.ErrorText));
    });
    if (!messages.empty()) {
        std::ostringstream all;
        all << "the schema upgrade reported " << messages.size() << " failure(s) on " << CurrentBackend().name
            << ":";
        for (const auto& message : messages) all << "\n" << message;
        Fail(all.str());
    }
}

TableDropGuard::TableDropGuard(CDatabase& session, std::string table) : session_(session), table_(std::move(table)) {
    DropTableIfExists(session_, table_);
}

TableDropGuard::~TableDropGuard() {
    // A failed drop is already a failure of the test (DropTableIfExists
    // adds it); a destructor must not throw on.
    try {
        DropTableIfExists(session_, table_);
    } catch (const std::runtime_error&) {
    }
}

void SkipCasesNotServed(const std::vector<std::string>& cases) {
    if (cases.empty()) return;
    std::string list;
    for (const std::string& c : cases) list += "\n  " + c;
    GTEST_SKIP() << "cases this backend cannot serve:" << list;
}
