// Start-up end to end on the in-memory dialog: the failed open, a whole run
// against each real database, and the personal database of a start without
// configuration.

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "app/station_app.h"
#include "db/schema_upgrade.h"
#include "platform/fake/fake_dialog_port.h"
#include "resources/control_ids.h"
#include "resources/string_table.h"
#include "tests/support/backend.h"
#include "tests/support/query_rows.h"

using platform::FakeDialogPort;

TEST(StartUp, UnknownDataSourceShowsOneStopBoxWithTheMaskedConnectStringAndEnds) {
    CurrentBackend();  // part of the database suites: the driver manager must be set up
    FakeDialogPort port;
    bool formOpened = false;
    port.SetScript({[&](FakeDialogPort&) { formOpened = true; }});
    CStationApp app(port, "abc ODBC=nosuch USER=op PASSWORD=secret", ProfileReader());

    EXPECT_FALSE(app.StartUp());

    ASSERT_EQ(port.Messages().size(), 1u);
    const auto& box = port.Messages()[0];
    const std::string firstLine = "DSN=nosuch;UID=op;PWD=****;\n";
    EXPECT_EQ(box.text.substr(0, firstLine.size()), firstLine) << box.text;
    EXPECT_NE(box.text.find("Data source name not found"), std::string::npos) << box.text;
    EXPECT_EQ(box.text.find("secret"), std::string::npos);
    EXPECT_EQ(box.icon, platform::Icon::Stop);
    EXPECT_EQ(box.buttons, platform::Buttons::Ok);
    EXPECT_EQ(box.caption, "station-editor");
    EXPECT_FALSE(formOpened) << "no form after a failed open";
    EXPECT_EQ(app.StartStationCode(), "ABC");
    EXPECT_EQ(app.ExitStatus(), 1) << "a start that could not open the database fails";
}

TEST(StartUp, RunsUpgradeAndFormOnTheDatabaseThenClosesTheSharedSession) {
    const Backend& backend = CurrentBackend();
    {
        CDatabase setup;
        ASSERT_TRUE(setup.Open(backend.ConnectString(), OpenOptions::UseCursorLibrary));
        CreateBaseTables(setup);
    }
    const int connectionsBefore = OdbcEnvironment::ConnectionCount();
    FakeDialogPort port;
    std::string shownCode;
    int connectionsWhileShown = 0;
    port.SetScript({[&](FakeDialogPort& p) {
        shownCode = p.Text(ctl::StationCode);
        connectionsWhileShown = OdbcEnvironment::ConnectionCount();
        p.PressEsc();
    }});
    CStationApp app(port,
                    "kiv ODBC=" + backend.dsn + " USER=" + backend.user + " PASSWORD=" + backend.password,
                    ProfileReader());

    EXPECT_FALSE(app.StartUp());

    EXPECT_TRUE(port.Messages().empty()) << port.Messages()[0].text;
    EXPECT_EQ(shownCode, "KIV");
    EXPECT_EQ(connectionsWhileShown, connectionsBefore + 1) << "the upgrade, list and load share one connection";
    EXPECT_EQ(port.Result(), platform::IDCANCEL);
    EXPECT_EQ(app.ExitStatus(), 0);
    EXPECT_FALSE(app.SharedSession().IsOpen());
    EXPECT_EQ(OdbcEnvironment::ConnectionCount(), connectionsBefore);

    CDatabase check;
    ASSERT_TRUE(check.Open(backend.ConnectString(), OpenOptions::UseCursorLibrary));
    for (const SchemaColumn& c : SchemaColumns()) EXPECT_TRUE(ColumnExists(check, c.table, c.column)) << c.column;
}

namespace {

namespace fs = std::filesystem;

// A start with no zrn.ini, no ODBC= and no data source ZRN defined (the test
// data sources do not define it), whose personal database goes to a
// temporary folder.
class PersonalDatabaseStart : public ::testing::Test {
protected:
    void SetUp() override {
        CurrentBackend();  // the driver manager must be set up
        ASSERT_TRUE(fs::create_directories(folder_));
        personal_ = {(folder_ / "data/station-editor/zrn.sqlite").string(),
                     std::string(SE_SQL_DIR) + "/sqlite/base_tables.sql"};
    }
    void TearDown() override { fs::remove_all(folder_); }

    // Runs one start; answers whether the form opened.
    bool Start(FakeDialogPort& port, const std::string& commandLine, ProfileReader profile = ProfileReader()) {
        bool formOpened = false;
        port.SetScript({[&](FakeDialogPort& p) {
            formOpened = true;
            p.PressEsc();
        }});
        CStationApp app(port, commandLine, std::move(profile), DefaultSessionFactory(), personal_);
        EXPECT_FALSE(app.StartUp());
        return formOpened;
    }

    fs::path folder_ = fs::temp_directory_path() / ("se-startup-" + std::to_string(getpid()));
    PersonalDatabase personal_;
};

}  // namespace

TEST_F(PersonalDatabaseStart, FirstStartCreatesAndAnnouncesItThenLaterStartsUseItSilently) {
    FakeDialogPort first;
    EXPECT_TRUE(Start(first, "KIV"));
    ASSERT_EQ(first.Messages().size(), 1u);
    EXPECT_EQ(first.Messages()[0].icon, platform::Icon::Information);
    EXPECT_NE(first.Messages()[0].text.find(personal_.path), std::string::npos) << first.Messages()[0].text;

    CDatabase check;
    ASSERT_TRUE(check.Open(SqliteConnectString(personal_.path), OpenOptions::UseCursorLibrary));
    for (const SchemaColumn& c : SchemaColumns()) EXPECT_TRUE(ColumnExists(check, c.table, c.column)) << c.column;
    check.ExecuteDirect("INSERT INTO SITE (STA) VALUES ('KEPT')");
    check.Close();

    FakeDialogPort second;
    EXPECT_TRUE(Start(second, ""));
    EXPECT_TRUE(second.Messages().empty()) << second.Messages()[0].text;
    ASSERT_TRUE(check.Open(SqliteConnectString(personal_.path), OpenOptions::UseCursorLibrary));
    EXPECT_EQ(CountRows(check, "SITE", "STA = 'KEPT'"), 1) << "the second start must not create it afresh";
}

TEST_F(PersonalDatabaseStart, IsNotUsedOrIsReportedWhenItCannotBe) {
    const std::string missingIni = (folder_ / "zrn.ini").string();
    const std::string missingScript = (folder_ / "base_tables.sql").string();
    const std::string readIni = (folder_ / "read.ini").string();
    std::ofstream(readIni) << "[DATABASE]\nODBC=nosuch\n";
    struct Case {
        const char* what;
        std::string commandLine;
        std::string profilePath;
        std::string script;
        std::vector<std::string> shown;  // parts of the one stop box
    };
    const Case cases[] = {
        {"a data source named on the command line", "KIV ODBC=nosuch", {}, personal_.schemaScript,
         {"DSN=nosuch;", "Data source name not found", LoadString(str::ConfigNotFound)}},
        {"a zrn.ini named by ZRN_INI that does not exist", "KIV", missingIni, personal_.schemaScript,
         {"DSN=ZRN;", "Data source name not found", FormatString(str::ConfigFileMissing, missingIni)}},
        {"a zrn.ini that names a data source that does not exist", "KIV", readIni, personal_.schemaScript,
         {"DSN=nosuch;", "Data source name not found", FormatString(str::ConfigFileRead, readIni)}},
        {"no table script", "KIV", {}, missingScript,
         {"DRIVER=SQLite3;Database=" + personal_.path + ";", missingScript, LoadString(str::ConfigNotFound)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        personal_.schemaScript = c.script;
        FakeDialogPort port;
        EXPECT_FALSE(Start(port, c.commandLine, c.profilePath.empty() ? ProfileReader() : ProfileReader(c.profilePath)));
        ASSERT_EQ(port.Messages().size(), 1u);
        EXPECT_EQ(port.Messages()[0].icon, platform::Icon::Stop);
        for (const std::string& part : c.shown)
            EXPECT_NE(port.Messages()[0].text.find(part), std::string::npos) << part << "\n" << port.Messages()[0].text;
        EXPECT_FALSE(fs::exists(personal_.path));
        EXPECT_FALSE(fs::exists(personal_.path + ".new"));
    }
}

TEST(StartUp, PasswordsThatNeedBracesLogInAndNeverShowInTheBox) {
    const Backend& backend = CurrentBackend();
    const char* user = std::getenv("SE_TEST_BRACED_UID");
    const char* password = std::getenv("SE_TEST_BRACED_PWD");
    ASSERT_TRUE(user && password) << "SE_TEST_BRACED_UID/SE_TEST_BRACED_PWD come from scripts/test-servers.sh";
    {
        CDatabase setup;
        ASSERT_TRUE(setup.Open(backend.ConnectString(), OpenOptions::UseCursorLibrary));
        CreateStationTables(setup);
    }
    {
        // The second user's password holds ; { and }: the form opens.
        FakeDialogPort port;
        bool formOpened = false;
        port.SetScript({[&](FakeDialogPort& p) {
            formOpened = true;
            p.PressEsc();
        }});
        CStationApp app(port, "kiv ODBC=" + backend.dsn + " USER=" + user + " PASSWORD=" + password, ProfileReader());
        EXPECT_FALSE(app.StartUp());
        EXPECT_TRUE(formOpened);
        EXPECT_TRUE(port.Messages().empty()) << port.Messages()[0].text;
    }
    // A data source that is not there: one box, the whole password masked.
    for (const std::string& secret : {std::string(password), std::string("ab;c"), std::string("x}}y;{z"),
                                     std::string("\tlead"), std::string("trail\t"), std::string("{open")}) {
        FakeDialogPort port;
        CStationApp app(port, "abc ODBC=nosuch USER=op PASSWORD=" + secret, ProfileReader());
        EXPECT_FALSE(app.StartUp());
        ASSERT_EQ(port.Messages().size(), 1u) << secret;
        const std::string& text = port.Messages()[0].text;
        EXPECT_EQ(text.substr(0, text.find('\n')), "DSN=nosuch;UID=op;PWD=****;") << secret;
        for (const std::string& part : {secret.substr(1), secret.substr(0, secret.size() - 1)})
            EXPECT_EQ(text.find(part), std::string::npos) << "part of " << secret << " shown: " << text;
    }
}
