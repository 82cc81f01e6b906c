// station-history and station-restore run as a newcomer types them, on every
// backend: a station saved, changed, deleted, its history, a dry run and the
// restore that brings it back.

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "db/session.h"
#include "station/station_journal.h"
#include "station/station_store.h"
#include "tests/support/backend.h"
#include "tools/check_program.h"
#include "tools/journal_programs.h"

namespace {

struct ProgramRun {
    int exit = -1;
    std::string out, err;
};

// The program as its main runs it, with the backend's connection tokens.
ProgramRun Program(int (*program)(int, char**, std::ostream&, std::ostream&), std::vector<std::string> args) {
    const Backend& backend = CurrentBackend();
    args.insert(args.begin(), "program");
    args.push_back("ODBC=" + backend.dsn);
    args.push_back("USER=" + backend.user);
    args.push_back("PASSWORD=" + backend.password);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::ostringstream out, err;
    const int exit = program(static_cast<int>(args.size()), argv.data(), out, err);
    return {exit, out.str(), err.str()};
}

StationValues Kiv(double lat) {
    StationValues v;
    v.code = "KIV";
    v.ngroups = 1;
    v.lat = lat;
    v.descr = "Кисловодск";
    for (int c = 0; c < 3; ++c) {
        ChannelValues channel;
        channel.chan = std::string("BH") + "ZNE"[c];
        channel.component = c;
        channel.sps = 20.0;
        v.channels.push_back(channel);
    }
    v.staleGroups = 1;
    return v;
}

TEST(JournalPrograms, HistoryShowsEachChangeAndARestoreBringsBackTheDeletedStation) {
    CDatabase db;
    ASSERT_TRUE(db.Open(CurrentBackend().ConnectString(), OpenOptions::UseCursorLibrary));
    CreateStationTables(db);
    const TableDropGuard journal(db, "STATION_JOURNAL");
    ForgetJournalState();
    // Without the table the history cannot be shown, and station-check says
    // that nothing is journaled.
    EXPECT_EQ(Program(RunStationHistory, {}).exit, 2);
    const ProgramRun check = Program(RunStationCheck, {});
    EXPECT_NE(check.err.find("журнал изменений не ведётся"), std::string::npos) << check.err;
    ASSERT_TRUE(EnsureJournalTable(db).available);
    StationStore store(db);
    const ChangedQuestion yes = [](const std::string&) { return true; };
    int nindex = 0;
    ASSERT_EQ(store.Save(Kiv(43.9), std::nullopt, yes, nindex), StoreOutcome::Done);
    ASSERT_EQ(store.Save(Kiv(44.1), std::nullopt, yes, nindex), StoreOutcome::Done);
    const ExactStation beforeDelete = ReadExactStation(db, "KIV");
    ASSERT_EQ(store.Delete("KIV", std::nullopt, yes), StoreOutcome::Done);
    const std::string deleted = std::to_string(*store.LastEntry());

    const ProgramRun history = Program(RunStationHistory, {"kiv"});
    ASSERT_EQ(history.exit, 0) << history.err;
    for (const char* expected : {"delete", "update", "insert", "Широта, град: 43.9 -> 44.1",
                                 "группа 1 N (BHN): канал удалён", "Отсч./сек.: 20"})
        EXPECT_NE(history.out.find(expected), std::string::npos) << expected << "\n" << history.out;

    const ProgramRun dry = Program(RunStationRestore, {"KIV", "--before", deleted, "--dry-run"});
    ASSERT_EQ(dry.exit, 0) << dry.err;
    EXPECT_NE(dry.out.find("Широта, град: NULL -> 44.1"), std::string::npos) << dry.out;
    EXPECT_FALSE(ReadExactStation(db, "KIV").site);

    const ProgramRun restore = Program(RunStationRestore, {"KIV", "--before", deleted, "--reason", "удалена по ошибке"});
    ASSERT_EQ(restore.exit, 0) << restore.err;
    EXPECT_TRUE(SameRows(ReadExactStation(db, "KIV"), beforeDelete));

    const ProgramRun json = Program(RunStationHistory, {"KIV", "--json", "--since", "2000-01-01"});
    ASSERT_EQ(json.exit, 0) << json.err;
    EXPECT_NE(json.out.find("\"operation\": \"restore\", \"reason\": \"удалена по ошибке\""), std::string::npos)
        << json.out;
    EXPECT_NE(json.out.find("\"column\": \"LAT\", \"old\": null, \"new\": 44.1"), std::string::npos) << json.out;

    const struct {
        std::vector<std::string> args;
        const char* reason;
    } refused[] = {
        {{"OBN", "--before", deleted}, "относится к станции KIV"},
        {{"KIV", "--before", "0"}, "не целое положительное"},
        {{"KIV"}, "одно из --before"},
        {{"KIV", "--at", "вчера"}, "не в виде"},
    };
    for (const auto& r : refused) {
        const ProgramRun run = Program(RunStationRestore, r.args);
        EXPECT_EQ(run.exit, 2) << r.reason;
        EXPECT_NE(run.err.find(r.reason), std::string::npos) << run.err;
    }
}

}  // namespace
