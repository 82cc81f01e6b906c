// Start-up end to end on the in-memory dialog: the failed open, and a whole
// run against each real database.

#include <gtest/gtest.h>

#include <cstdlib>

#include "app/station_app.h"
#include "db/schema_upgrade.h"
#include "platform/fake/fake_dialog_port.h"
#include "resources/control_ids.h"
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
    port.SetScript({[&](FakeDialogPort& p) {
        shownCode = p.Text(ctl::StationCode);
        p.PressEsc();
    }});
    CStationApp app(port,
                    "kiv ODBC=" + backend.dsn + " USER=" + backend.user + " PASSWORD=" + backend.password,
                    ProfileReader());

    EXPECT_FALSE(app.StartUp());

    EXPECT_TRUE(port.Messages().empty()) << port.Messages()[0].text;
    EXPECT_EQ(shownCode, "KIV");
    EXPECT_EQ(port.Result(), platform::IDCANCEL);
    EXPECT_FALSE(app.SharedSession().IsOpen());
    EXPECT_EQ(OdbcEnvironment::ConnectionCount(), connectionsBefore);

    CDatabase check;
    ASSERT_TRUE(check.Open(backend.ConnectString(), OpenOptions::UseCursorLibrary));
    for (const SchemaColumn& c : SchemaColumns()) EXPECT_TRUE(ColumnExists(check, c.table, c.column)) << c.column;
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
