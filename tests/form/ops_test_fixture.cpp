#include "tests/form/ops_test_fixture.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#include <unistd.h>

#include "db/schema_upgrade.h"
#include "db/sql_script.h"
#include "resources/string_table.h"
#include "station/station_journal.h"

namespace ops_test {

namespace {

std::string Quote(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'') out += '\'';
        out += c;
    }
    return out + "'";
}

std::string Number(double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.10g", value);
    return buffer;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace

void RefusingSession::ExecuteDirect(const std::string& sql) {
    SendingInBatch(sql);
    CDatabase::ExecuteDirect(sql);
}

void RefusingSession::SendingInBatch(const std::string& sql) const {
    if (sql.rfind(prefix_, 0) == 0) throw CDBException(SQL_ERROR, "statement refused by the test\n", {});
}

void EndFromServer(CDatabase& killer, const CDatabase& victim, const std::string& backendName) {
    const bool postgres = backendName == "postgres";
    const auto id = QueryValue(victim, postgres ? "select pg_backend_pid()" : "select connection_id()");
    ASSERT_TRUE(id) << "the connection does not tell its id";
    // PostgreSQL waits up to 5 s for the backend to be gone.
    killer.ExecuteDirect(postgres ? "select pg_terminate_backend(" + *id + ", 5000)" : "kill connection " + *id);
}

void ServerEndedSession::ExecuteDirect(const std::string& sql) {
    SendingInBatch(sql);
    CDatabase::ExecuteDirect(sql);
}

void ServerEndedSession::SendingInBatch(const std::string& sql) const {
    if (!prefix_.empty() && sql.rfind(prefix_, 0) == 0) EndFromServer(killer_, *this, backend_);
}

bool ServerEndedSession::CommitTransaction() {
    if (prefix_.empty()) EndFromServer(killer_, *this, backend_);
    return CDatabase::CommitTransaction();
}

ScopedTimeZone::ScopedTimeZone(const char* tz) {
    if (const char* old = std::getenv("TZ")) saved_ = old;
    setenv("TZ", tz, 1);
    tzset();
}

ScopedTimeZone::~ScopedTimeZone() {
    if (saved_)
        setenv("TZ", saved_->c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}

std::optional<long long> SecondsOfDateText(const std::string& text) {
    std::tm parts{};
    int n = std::sscanf(text.c_str(), "%d-%d-%d %d:%d:%d", &parts.tm_year, &parts.tm_mon, &parts.tm_mday,
                        &parts.tm_hour, &parts.tm_min, &parts.tm_sec);
    if (n != 6) return std::nullopt;
    parts.tm_year -= 1900;
    parts.tm_mon -= 1;
    return static_cast<long long>(timegm(&parts));
}

bool PreparedSession::Open(const std::string& connectString, unsigned options) {
    if (!CDatabase::Open(connectString, options)) return false;
    ExecuteDirect(statement_);
    return true;
}

void StationFormTest::SetUp() {
    admin = std::make_unique<CDatabase>();
    ASSERT_TRUE(admin->Open(backend.ConnectString(), OpenOptions::UseCursorLibrary));
    CreateStationTables(*admin);
    // The editor makes the journal at start: every write here is journaled,
    // as it is for its users.
    ForgetJournalState();
    ASSERT_TRUE(EnsureJournalTable(*admin).available);
    shared = std::make_unique<CDatabase>();
    ASSERT_TRUE(shared->Open(backend.ConnectString(), OpenOptions::UseCursorLibrary));
    makeSession = [] { return std::make_unique<CDatabase>(); };
}

void StationFormTest::TearDown() {
    form.reset();
    pool.reset();
    shared.reset();
    admin.reset();
    if (!emptyDbPath_.empty()) std::remove(emptyDbPath_.c_str());
}

void StationFormTest::OpenForm(const std::string& startStationCode) {
    FormEnvironment env;
    env.startStationCode = startStationCode;
    env.connectString = [this] { return backend.ConnectString(); };
    env.openSession = [this] {
        ++sessionsMade;
        return makeSession();
    };
    env.storeSeam = [this] {
        if (storeSeam) storeSeam();
    };
    if (pool) {
        pool = std::make_unique<SessionPool>(env.openSession);
        env.pool = pool.get();
    }
    form = std::make_unique<CStationDlg>(port, env);
    port.Open(*form);
}

void StationFormTest::Exec(const std::string& sql) {
    try {
        admin->ExecuteDirect(sql);
    } catch (const CDBException& e) {
        FAIL() << "set-up statement failed: " << sql << "\n" << e.ErrorText;
    }
}

void StationFormTest::AddSite(const std::string& code, int nindex, int ngroups) {
    Exec("insert into SITE (STA,NINDEX,NGROUPS,LAT,LON,ELEV) values (" + Quote(code) + "," +
         std::to_string(nindex) + "," + std::to_string(ngroups) + ",55.5,37.25,150)");
}

void StationFormTest::AddChannel(const std::string& code, const std::string& chan, int group, int component,
                                 double sps, const std::string& calibFile, const std::string& locCode,
                                 const std::string& sensorType) {
    Exec("insert into SITECHAN (STA,CHAN,NGROUP,CHANINDEX,SPS,CALIBFILE,LCODE,DESCR) values (" + Quote(code) +
         "," + Quote(chan) + "," + std::to_string(group) + "," + std::to_string(component) + "," + Number(sps) +
         "," + Quote(calibFile) + "," + Quote(locCode) + "," + Quote(sensorType) + ")");
}

std::vector<std::string> StationFormTest::ChannelKeys(const std::string& code) const {
    std::vector<std::string> keys;
    for (const auto& row : Rows("select CHAN, NGROUP, CHANINDEX from SITECHAN where STA=" + Quote(code)))
        keys.push_back(row[0].value_or("NULL") + "/" + row[1].value_or("NULL") + "/" + row[2].value_or("NULL"));
    std::sort(keys.begin(), keys.end());
    return keys;
}

void StationFormTest::DropSitePrimaryKey() {
    const auto statements = SplitSqlStatements(ReadFile(backend.SqlDir() + "/base_tables.sql"));
    auto site = std::find_if(statements.begin(), statements.end(),
                             [](const std::string& s) { return s.rfind("CREATE TABLE SITE (", 0) == 0; });
    ASSERT_NE(site, statements.end()) << "no CREATE TABLE SITE in the base script";
    // Cut from the comma before "PRIMARY KEY (STA)" to the end of that clause.
    std::string keyless = *site;
    const size_t key = keyless.find("PRIMARY KEY (STA)");
    const size_t comma = key == std::string::npos ? key : keyless.rfind(',', key);
    ASSERT_NE(comma, std::string::npos) << "the SITE script names no primary key";
    keyless.erase(comma, key + std::string("PRIMARY KEY (STA)").size() - comma);
    DropTableIfExists(*admin, "SITE");
    Exec(keyless);
    std::vector<std::string> messages;
    UpgradeSchema(*admin, [&messages](const ColumnUpgradeFailure& f) {
        messages.push_back(ColumnUpgradeFailureText(f.Table, f.Column, f.ErrorText));
    });
    ASSERT_TRUE(messages.empty()) << messages.front();
}

std::string StationFormTest::EmptyDatabaseConnectString() {
    if (emptyDbPath_.empty()) {
        std::string path = "/tmp/ops-empty-XXXXXX";
        const int fd = mkstemp(path.data());
        if (fd >= 0) close(fd);
        emptyDbPath_ = path;
    }
    return "DRIVER=SQLite3;Database=" + emptyDbPath_ + ";";
}

void StationFormTest::ExpectNoMessages() const {
    for (const auto& m : port.Messages()) ADD_FAILURE() << "unexpected message box: " << m.text;
}

}  // namespace ops_test
