// Filling the station lists and loading stations, as a user sees them, on
// every database of the run.

#include <ctime>

#include "resources/control_ids.h"
#include "resources/string_table.h"
#include "tests/form/ops_test_fixture.h"

namespace ops_test {
namespace {

using StationLoading = StationFormTest;
using ::testing::ElementsAre;

const char* const kNewStationNames[ctl::CellCount] = {"BLZ", "BLN", "BLE", "BHZ", "BHN", "BHE", "ELZ",
                                                     "ELN", "ELE", "EHZ", "EHN", "EHE", "",    "",
                                                     "",    "",    "",    "",    "",    "",    ""};

TEST_F(StationLoading, NoStartStationShowsNewStationDefaultsWithUtcTimeAndNextIndex) {
    ScopedTimeZone farFromUtc("XYZ-14");  // local time is UTC + 14 h
    AddSite("AAA", 41, 4);
    AddSite("BBB", 7, 4);
    OpenForm();
    ExpectNoMessages();

    EXPECT_EQ(Text(ctl::StationCode), "");
    for (int k = 0; k < ctl::CellCount; ++k) EXPECT_EQ(Text(ctl::ChanName(k)), kNewStationNames[k]) << "cell " << k;
    const char* const rates[] = {"20", "20", "100", "100", "", "", ""};
    for (int g = 1; g <= 7; ++g) EXPECT_EQ(Text(ctl::SampleRate(g)), rates[g - 1]) << "group " << g;
    EXPECT_EQ(Text(ctl::Latitude), "45");
    EXPECT_EQ(Text(ctl::Longitude), "45");
    EXPECT_EQ(Text(ctl::Elevation), "0");
    EXPECT_EQ(Text(ctl::GroupCount), "4");
    EXPECT_EQ(Text(ctl::DbNumber), "42");
    EXPECT_EQ(Text(ctl::OffDate), "");
    const auto shown = SecondsOfDateText(Text(ctl::OnDate));
    ASSERT_TRUE(shown) << Text(ctl::OnDate);
    EXPECT_NEAR(static_cast<double>(*shown), static_cast<double>(std::time(nullptr)), 5.0) << Text(ctl::OnDate);
    EXPECT_THAT(port.Entries(ctl::StationCode), ElementsAre("AAA", "BBB"));
    EXPECT_THAT(port.Entries(ctl::CentralPoint), ElementsAre("AAA", "BBB"));
}

TEST_F(StationLoading, TypingLoadsEveryPrefixOnASessionOfItsOwn) {
    AddSite("AB", 5, 1);
    AddChannel("AB", "SHZ", 1, 0);
    OpenForm();
    const int before = sessionsMade;

    port.TypeKeys(ctl::StationCode, "a");
    EXPECT_EQ(sessionsMade, before + 1);
    EXPECT_EQ(Text(ctl::StationCode), "A");
    EXPECT_EQ(Text(ctl::ChanName(0)), "BLZ");
    EXPECT_EQ(Text(ctl::DbNumber), "6");

    port.TypeKeys(ctl::StationCode, "b");
    EXPECT_EQ(sessionsMade, before + 2);
    EXPECT_EQ(Text(ctl::StationCode), "AB");
    EXPECT_EQ(Text(ctl::ChanName(0)), "SHZ");
    EXPECT_EQ(Text(ctl::ChanName(1)), "");
    EXPECT_EQ(Text(ctl::DbNumber), "5");
    EXPECT_EQ(Text(ctl::GroupCount), "1");
    EXPECT_EQ(Text(ctl::Latitude), "55.5");

    port.TypeKeys(ctl::StationCode, "c");
    EXPECT_EQ(sessionsMade, before + 3);
    EXPECT_EQ(Text(ctl::StationCode), "ABC");
    EXPECT_EQ(Text(ctl::ChanName(0)), "BLZ");
    EXPECT_EQ(Text(ctl::GroupCount), "4");
    ExpectNoMessages();
}

TEST_F(StationLoading, TypingReusesOneKeptConnectionAndReplacesOneKilledMeanwhile) {
    // The server's number for the connection, and how another session ends it.
    struct Server {
        const char* backend;
        const char* pidQuery;
        const char* kill;  // followed by the number
    };
    const Server servers[] = {{"postgres", "select pg_backend_pid()", "select pg_terminate_backend("},
                              {"mariadb", "select CONNECTION_ID()", "KILL "}};
    AddSite("AB", 5, 1);
    pool = std::make_unique<SessionPool>(nullptr);  // replaced by the form's own at OpenForm
    OpenForm();
    const int made = sessionsMade;
    auto connectionNumber = [&](const char* query) {
        PooledSession kept = pool->Acquire(backend.ConnectString(), OpenOptions::UseCursorLibrary);
        return QueryValue(*kept, query);
    };

    port.TypeKeys(ctl::StationCode, "a");
    port.TypeKeys(ctl::StationCode, "b");
    EXPECT_EQ(sessionsMade, made) << "every keystroke ran on the connection kept since the list fill";
    EXPECT_EQ(Text(ctl::DbNumber), "5");
    EXPECT_EQ(pool->IdleCount(), 1u);
    for (const Server& server : servers) {
        if (backend.name != server.backend) continue;
        const auto before = connectionNumber(server.pidQuery);
        ASSERT_TRUE(before);
        Exec(server.kill + *before + (backend.name == "postgres" ? ")" : ""));

        port.TypeKeys(ctl::StationCode, "c");
        EXPECT_EQ(Text(ctl::GroupCount), "4");
        port.TypeKeys(ctl::StationCode, "\b");
        EXPECT_EQ(Text(ctl::DbNumber), "5");
        EXPECT_NE(connectionNumber(server.pidQuery), before);
        EXPECT_EQ(sessionsMade, made);
    }
    ExpectNoMessages();
}

TEST_F(StationLoading, CodeHeldByTwoRowsIsListedTwiceAndLoadsOneOfThem) {
    DropSitePrimaryKey();
    AddSite("DUP", 1, 1);
    AddSite("DUP", 2, 1);
    AddSite("ONE", 3, 1);
    OpenForm("DUP");
    EXPECT_THAT(port.Entries(ctl::StationCode), ElementsAre("DUP", "DUP", "ONE"));
    EXPECT_THAT(port.Entries(ctl::CentralPoint), ElementsAre("DUP", "DUP", "ONE"));
    EXPECT_TRUE(Text(ctl::DbNumber) == "1" || Text(ctl::DbNumber) == "2") << Text(ctl::DbNumber);
    ExpectNoMessages();
}

TEST_F(StationLoading, StoredStationShowsItsSiteRowUnderAnyTimeZone) {
    ScopedTimeZone farFromUtc("XYZ+11");  // local time is UTC - 11 h
    Exec("insert into SITE (STA,COD,NGROUPS,ELEV,LAT,LON,DESCR,NINDEX,REFSTA,DNORTH,DEAST,STANAME,STATYPE,"
         "UNDERGROUND,ONDATE,OFFDATE) values ('OBN','OBN1',2,160.5,55.1,36.6,'Обнинск',12,'MOS',2.5,-0.25,"
         "'Obninsk','ss','глина',{ts '2001-02-03 04:05:06'},NULL)");
    OpenForm("OBN");
    ExpectNoMessages();
    EXPECT_EQ(Text(ctl::StationCode), "OBN");
    EXPECT_EQ(Text(ctl::IntlCode), "OBN1");
    EXPECT_EQ(Text(ctl::Latitude), "55.1");
    EXPECT_EQ(Text(ctl::Longitude), "36.6");
    EXPECT_EQ(Text(ctl::Elevation), "160.5");
    EXPECT_EQ(Text(ctl::DbNumber), "12");
    EXPECT_EQ(Text(ctl::GroupCount), "2");
    EXPECT_EQ(Text(ctl::NameRu), "Обнинск");
    EXPECT_EQ(Text(ctl::NameEn), "Obninsk");
    EXPECT_EQ(Text(ctl::Ground), "глина");
    EXPECT_EQ(Text(ctl::CentralPoint), "MOS");
    EXPECT_EQ(Text(ctl::OnDate), "2001-02-03 04:05:06");
    EXPECT_EQ(Text(ctl::OffDate), "");
    EXPECT_EQ(Text(ctl::OffsetNorth), "2.500");
    EXPECT_EQ(Text(ctl::OffsetEast), "-0.250");
    // A station without channel rows shows its groups empty, LocCode too.
    EXPECT_EQ(Text(ctl::ChanName(0)), "");
    EXPECT_EQ(Text(ctl::LocCode(1)), "");
    EXPECT_EQ(Text(ctl::SampleRate(1)), "");
}

TEST_F(StationLoading, OffsetsAreShownWithThreeDecimalsAndNullAsEmpty) {
    Exec("insert into SITE (STA,NGROUPS,LAT,LON,ELEV,DNORTH,DEAST) values ('P0',1,1,1,1,0,NULL)");
    Exec("insert into SITE (STA,NGROUPS,LAT,LON,ELEV,DNORTH,DEAST) values ('P1',1,1,1,1,NULL,2.5)");
    OpenForm("P0");
    EXPECT_EQ(Text(ctl::OffsetNorth), "0.000");
    EXPECT_EQ(Text(ctl::OffsetEast), "");
    port.PickEntry(ctl::StationCode, 1);
    EXPECT_EQ(Text(ctl::StationCode), "P1");
    EXPECT_EQ(Text(ctl::OffsetNorth), "");
    EXPECT_EQ(Text(ctl::OffsetEast), "2.500");
    ExpectNoMessages();
}

TEST_F(StationLoading, ChannelRowsFillTheirCellsAndGroupFields) {
    AddSite("KIV", 3, 4);
    AddChannel("KIV", "BHZ", 1, 0, 100, "bhz.rsp", "00", "STS-2");
    AddChannel("KIV", "BHN", 1, 1, 100, "bhn.rsp", "00", "STS-2");
    AddChannel("KIV", "BHE", 1, 2, 100, "", "00", "STS-2");
    AddChannel("KIV", "LHZ", 2, 0, 0.05, "", "10", "CMG");
    AddChannel("KIV", "XXX", 3, 3, 12.34567);  // a component outside Z, N, E: not shown
    // Group 4 has a row whose SPS is NULL.
    Exec("insert into SITECHAN (STA,CHAN,NGROUP,CHANINDEX) values ('KIV','EHZ',4,0)");
    OpenForm("KIV");
    ExpectNoMessages();

    EXPECT_EQ(Text(ctl::ChanName(0)), "BHZ");
    EXPECT_EQ(Text(ctl::ChanName(1)), "BHN");
    EXPECT_EQ(Text(ctl::ChanName(2)), "BHE");
    EXPECT_EQ(Text(ctl::ResponseButton(0)), "bhz.rsp");
    EXPECT_EQ(Text(ctl::ResponseButton(1)), "bhn.rsp");
    EXPECT_EQ(Text(ctl::SampleRate(1)), "100");
    EXPECT_EQ(Text(ctl::ResponseButton(2)), "");
    EXPECT_EQ(Text(ctl::LocCode(1)), "00");
    EXPECT_EQ(Text(ctl::SensorType(1)), "STS-2");

    EXPECT_EQ(Text(ctl::ChanName(3)), "LHZ");
    EXPECT_EQ(Text(ctl::SampleRate(2)), "0.0500");
    EXPECT_EQ(Text(ctl::LocCode(2)), "10");
    EXPECT_EQ(Text(ctl::SensorType(2)), "CMG");

    for (int k = 6; k < 9; ++k) EXPECT_EQ(Text(ctl::ChanName(k)), "") << "cell " << k;
    EXPECT_EQ(Text(ctl::ResponseButton(8)), "");
    EXPECT_EQ(Text(ctl::SampleRate(3)), "");
    EXPECT_EQ(Text(ctl::LocCode(3)), "");

    EXPECT_EQ(Text(ctl::ChanName(9)), "EHZ");
    EXPECT_EQ(Text(ctl::SampleRate(4)), "");
}

TEST_F(StationLoading, GroupsAboveTheStoredCountAreNotReadAndACountBelowOneReadsThemAll) {
    AddSite("TWO", 1, 1);
    AddChannel("TWO", "BHZ", 1, 0);
    AddChannel("TWO", "LHZ", 2, 0, 1);
    AddSite("NONE", 2, 0);
    AddChannel("NONE", "BHZ", 1, 0);
    AddSite("NEG", 3, -2);
    AddChannel("NEG", "BHZ", 1, 0);
    OpenForm("TWO");
    EXPECT_EQ(Text(ctl::ChanName(0)), "BHZ");
    EXPECT_EQ(Text(ctl::ChanName(3)), "");
    EXPECT_EQ(Text(ctl::SampleRate(2)), "");
    // A count below 1 cannot be saved, but the rows are read, so that a save
    // after typing a count keeps them.
    for (const char* code : {"NONE", "NEG"}) {
        port.ReplaceText(ctl::StationCode, code);
        EXPECT_EQ(Text(ctl::ChanName(0)), "BHZ") << code;
    }
    ExpectNoMessages();
}

TEST_F(StationLoading, NullNumbersShowEmptyFieldsAndNullGroupCountStillShowsItsGroups) {
    Exec("insert into SITE (STA,NINDEX) values ('NUL',4)");
    AddChannel("NUL", "BHZ", 1, 0);
    AddChannel("NUL", "LHZ", 3, 0, 1);
    OpenForm("NUL");
    ExpectNoMessages();
    EXPECT_EQ(Text(ctl::Latitude), "");
    EXPECT_EQ(Text(ctl::Longitude), "");
    EXPECT_EQ(Text(ctl::Elevation), "");
    EXPECT_EQ(Text(ctl::GroupCount), "");
    EXPECT_EQ(Text(ctl::DbNumber), "4");
    EXPECT_EQ(Text(ctl::ChanName(0)), "BHZ");
    EXPECT_EQ(Text(ctl::ChanName(6)), "LHZ");
    EXPECT_EQ(Text(ctl::SampleRate(3)), "1");
    // The rows up to the highest group found are enabled.
    EXPECT_TRUE(port.IsEnabled(ctl::ChanName(6)));
    EXPECT_FALSE(port.IsEnabled(ctl::ChanName(9)));
    // Saving such a station asks for the missing number first.
    port.PressEnter();
    ASSERT_NE(LastMessage(), nullptr);
    EXPECT_EQ(LastMessage()->text, "Please enter a number.");
}

TEST_F(StationLoading, ResponsePathOfACellIsEmptiedWhenTheNextStationHasNoRowThere) {
    AddSite("A1", 1, 1);
    AddChannel("A1", "BHZ", 1, 0, 20, "a1.rsp");
    AddSite("B2", 2, 1);
    AddChannel("B2", "BHN", 1, 1, 20, "b2.rsp");
    OpenForm("A1");
    EXPECT_EQ(Text(ctl::ResponseButton(0)), "a1.rsp");
    port.PickEntry(ctl::StationCode, 1);
    EXPECT_EQ(Text(ctl::StationCode), "B2");
    EXPECT_EQ(Text(ctl::ChanName(0)), "");
    EXPECT_EQ(Text(ctl::ResponseButton(0)), "");
    EXPECT_EQ(Text(ctl::ResponseButton(1)), "b2.rsp");
    // Nor does a new station inherit it.
    port.ReplaceText(ctl::StationCode, "NEW");
    EXPECT_EQ(Text(ctl::ResponseButton(1)), "");
}

TEST_F(StationLoading, CodeWithAQuoteLoadsItsRow) {
    AddSite("O'B", 9, 1);
    OpenForm("O'B");
    ExpectNoMessages();
    EXPECT_EQ(Text(ctl::DbNumber), "9");
    EXPECT_THAT(port.Entries(ctl::StationCode), ElementsAre("O'B"));
}

TEST_F(StationLoading, CancelledConnectionShowsMessage833AndKeepsTheLists) {
    AddSite("AAA", 1, 1);
    AddChannel("AAA", "BHZ", 1, 0);
    OpenForm("AAA");
    makeSession = [] { return std::make_unique<CancelledSession>(); };
    port.PickEntry(ctl::StationCode, 0);
    ASSERT_NE(LastMessage(), nullptr);
    EXPECT_EQ(LastMessage()->text, LoadString(str::DatabaseInitError));
    EXPECT_EQ(LastMessage()->icon, platform::Icon::Exclamation);
    EXPECT_THAT(port.Entries(ctl::StationCode), ElementsAre("AAA"));
    // The fields cleared before connecting stay empty.
    EXPECT_EQ(Text(ctl::ChanName(0)), "");
}

TEST_F(StationLoading, FailedConnectionShowsTheDriverTextAndTheFormStaysOpen) {
    AddSite("AAA", 1, 1);
    OpenForm("AAA");
    makeSession = [this] { return std::make_unique<RedirectedSession>("DSN=" + backend.dsn + "_missing;"); };
    port.TypeKeys(ctl::StationCode, "B");
    ASSERT_NE(LastMessage(), nullptr);
    EXPECT_EQ(LastMessage()->icon, platform::Icon::Stop);
    EXPECT_FALSE(LastMessage()->text.empty());
    EXPECT_TRUE(port.IsOpen());
}

}  // namespace
}  // namespace ops_test
