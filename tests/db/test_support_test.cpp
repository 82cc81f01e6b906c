// The test support itself: splitting SQL scripts, and refusing to run a
// database test without the environment of ./test.sh.

#include <gtest/gtest.h>
#include <gtest/gtest-spi.h>

#include <cstdlib>
#include <optional>
#include <stdexcept>
#include <string>

#include "db/sql_script.h"
#include "tests/support/backend.h"

namespace {

using Statements = std::vector<std::string>;

TEST(SplitSqlStatements, SplitsOnSemicolonsAndTrimsEachStatement) {
    EXPECT_EQ(SplitSqlStatements("CREATE TABLE A (X INT);\n\n  DROP TABLE B ;\n"),
              (Statements{"CREATE TABLE A (X INT)", "DROP TABLE B"}));
}

TEST(SplitSqlStatements, KeepsSemicolonsAndDashesInsideLiterals) {
    EXPECT_EQ(SplitSqlStatements("INSERT INTO T VALUES ('a;b', 'it''s; -- not a comment');"),
              (Statements{"INSERT INTO T VALUES ('a;b', 'it''s; -- not a comment')"}));
}

TEST(SplitSqlStatements, DropsCommentsAndEmptyStatements) {
    EXPECT_EQ(SplitSqlStatements("-- header; with a semicolon\n;;\nSELECT 1 -- trailing\nFROM T;\n-- end"),
              (Statements{"SELECT 1 \nFROM T"}));
}

TEST(SplitSqlStatements, TakesTextAfterTheLastSemicolonAsAStatement) {
    EXPECT_EQ(SplitSqlStatements("SELECT 1; SELECT 2"), (Statements{"SELECT 1", "SELECT 2"}));
    EXPECT_TRUE(SplitSqlStatements(" \n\t").empty());
}

TEST(SplitSqlStatements, KeepsMultibyteTextWhole) {
    EXPECT_EQ(SplitSqlStatements("INSERT INTO SITE (DESCR) VALUES ('Кисловодск');"),
              (Statements{"INSERT INTO SITE (DESCR) VALUES ('Кисловодск')"}));
}

// Sets an environment variable for one scope and puts the old value back.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~ScopedEnv() {
        if (old_)
            setenv(name_, old_->c_str(), 1);
        else
            unsetenv(name_);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    std::optional<std::string> old_;
};

bool g_threw = false;

void AskForTheBackend() {
    g_threw = false;
    try {
        CurrentBackend();
    } catch (const std::runtime_error&) {
        g_threw = true;
    }
}

TEST(CurrentBackend, FailsAndPointsToTestShWithoutABackend) {
    ScopedEnv backend("SE_BACKEND", nullptr);
    EXPECT_NONFATAL_FAILURE(AskForTheBackend(), "./test.sh");
    EXPECT_TRUE(g_threw);
}

TEST(CurrentBackend, FailsForAnUnknownBackend) {
    ScopedEnv backend("SE_BACKEND", "oracle");
    EXPECT_NONFATAL_FAILURE(AskForTheBackend(), "oracle");
    EXPECT_TRUE(g_threw);
}

TEST(CurrentBackend, FailsForAServerWithoutTheTestUser) {
    ScopedEnv backend("SE_BACKEND", "postgres");
    ScopedEnv ini("ODBCINI", "/nonexistent/odbc.ini");
    ScopedEnv user("SE_TEST_UID", nullptr);
    EXPECT_NONFATAL_FAILURE(AskForTheBackend(), "SE_TEST_UID");
    EXPECT_TRUE(g_threw);
}

TEST(CurrentBackend, NamesTheDataSourceAndConnectStringAfterTheBackend) {
    ScopedEnv backend("SE_BACKEND", "mariadb");
    ScopedEnv ini("ODBCINI", "/nonexistent/odbc.ini");
    ScopedEnv user("SE_TEST_UID", "tester");
    ScopedEnv password("SE_TEST_PWD", "secret");
    const Backend& b = CurrentBackend();
    EXPECT_EQ(b.dsn, "se_test_mariadb");
    EXPECT_EQ(b.ConnectString(), "DSN=se_test_mariadb;UID=tester;PWD=secret;");
    EXPECT_EQ(b.SqlDir().substr(b.SqlDir().size() - 12), "/sql/mariadb");
}

}  // namespace
