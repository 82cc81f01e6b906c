// The journal of station writes, on every backend: one entry per write with
// the rows before and after it, a restore that brings back every column, the
// change made outside our programs, and no write without its entry when the
// connection dies between them.

#include <cstdlib>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "db/select_rows.h"
#include "db/session.h"
#include "station/exact_station.h"
#include "station/journal_text.h"
#include "station/station_journal.h"
#include "station/station_restore.h"
#include "station/station_store.h"
#include "tests/support/backend.h"
#include "tests/support/query_rows.h"

namespace {

const ChangedQuestion kYes = [](const std::string&) { return true; };

// The station's rows as plain SQL reads them, every column, for comparing
// a station before and after.
std::vector<ValueRow> StoredRows(const CDatabase& db, const std::string& code) {
    std::vector<ValueRow> rows = SelectRows(db, "select * from SITE where STA='" + code + "'");
    for (ValueRow& row : SelectRows(db, "select * from SITECHAN where STA='" + code + "' order by NGROUP, CHANINDEX, CHAN"))
        rows.push_back(std::move(row));
    return rows;
}

StationValues Station(const std::string& code, double lat, int groups) {
    StationValues v;
    v.code = code;
    v.ngroups = groups;
    v.lat = lat;
    v.lon = 37.5;
    v.elev = 150;
    v.descr = "Обнинск";
    v.staname = "Obninsk";
    v.cod = code;
    v.onDate = "1999-01-02 03:04:05";
    for (int g = 1; g <= groups; ++g)
        for (int c = 0; c < 3; ++c) {
            ChannelValues ch;
            ch.chan = std::string("BH") + "ZNE"[c];
            ch.group = g;
            ch.component = c;
            ch.sps = 20;
            ch.sensorType = "STS-1";
            v.channels.push_back(ch);
        }
    v.staleGroups = groups;
    return v;
}

class StationJournalTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(db_.Open(CurrentBackend().ConnectString(), OpenOptions::UseCursorLibrary));
        CreateStationTables(db_);
        journal_.emplace(db_, "STATION_JOURNAL");
        ForgetJournalState();
        const JournalState state = EnsureJournalTable(db_);
        ASSERT_TRUE(state.available) << state.reason;
    }
    long Entries() { return CountRows(db_, "STATION_JOURNAL"); }

    CDatabase db_;
    // No later suite finds the journal this one made.
    std::optional<TableDropGuard> journal_;
};

TEST_F(StationJournalTest, EveryWriteLeavesOneEntryWithTheRowsBeforeAndAfterIt) {
    StationStore store(db_);
    int nindex = 0;
    const auto save = [&](double lat, int groups) {
        ASSERT_EQ(store.Save(Station("OBN", lat, groups), std::nullopt, kYes, nindex), StoreOutcome::Done);
    };
    const auto import = [&](double lat, int groups) {
        ASSERT_EQ(store.Write("OBN", [&](const StationSnapshot&) { return std::optional(Station("OBN", lat, groups)); },
                              nindex),
                  StoreOutcome::Done);
    };
    const auto remove = [&] { ASSERT_EQ(store.Delete("OBN", std::nullopt, kYes), StoreOutcome::Done); };
    // As the form saves: the station as loaded, unchanged since, is not asked about.
    const ChangedQuestion notAsked = [](const std::string& code) {
        ADD_FAILURE() << code << " asked about although unchanged";
        return false;
    };
    const auto saveLoaded = [&](double lat) {
        ASSERT_EQ(store.Save(Station("OBN", lat, 3), store.Read("OBN"), notAsked, nindex), StoreOutcome::Done);
    };
    struct Case {
        const char* operation;
        std::function<void()> write;
    };
    const Case cases[] = {
        {"insert", [&] { save(55.1, 3); }},   {"update", [&] { save(55.2, 2); }},
        {"update", [&] { import(55.3, 3); }}, {"update", [&] { saveLoaded(55.35); }},
        {"delete", remove},
        {"insert", [&] { import(55.4, 1); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.operation);
        const ExactStation before = ReadExactStation(db_, "OBN");
        const long entries = Entries();
        store.SetReason(std::string("причина ") + c.operation);
        c.write();
        ASSERT_EQ(Entries(), entries + 1);
        const std::vector<JournalEntry> journal = ReadJournal(db_, {{"OBN"}, std::nullopt, std::nullopt});
        ASSERT_FALSE(journal.empty());
        const JournalEntry& e = journal.front();
        EXPECT_EQ(store.LastEntry(), e.id);
        EXPECT_EQ(e.operation, c.operation);
        EXPECT_EQ(e.reason, std::string("причина ") + c.operation);
        EXPECT_TRUE(SameRows(e.beforeRows, before));
        EXPECT_TRUE(SameRows(e.afterRows, ReadExactStation(db_, "OBN")));
        EXPECT_EQ(e.before.site.has_value(), before.site.has_value());
        EXPECT_EQ(e.at.size() >= 19, true) << e.at;
    }
}

TEST_F(StationJournalTest, RestoreOfADeletedStationBringsBackEveryRowColumnByColumn) {
    // Values the form never writes: NULL and empty text side by side, a
    // tab and a backslash, doubles that a short decimal does not hold.
    db_.ExecuteDirect(
        "insert into SITE (STA,COD,NGROUPS,ELEV,LAT,LON,DESCR,LDDATE,NINDEX,REFSTA,DNORTH,DEAST,STANAME,STATYPE,"
        "UNDERGROUND,ONDATE,OFFDATE) values ('KIV','',2,1.0000000000000002,0.1,-179.99999999999997,'Кисловодск\\"
        "\tдом',{ts '2020-02-29 23:59:59'},7,NULL,1e-300,NULL,'Kislovodsk','ss',NULL,{ts '1901-01-01 00:00:00'},NULL)");
    db_.ExecuteDirect(
        "insert into SITECHAN (STA,CHAN,NGROUP,CHANINDEX,EDEPH,LAT,LON,SPS,HANG,VANG,DESCR,CALIBFILE,LDDATE,LCODE) "
        "values ('KIV','BHZ',1,0,NULL,43.95620000000001,42.6863,20,-1,0,'STS-1','',{ts '2021-01-01 00:00:00'},NULL),"
        "('KIV','BHN',1,1,0,NULL,NULL,0.3333333333333333,0,90,NULL,'kiv.bhn',NULL,'00'),"
        "('KIV','LHZ',9,0,0,0,0,1,0,0,'','',NULL,'')");
    const std::vector<ValueRow> before = StoredRows(db_, "KIV");
    StationStore store(db_);
    ASSERT_EQ(store.Delete("KIV", std::nullopt, kYes), StoreOutcome::Done);
    ASSERT_TRUE(store.LastEntry());
    ASSERT_TRUE(StoredRows(db_, "KIV").empty());

    const RestoreResult dry = RestoreStation(db_, "KIV", *store.LastEntry(), "проверка", kYes, true);
    EXPECT_FALSE(dry.differences.empty());
    EXPECT_TRUE(StoredRows(db_, "KIV").empty());

    const RestoreResult result = RestoreStation(db_, "KIV", *store.LastEntry(), "удалена по ошибке", kYes);
    ASSERT_EQ(result.outcome, StoreOutcome::Done);
    ASSERT_TRUE(result.entry);
    const std::vector<ValueRow> after = StoredRows(db_, "KIV");
    ASSERT_EQ(after.size(), before.size());
    for (std::size_t r = 0; r < before.size(); ++r) {
        ASSERT_EQ(after[r].size(), before[r].size());
        for (std::size_t c = 0; c < before[r].size(); ++c)
            EXPECT_TRUE(SameCell(after[r][c], before[r][c])) << "row " << r << " column " << c;
    }
    const std::optional<JournalEntry> entry = ReadJournalEntry(db_, *result.entry);
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->operation, "restore");
    EXPECT_EQ(entry->reason, "удалена по ошибке");
    EXPECT_FALSE(entry->before.site);
}

TEST_F(StationJournalTest, AChangeOutsideOurProgramsShowsBetweenTwoEntries) {
    StationStore store(db_);
    int nindex = 0;
    ASSERT_EQ(store.Save(Station("ARU", 56.4, 1), std::nullopt, kYes, nindex), StoreOutcome::Done);
    db_.ExecuteDirect("update SITE set LAT=56.5 where STA='ARU'");
    ASSERT_EQ(store.Save(Station("ARU", 56.6, 1), std::nullopt, kYes, nindex), StoreOutcome::Done);
    const std::vector<HistoryItem> history = HistoryOf(ReadJournal(db_, {{"ARU"}, std::nullopt, std::nullopt}));
    ASSERT_EQ(history.size(), 3u);
    EXPECT_FALSE(history[0].outside);
    ASSERT_TRUE(history[1].outside);
    EXPECT_FALSE(history[2].outside);
    const std::string text = HistoryText(history[1]);
    EXPECT_NE(text.find("вне station-editor"), std::string::npos) << text;
    EXPECT_NE(text.find("Широта, град: 56.4 -> 56.5"), std::string::npos) << text;
}

TEST_F(StationJournalTest, AConnectionEndedBetweenTheWriteAndItsEntryLeavesNeither) {
    const std::string backend = CurrentBackend().name;
    if (backend == "sqlite") GTEST_SKIP() << "SQLite has no server that can end a connection";
    StationStore store(db_);
    int nindex = 0;
    ASSERT_EQ(store.Save(Station("PET", 53.0, 2), std::nullopt, kYes, nindex), StoreOutcome::Done);
    const std::vector<ValueRow> before = StoredRows(db_, "PET");
    const long entries = Entries();

    CDatabase victim;
    ASSERT_TRUE(victim.Open(CurrentBackend().ConnectString(), OpenOptions::UseCursorLibrary));
    const char* const idQuery = backend == "postgres" ? "select pg_backend_pid()" : "select connection_id()";
    std::string id = QueryValue(victim, idQuery).value_or("");
    ASSERT_FALSE(id.empty());
    StationStore doomed(victim);
    doomed.beforeJournal = [&] {
        db_.ExecuteDirect(backend == "postgres" ? "select pg_terminate_backend(" + id + ", 5000)"
                                                : "kill connection " + id);
    };
    const struct {
        const char* name;
        std::function<StoreOutcome()> write;
    } writes[] = {
        {"save", [&] { return doomed.Save(Station("PET", 54.0, 3), std::nullopt, kYes, nindex); }},
        {"delete", [&] { return doomed.Delete("PET", std::nullopt, kYes); }},
    };
    for (const auto& w : writes) {
        SCOPED_TRACE(w.name);
        EXPECT_THROW(w.write(), CDBException);
        EXPECT_EQ(Entries(), entries);
        const std::vector<ValueRow> now = StoredRows(db_, "PET");
        ASSERT_EQ(now.size(), before.size());
        for (std::size_t r = 0; r < now.size(); ++r)
            EXPECT_TRUE(std::equal(now[r].begin(), now[r].end(), before[r].begin(), SameCell));
        victim.Close();
        ASSERT_TRUE(victim.Open(CurrentBackend().ConnectString(), OpenOptions::UseCursorLibrary));
        id = QueryValue(victim, idQuery).value_or("");
        ASSERT_FALSE(id.empty());
    }
}

TEST(ExactStationText, EveryValueReadsBackWithItsBits) {
    ExactStation s;
    ValueRow site(kSiteColumnCount);
    site[SiteColumnIndex("STA")] = std::string("A\\N");
    site[SiteColumnIndex("DESCR")] = std::string("");
    site[SiteColumnIndex("STANAME")] = std::string("tab\there\nline\\");
    site[SiteColumnIndex("LAT")] = std::numeric_limits<double>::quiet_NaN();
    site[SiteColumnIndex("LON")] = -0.0;
    site[SiteColumnIndex("ELEV")] = std::numeric_limits<double>::infinity();
    site[SiteColumnIndex("DNORTH")] = 0.1 + 0.2;
    site[SiteColumnIndex("DEAST")] = std::numeric_limits<double>::denorm_min();
    site[SiteColumnIndex("NINDEX")] = 42.0;
    site[SiteColumnIndex("ONDATE")] = WallClock{1, 1, 1, 0, 0, 0};
    s.site = site;
    ValueRow channel(kChannelColumnCount);
    channel[ChannelColumnIndex("CHAN")] = std::string("\\N");
    s.channels.push_back(channel);
    EXPECT_TRUE(SameRows(DecodeStation(EncodeStation(s)), s)) << EncodeStation(s);
    EXPECT_TRUE(SameRows(DecodeStation(EncodeStation(ExactStation{})), ExactStation{}));
    EXPECT_THROW(DecodeStation("SITE\tSTA\nS\ta\tb\n"), JournalFormatError);
}

}  // namespace

// A user who may not create the journal still saves, unjournaled, and the
// reason is the server's refusal.
TEST_F(StationJournalTest, AUserWhoMayNotCreateTheJournalStillSaves) {
    const Backend& backend = CurrentBackend();
    const char* user = std::getenv("SE_TEST_LIMITED_UID");
    const char* password = std::getenv("SE_TEST_LIMITED_PWD");
    if (backend.name != "postgres" || user == nullptr || password == nullptr)
        GTEST_SKIP() << "only the PostgreSQL test server has a user without the right to create tables";
    journal_.reset();  // the table goes, as on a database that never had it
    db_.ExecuteDirect(std::string("grant select, insert, update, delete on SITE, SITECHAN to ") + user);
    CDatabase limited;
    ASSERT_TRUE(limited.Open("DSN=" + backend.dsn + ";UID=" + user + ";PWD=" + password + ";",
                             OpenOptions::UseCursorLibrary));
    ForgetJournalState();
    const JournalState state = EnsureJournalTable(limited);
    EXPECT_FALSE(state.available);
    EXPECT_NE(state.reason.find("permission denied"), std::string::npos) << state.reason;
    StationStore store(limited);
    int nindex = 0;
    EXPECT_EQ(store.Save(Station("OBN", 55.0, 1), std::nullopt, kYes, nindex), StoreOutcome::Done);
    EXPECT_FALSE(store.LastEntry().has_value());
    EXPECT_FALSE(StoredRows(db_, "OBN").empty());
    ForgetJournalState();
}
