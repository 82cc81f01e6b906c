// Deleting a station after the user's confirmation, on every database of the
// run: what goes, what is selected and shown afterwards, and the failures.

#include <chrono>
#include <thread>

#include "db/transaction.h"
#include "resources/control_ids.h"
#include "resources/string_table.h"
#include "tests/form/ops_test_fixture.h"

namespace ops_test {
namespace {

using ::testing::ElementsAreArray;

class StationDeleting : public StationFormTest {
protected:
    // Stations S1 to S4 with numbers 1 to 4, each with one channel row.
    void AddFourStations() {
        for (int i = 1; i <= 4; ++i) {
            const std::string code = "S" + std::to_string(i);
            AddSite(code, i, 1);
            AddChannel(code, "BHZ", 1, 0);
        }
    }
    void ConfirmDelete(platform::Answer answer = platform::Answer::Ok) {
        port.QueueAnswer(answer);
        port.Press(ctl::Delete);
    }
};

struct DeleteCase {
    const char* deleted;
    std::vector<std::string> listed;
    const char* selected;  // "" when no entry is selected
    int selectedIndex;
    const char* nextNumber;  // DbNumber of the new-station defaults
};

void PrintTo(const DeleteCase& c, std::ostream* out) { *out << "deleting " << c.deleted; }

class DeletingFromFour : public StationDeleting, public ::testing::WithParamInterface<DeleteCase> {};

TEST_P(DeletingFromFour, SelectsTheEntryOneBelowTheRememberedPosition) {
    const DeleteCase& c = GetParam();
    AddFourStations();
    OpenForm(c.deleted);
    ConfirmDelete();

    ASSERT_EQ(port.Messages().size(), 1u);
    const auto& question = port.Messages()[0];
    EXPECT_EQ(question.text, FormatString(str::DeleteQuestion, c.deleted));
    EXPECT_EQ(question.caption, LoadString(str::Attention));
    EXPECT_EQ(question.buttons, platform::Buttons::OkCancel);
    EXPECT_EQ(question.icon, platform::Icon::Exclamation);

    EXPECT_EQ(Count("SITE", std::string("STA='") + c.deleted + "'"), 0);
    EXPECT_EQ(Count("SITECHAN", std::string("STA='") + c.deleted + "'"), 0);
    EXPECT_EQ(Count("SITE"), 3);
    EXPECT_EQ(Count("SITECHAN"), 3);
    EXPECT_THAT(port.Entries(ctl::StationCode), ElementsAreArray(c.listed));
    EXPECT_THAT(port.Entries(ctl::CentralPoint), ElementsAreArray(c.listed));
    EXPECT_EQ(port.GetCurSel(ctl::StationCode), c.selectedIndex);
    EXPECT_EQ(Text(ctl::StationCode), c.selected);
    // Not the delete button, where a held Return would delete the next one.
    EXPECT_EQ(port.Focus().id, ctl::StationCode);
    EXPECT_TRUE(port.Focus().allSelected);
    if (*c.selected != '\0') {
        // The selected station is loaded and shown.
        EXPECT_EQ(Text(ctl::DbNumber), std::string(c.selected).substr(1));
        EXPECT_EQ(Text(ctl::ChanName(0)), "BHZ");
    } else {
        EXPECT_EQ(Text(ctl::ChanName(0)), "BLZ");  // new-station defaults
        EXPECT_EQ(Text(ctl::DbNumber), c.nextNumber);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Stations, DeletingFromFour,
    ::testing::Values(DeleteCase{"S2", {"S1", "S3", "S4"}, "S4", 2, ""}, DeleteCase{"S1", {"S2", "S3", "S4"}, "S3", 1, ""},
                      DeleteCase{"S3", {"S1", "S2", "S4"}, "", -1, "5"}, DeleteCase{"S4", {"S1", "S2", "S3"}, "", -1, "4"}),
    [](const auto& testCase) { return std::string(testCase.param.deleted); });

TEST_F(StationDeleting, CancelChangesNothing) {
    AddFourStations();
    OpenForm("S2");
    port.ReplaceText(ctl::NameEn, "typed, not saved");
    ConfirmDelete(platform::Answer::Cancel);
    ASSERT_EQ(port.Messages().size(), 1u);
    EXPECT_EQ(Count("SITE"), 4);
    EXPECT_EQ(Count("SITECHAN"), 4);
    EXPECT_EQ(Text(ctl::StationCode), "S2");
    EXPECT_EQ(Text(ctl::NameEn), "typed, not saved");
}

TEST_F(StationDeleting, StationWithoutChannelRowsIsDeletedTheSameWay) {
    AddSite("S1", 1, 1);
    AddSite("S2", 2, 1);
    OpenForm("S1");
    ConfirmDelete();
    EXPECT_EQ(port.Messages().size(), 1u);
    EXPECT_EQ(Count("SITE"), 1);
    EXPECT_THAT(port.Entries(ctl::StationCode), ElementsAreArray({"S2"}));
}

TEST_F(StationDeleting, TypedCodeWithoutRowRemovesNothingAndRefreshesAllTheSame) {
    AddFourStations();
    OpenForm();
    port.TypeKeys(ctl::StationCode, "ZZ");
    Exec("insert into SITE (STA,NINDEX,NGROUPS) values ('S5',5,1)");  // someone else's new station
    ConfirmDelete();
    EXPECT_EQ(Count("SITE"), 5);
    EXPECT_EQ(Count("SITECHAN"), 4);
    EXPECT_THAT(port.Entries(ctl::StationCode), ElementsAreArray({"S1", "S2", "S3", "S4", "S5"}));
    // Not listed: position -1, so the first entry is selected and loaded.
    EXPECT_EQ(Text(ctl::StationCode), "S1");
    EXPECT_EQ(Text(ctl::DbNumber), "1");
}

TEST_F(StationDeleting, DeletingTheLastStationEmptiesBothLists) {
    AddSite("ONLY", 1, 1);
    AddChannel("ONLY", "BHZ", 1, 0);
    OpenForm("ONLY");
    ConfirmDelete();
    EXPECT_EQ(Count("SITE"), 0);
    EXPECT_TRUE(port.Entries(ctl::StationCode).empty());
    EXPECT_TRUE(port.Entries(ctl::CentralPoint).empty());
    EXPECT_EQ(Text(ctl::StationCode), "");
}

TEST_F(StationDeleting, CodeWithAQuoteDeletesOnlyThatStation) {
    AddSite("O'B", 1, 1);
    AddChannel("O'B", "BHZ", 1, 0);
    AddSite("O", 2, 1);
    AddChannel("O", "BHZ", 1, 0);
    OpenForm("O'B");
    ConfirmDelete();
    EXPECT_EQ(port.Messages().size(), 1u);  // the question only
    EXPECT_EQ(Count("SITE"), 1);
    EXPECT_EQ(Count("SITECHAN", "STA='O'"), 1);
    EXPECT_EQ(Count("SITECHAN", "STA='O''B'"), 0);
}

TEST_F(StationDeleting, DataSourceWithoutTransactionsDeletesNothingAndShows834) {
    AddFourStations();
    OpenForm("S2");
    makeSession = [] { return std::make_unique<NoTransactionSession>(); };
    ConfirmDelete();
    ASSERT_EQ(port.Messages().size(), 2u);
    EXPECT_EQ(port.Messages()[1].text, LoadString(str::TransactionError));
    EXPECT_EQ(port.Messages()[1].icon, platform::Icon::Exclamation);
    EXPECT_EQ(Count("SITE"), 4);
    EXPECT_EQ(Count("SITECHAN"), 4);
}

TEST_F(StationDeleting, CancelledConnectionShowsTheConnectStringWithoutThePassword) {
    AddFourStations();
    OpenForm("S2");
    makeSession = [] { return std::make_unique<CancelledSession>(); };
    ConfirmDelete();
    ASSERT_EQ(port.Messages().size(), 2u);
    const std::string shown = "DSN=" + backend.dsn + ";UID=" + backend.user + ";PWD=****;";
    EXPECT_EQ(port.Messages()[1].text, FormatString(str::DatabaseOpenError, shown));
    EXPECT_EQ(port.Messages()[1].icon, platform::Icon::Exclamation);
    EXPECT_EQ(Count("SITE"), 4);
}

TEST_F(StationDeleting, RefusedDeletionKeepsBothTablesAndShowsTheDriverText) {
    AddFourStations();
    OpenForm("S2");
    makeSession = [] { return std::make_unique<RefusingSession>("delete from SITE where"); };
    ConfirmDelete();
    ASSERT_EQ(port.Messages().size(), 2u);
    EXPECT_EQ(port.Messages()[1].text, "statement refused by the test\n");
    EXPECT_EQ(port.Messages()[1].icon, platform::Icon::Stop);
    // Both deletions are one transaction: the channel rows stay with the row.
    EXPECT_EQ(Count("SITE", "STA='S2'"), 1);
    EXPECT_EQ(Count("SITECHAN", "STA='S2'"), 1);
    EXPECT_EQ(port.Entries(ctl::StationCode).size(), 4u);  // not refreshed
}

// Every row of SITE and SITECHAN, in key order, as the database renders it.
std::vector<TextRow> StoredCatalogue(const CDatabase& admin) {
    auto rows = QueryRows(admin, "select * from SITE order by STA");
    for (auto& row : QueryRows(admin, "select * from SITECHAN order by STA, CHAN, NGROUP, CHANINDEX"))
        rows.push_back(std::move(row));
    return rows;
}

// Statements that make the database refuse to delete a SITE row.
std::vector<std::string> RefuseSiteDeletionTrigger(const std::string& backendName) {
    if (backendName == "postgres")
        return {"create or replace function REFUSE_SITE_DELETE() returns trigger as $$ begin "
                "raise exception 'site deletion refused'; end $$ language plpgsql",
                "create trigger NO_SITE_DELETE before delete on SITE for each row execute function "
                "REFUSE_SITE_DELETE()"};
    if (backendName == "mariadb")
        return {"create trigger NO_SITE_DELETE before delete on SITE for each row "
                "signal sqlstate '45000' set message_text = 'site deletion refused'"};
    return {"create trigger NO_SITE_DELETE before delete on SITE "
            "begin select raise(abort, 'site deletion refused'); end"};
}

TEST_F(StationDeleting, ARefusedDeletionLeavesSiteAndSitechanAsTheyWere) {
    enum class Fault { ForeignKey, Trigger, ConnectionEnded };
    const struct {
        const char* what;
        Fault fault;
    } cases[] = {
        {"another table references the station by a foreign key", Fault::ForeignKey},
        {"a trigger refuses the SITE deletion", Fault::Trigger},
        {"the server ends the connection between the two deletions", Fault::ConnectionEnded},
    };
    OpenForm();
    const TableDropGuard affiliation(*admin, "AFFILIATION");
    std::vector<std::string> notServed;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.fault == Fault::ConnectionEnded && backend.name == "sqlite") {
            notServed.push_back(std::string(c.what) + ": SQLite has no server to end the connection");
            continue;
        }
        DropTableIfExists(*admin, "AFFILIATION");
        CreateStationTables(*admin);
        AddFourStations();
        makeSession = [] { return std::make_unique<CDatabase>(); };
        switch (c.fault) {
            case Fault::ForeignKey:
                Exec("create table AFFILIATION (NET varchar(8), STA varchar(8), "
                     "foreign key (STA) references SITE (STA))");
                Exec("insert into AFFILIATION (NET, STA) values ('ZR', 'S2')");
                // SQLite's driver enforces foreign keys only when asked to.
                if (backend.name == "sqlite") {
                    const std::string connect = backend.ConnectString() + "FKSupport=1;";
                    makeSession = [connect] { return std::make_unique<RedirectedSession>(connect); };
                }
                break;
            case Fault::Trigger:
                for (const auto& sql : RefuseSiteDeletionTrigger(backend.name)) Exec(sql);
                break;
            case Fault::ConnectionEnded:
                makeSession = [this] {
                    return std::make_unique<ServerEndedSession>(*admin, backend.name, "delete from SITE where");
                };
                break;
        }
        port.ReplaceText(ctl::StationCode, "S2");
        const auto before = StoredCatalogue(*admin);
        ASSERT_EQ(Count("SITECHAN", "STA='S2'"), 1);
        port.ClearMessages();
        ConfirmDelete();
        ASSERT_EQ(port.Messages().size(), 2u);
        EXPECT_EQ(port.Messages()[1].icon, platform::Icon::Stop);
        EXPECT_FALSE(port.Messages()[1].text.empty());
        EXPECT_EQ(StoredCatalogue(*admin), before);
        EXPECT_EQ(Text(ctl::StationCode), "S2");  // not refreshed
    }
    SkipCasesNotServed(notServed);
}

TEST_F(StationDeleting, AStationChangedSinceLoadingIsDeletedOnlyWhenTheUserAgrees) {
    const struct {
        const char* change;  // by another program, after the form loaded S2
        platform::Answer answer;
    } cases[] = {
        {"update SITE set STANAME='theirs' where STA='S2'", platform::Answer::Cancel},
        {"update SITECHAN set SPS=40 where STA='S2'", platform::Answer::Ok},
        {"delete from SITE where STA='S2'", platform::Answer::Cancel},
        {"delete from SITE where STA='S2'", platform::Answer::Ok},
    };
    OpenForm();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.change);
        CreateStationTables(*admin);
        AddFourStations();
        port.ReplaceText(ctl::StationCode, "S2");
        Exec(c.change);
        const auto before = StoredCatalogue(*admin);
        port.ClearMessages();
        port.QueueAnswer(platform::Answer::Ok);  // the delete question
        ConfirmDelete(c.answer);
        ASSERT_EQ(port.Messages().size(), 2u);
        const auto& box = port.Messages()[1];
        EXPECT_EQ(box.text, FormatString(str::DeleteChangedQuestion, "S2"));
        EXPECT_EQ(box.caption, LoadString(str::Attention));
        EXPECT_EQ(box.buttons, platform::Buttons::OkCancel);
        EXPECT_EQ(box.icon, platform::Icon::Exclamation);
        if (c.answer == platform::Answer::Cancel) {
            EXPECT_EQ(StoredCatalogue(*admin), before);
        } else {
            EXPECT_EQ(Count("SITE", "STA='S2'"), 0);
            EXPECT_EQ(Count("SITECHAN", "STA='S2'"), 0);
            EXPECT_EQ(Count("SITE"), 3);
        }
    }
}

// Another editor holds the station, its SITE row written again unchanged and
// a channel row added, and commits while the delete waits for the station.
TEST_F(StationDeleting, AChannelRowCommittedWhileTheDeleteWaitsForTheStationIsSeen) {
    AddFourStations();
    OpenForm("S2");
    CDatabase other;
    ASSERT_TRUE(other.Open(backend.ConnectString(), OpenOptions::UseCursorLibrary));
    Transaction theirs(other);
    ASSERT_TRUE(theirs.Begun());
    other.ExecuteDirect("update SITE set STA=STA where STA='S2'");
    other.ExecuteDirect("insert into SITECHAN (STA,CHAN,NGROUP,CHANINDEX) values ('S2','BHN',1,1)");
    std::thread commit([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        theirs.Commit();
    });
    port.QueueAnswer(platform::Answer::Ok);  // the delete question
    ConfirmDelete(platform::Answer::Cancel);
    commit.join();
    ASSERT_EQ(port.Messages().size(), 2u);
    EXPECT_EQ(port.Messages()[1].text, FormatString(str::DeleteChangedQuestion, "S2"));
    EXPECT_EQ(Count("SITECHAN", "STA='S2'"), 2);
}

TEST_F(StationDeleting, ACodeSiteHoldsTwiceIsDeletedWithoutAChangedQuestion) {
    DropSitePrimaryKey();
    AddSite("DUP", 1, 1);
    AddSite("DUP", 2, 1);
    AddChannel("DUP", "BHZ", 1, 0);
    OpenForm("DUP");
    ConfirmDelete();
    EXPECT_EQ(port.Messages().size(), 1u);  // the delete question alone
    EXPECT_EQ(Count("SITE", "STA='DUP'"), 0);
    EXPECT_EQ(Count("SITECHAN", "STA='DUP'"), 0);
}

TEST_F(StationDeleting, FailedCommitIsReportedAndTheFormIsNotRefreshed) {
    AddFourStations();
    OpenForm("S2");
    makeSession = [] { return std::make_unique<FailingCommitSession>(); };
    ConfirmDelete();
    ASSERT_EQ(port.Messages().size(), 2u);
    EXPECT_EQ(port.Messages()[1].icon, platform::Icon::Stop);
    EXPECT_EQ(Count("SITE"), 4);
    EXPECT_EQ(Count("SITECHAN"), 4);
    EXPECT_EQ(Text(ctl::StationCode), "S2");
}

}  // namespace
}  // namespace ops_test
