// Writing a station's channel rows on save, as the user edits the grid, on
// every database of the run.

#include <functional>
#include <tuple>

#include "resources/control_ids.h"
#include "resources/string_table.h"
#include "tests/form/ops_test_fixture.h"

namespace ops_test {
namespace {

using ::testing::ElementsAre;

class ChannelRows : public StationFormTest {
protected:
    // Station STA with NGROUPS groups and the channels BHZ, BHN, BHE in group 1.
    void AddThreeComponentStation(const std::string& code, int groups) {
        AddSite(code, 1, groups);
        AddChannel(code, "BHZ", 1, 0, 20, "bhz.rsp", "00", "STS-2");
        AddChannel(code, "BHN", 1, 1, 20, "bhn.rsp", "00", "STS-2");
        AddChannel(code, "BHE", 1, 2, 20, "bhe.rsp", "00", "STS-2");
    }
    // Empties every ChanName cell of the grid.
    void ClearAllCells() {
        for (int k = 0; k < ctl::CellCount; ++k)
            if (!Text(ctl::ChanName(k)).empty()) port.ReplaceText(ctl::ChanName(k), "");
    }
    // Makes the database refuse any channel row named BAD.
    void RefuseChannelBad() {
        if (backend.name == "sqlite") {
            Exec("create trigger NO_BAD_INSERT before insert on SITECHAN when NEW.CHAN = 'BAD' "
                 "begin select raise(abort, 'channel BAD refused'); end");
        } else {
            Exec("alter table SITECHAN add constraint NO_BAD check (CHAN <> 'BAD')");
        }
    }
};

TEST_F(ChannelRows, NewStationWritesEveryNamedCellOfTheActiveGroups) {
    OpenForm("NEW");
    port.PressEnter();
    ExpectNoMessages();
    EXPECT_THAT(ChannelKeys("NEW"),
                ElementsAre("BHE/2/2", "BHN/2/1", "BHZ/2/0", "BLE/1/2", "BLN/1/1", "BLZ/1/0", "EHE/4/2", "EHN/4/1",
                            "EHZ/4/0", "ELE/3/2", "ELN/3/1", "ELZ/3/0"));
}

TEST_F(ChannelRows, RenamingACellReplacesItsRow) {
    AddThreeComponentStation("AAA", 1);
    OpenForm("AAA");
    port.ReplaceText(ctl::ChanName(0), "HHZ");
    port.PressEnter();
    ExpectNoMessages();
    EXPECT_THAT(ChannelKeys("AAA"), ElementsAre("BHE/1/2", "BHN/1/1", "HHZ/1/0"));
    EXPECT_EQ(Text(ctl::ChanName(0)), "HHZ");
}

TEST_F(ChannelRows, MovingANameToAnotherGroupKeepsTheOldRowOfThatName) {
    AddThreeComponentStation("AAA", 2);
    OpenForm("AAA");
    port.ReplaceText(ctl::ChanName(0), "");
    port.ReplaceText(ctl::ChanName(3), "BHZ");
    port.PressEnter();
    ExpectNoMessages();
    EXPECT_THAT(ChannelKeys("AAA"), ElementsAre("BHE/1/2", "BHN/1/1", "BHZ/1/0", "BHZ/2/0"));
}

TEST_F(ChannelRows, GroupsBeyondGroupCountAreNotWrittenAndTheirRowsGo) {
    AddThreeComponentStation("AAA", 3);
    AddChannel("AAA", "ELZ", 3, 0);
    AddChannel("AAA", "BHN", 3, 1);  // same name as a written channel: kept
    OpenForm("AAA");
    port.ReplaceText(ctl::ChanName(3), "LHZ");
    port.ReplaceText(ctl::GroupCount, "2");
    EXPECT_EQ(Text(ctl::ChanName(6)), "ELZ");  // still filled in, but not in use
    port.PressEnter();
    ExpectNoMessages();
    EXPECT_THAT(ChannelKeys("AAA"), ElementsAre("BHE/1/2", "BHN/1/1", "BHN/3/1", "BHZ/1/0", "LHZ/2/0"));
}

TEST_F(ChannelRows, AllCellsEmptyDeletesEveryChannelRowOfTheStation) {
    AddThreeComponentStation("AAA", 1);
    AddThreeComponentStation("BBB", 1);
    OpenForm("AAA");
    ClearAllCells();
    port.PressEnter();
    ExpectNoMessages();
    EXPECT_TRUE(ChannelKeys("AAA").empty());
    EXPECT_EQ(ChannelKeys("BBB").size(), 3u);
}

TEST_F(ChannelRows, EveryChannelCarriesItsGroupValuesAndItsResponseFile) {
    OpenForm("NEW");
    ClearAllCells();
    port.ReplaceText(ctl::GroupCount, "2");
    port.ReplaceText(ctl::ChanName(0), "bhz");
    port.ReplaceText(ctl::ChanName(1), "BHN");
    port.ReplaceText(ctl::ChanName(3), "LHZ");
    port.ReplaceText(ctl::SampleRate(1), "20");
    port.ReplaceText(ctl::SampleRate(2), "");
    port.ReplaceText(ctl::LocCode(1), "??");
    port.ReplaceText(ctl::SensorType(1), "sts-2");
    port.QueueFile("/data/RESPONSE/bhz.rsp");
    port.Press(ctl::ResponseButton(0));
    port.PressEnter();
    ExpectNoMessages();
    const auto rows = Rows("select CHAN,SPS,LCODE,DESCR,CALIBFILE,HANG,VANG from SITECHAN where STA='NEW' "
                           "order by NGROUP, CHANINDEX");
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0][0], "BHZ");
    EXPECT_EQ(std::stod(rows[0][1].value_or("-1")), 20.0);
    EXPECT_EQ(rows[0][2], "??");
    EXPECT_EQ(rows[0][3], "STS-2");
    EXPECT_EQ(rows[0][4], "bhz.rsp");
    EXPECT_EQ(std::stod(rows[0][5].value_or("0")), -1.0);  // a new vertical
    EXPECT_EQ(std::stod(rows[0][6].value_or("-1")), 0.0);
    EXPECT_EQ(rows[1][0], "BHN");
    EXPECT_EQ(std::stod(rows[1][1].value_or("-1")), 20.0);
    EXPECT_EQ(rows[1][3], "STS-2");
    EXPECT_EQ(rows[1][4], std::nullopt);  // no response file: NULL
    EXPECT_EQ(rows[2][0], "LHZ");
    EXPECT_EQ(std::stod(rows[2][1].value_or("-1")), 0.0);
    EXPECT_EQ(rows[2][2], std::nullopt);  // empty LocCode: NULL
}

TEST_F(ChannelRows, ANewRowGetsTheOrientationItsComponentMeans) {
    OpenForm("NEW");
    port.PressEnter();  // twelve new rows, sent together
    port.ReplaceText(ctl::ChanName(ctl::CellIndex(1, 2)), "HLE");
    port.PressEnter();  // one new row alone
    ExpectNoMessages();
    // Z vertical (no azimuth), N and E horizontal towards north and east.
    const double hangVang[][2] = {{-1, 0}, {0, 90}, {90, 90}};
    const auto rows = Rows("select CHANINDEX,HANG,VANG,CHAN from SITECHAN where STA='NEW'");
    ASSERT_EQ(rows.size(), 12u);
    for (const TextRow& row : rows) {
        const int component = std::stoi(row[0].value_or("-1"));
        ASSERT_TRUE(component >= 0 && component <= 2) << *row[3];
        EXPECT_EQ(std::stod(row[1].value_or("nan")), hangVang[component][0]) << *row[3];
        EXPECT_EQ(std::stod(row[2].value_or("nan")), hangVang[component][1]) << *row[3];
    }
}

TEST_F(ChannelRows, SameNameInTwoCellsGivesTwoRows) {
    OpenForm("NEW");
    ClearAllCells();
    port.ReplaceText(ctl::ChanName(0), "BHZ");
    port.ReplaceText(ctl::ChanName(4), "BHZ");
    port.PressEnter();
    ExpectNoMessages();
    EXPECT_THAT(ChannelKeys("NEW"), ElementsAre("BHZ/1/0", "BHZ/2/1"));
}

TEST_F(ChannelRows, AnExistingRowKeepsItsDepthPositionAndOrientation) {
    AddThreeComponentStation("AAA", 1);
    Exec("update SITECHAN set EDEPH=5.5, LAT=1.25, LON=2.75, HANG=45, VANG=90 where STA='AAA'");
    OpenForm("AAA");
    port.ReplaceText(ctl::SampleRate(1), "40");
    port.PressEnter();
    ExpectNoMessages();
    const auto rows = Rows("select EDEPH,LAT,LON,HANG,VANG,SPS from SITECHAN where STA='AAA' and CHAN='BHZ'");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(std::stod(rows[0][0].value_or("-1")), 5.5);
    EXPECT_EQ(std::stod(rows[0][1].value_or("-1")), 1.25);
    EXPECT_EQ(std::stod(rows[0][2].value_or("-1")), 2.75);
    EXPECT_EQ(std::stod(rows[0][3].value_or("-1")), 45.0);
    EXPECT_EQ(std::stod(rows[0][4].value_or("-1")), 90.0);
    EXPECT_EQ(std::stod(rows[0][5].value_or("-1")), 40.0);
}

TEST_F(ChannelRows, ARefusedRowRollsBackTheWholeSave) {
    AddThreeComponentStation("AAA", 2);
    RefuseChannelBad();
    OpenForm("AAA");
    port.ReplaceText(ctl::ChanName(0), "HHZ");
    port.ReplaceText(ctl::ChanName(1), "HHN");
    port.ReplaceText(ctl::ChanName(3), "BAD");
    port.ReplaceText(ctl::NameEn, "not written");
    port.PressEnter();
    ASSERT_EQ(port.Messages().size(), 1u);
    EXPECT_EQ(port.Messages()[0].icon, platform::Icon::Stop);
    EXPECT_FALSE(port.Messages()[0].text.empty());
    EXPECT_THAT(ChannelKeys("AAA"), ElementsAre("BHE/1/2", "BHN/1/1", "BHZ/1/0"));
    EXPECT_EQ(Value("select STANAME from SITE where STA='AAA'"), std::nullopt);
    // The form is not reloaded: it still shows what the user typed.
    EXPECT_EQ(Text(ctl::ChanName(0)), "HHZ");
}

TEST_F(ChannelRows, AFailedCommitIsReportedAndNothingOfTheSaveStays) {
    AddThreeComponentStation("AAA", 1);
    if (backend.name == "postgres") {
        // A constraint checked only at commit makes the commit itself fail.
        DropTableIfExists(*admin, "CHANNAMES");
        Exec("create table CHANNAMES (CHAN varchar(8) primary key)");
        Exec("insert into CHANNAMES values ('BHZ')");
        Exec("insert into CHANNAMES values ('BHN')");
        Exec("insert into CHANNAMES values ('BHE')");
        Exec("alter table SITECHAN add constraint CHAN_KNOWN foreign key (CHAN) references CHANNAMES (CHAN) "
             "deferrable initially deferred");
    } else {
        makeSession = [] { return std::make_unique<FailingCommitSession>(); };
    }
    OpenForm("AAA");
    port.ReplaceText(ctl::ChanName(0), "HHZ");
    port.PressEnter();
    ASSERT_EQ(port.Messages().size(), 1u);
    EXPECT_EQ(port.Messages()[0].icon, platform::Icon::Stop);
    if (backend.name == "postgres") {
        EXPECT_THAT(port.Messages()[0].text, ::testing::HasSubstr("chan_known"));
    }
    EXPECT_THAT(ChannelKeys("AAA"), ElementsAre("BHE/1/2", "BHN/1/1", "BHZ/1/0"));
    EXPECT_EQ(Text(ctl::ChanName(0)), "HHZ");
    if (backend.name == "postgres") {
        Exec("alter table SITECHAN drop constraint CHAN_KNOWN");
        DropTableIfExists(*admin, "CHANNAMES");
    }
}

TEST_F(ChannelRows, ASaveDeletesOnlyShownRowsTheUserDroppedAndHiddenRowsChangeNothing) {
    const struct {
        const char* station;
        std::function<void()> edit;  // what the user does before pressing Enter
        std::vector<std::string> keys;
    } cases[] = {
        // Rows in a group above NGROUPS and rows of components other than
        // Z, N, E: not shown, so kept, and group 1 keeps its own rate.
        {"OBN", [] {}, {"BHE/1/2", "BHN/1/1", "BHZ/1/0", "LHZ/3/0", "UHZ/1/5", "VHZ/1/-1"}},
        // NGROUPS NULL: the groups are shown; typing a count keeps them.
        {"ARU", [this] { port.ReplaceText(ctl::GroupCount, "1"); }, {"BHE/1/2", "BHN/1/1", "BHZ/1/0"}},
        // NGROUPS 0: its groups are read all the same, so typing 1 keeps them.
        {"APA", [this] { port.ReplaceText(ctl::GroupCount, "1"); }, {"BHE/1/2", "BHN/1/1", "BHZ/1/0"}},
        // Lowering the count from 4 to 2 drops the shown groups 3 and 4 only.
        {"KIV", [this] { port.ReplaceText(ctl::GroupCount, "2"); },
         {"BHE/1/2", "BHN/1/1", "BHZ/1/0", "KHZ/5/0", "LHZ/2/0", "XHZ/3/5"}},
    };
    AddThreeComponentStation("OBN", 2);
    AddChannel("OBN", "LHZ", 3, 0, 1);
    AddChannel("OBN", "UHZ", 1, 5, 0.1);
    AddChannel("OBN", "VHZ", 1, -1, 0.1);
    AddThreeComponentStation("ARU", 1);
    Exec("update SITE set NGROUPS=NULL where STA='ARU'");
    AddThreeComponentStation("APA", 1);
    Exec("update SITE set NGROUPS=0 where STA='APA'");
    AddThreeComponentStation("KIV", 4);
    for (const auto& [chan, group, component] :
         {std::tuple{"LHZ", 2, 0}, {"ELZ", 3, 0}, {"EHZ", 4, 0}, {"XHZ", 3, 5}, {"KHZ", 5, 0}})
        AddChannel("KIV", chan, group, component);
    OpenForm();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.station);
        port.ReplaceText(ctl::StationCode, c.station);
        EXPECT_EQ(Text(ctl::SampleRate(1)), "20");
        c.edit();
        port.PressEnter();
        ExpectNoMessages();
        EXPECT_EQ(ChannelKeys(c.station), c.keys);
        const auto sps = Value(std::string("select SPS from SITECHAN where CHAN='BHZ' and STA='") + c.station + "'");
        EXPECT_EQ(std::stod(sps.value_or("-1")), 20.0);
    }
}

}  // namespace
}  // namespace ops_test
