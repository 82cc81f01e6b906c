#pragma once
// A station form on the in-memory dialog, working on the real database of the
// test run: set-up helpers, session doubles and checks of what is stored.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "db/session.h"
#include "form/station_dlg.h"
#include "platform/fake/fake_dialog_port.h"
#include "tests/support/backend.h"
#include "tests/support/query_rows.h"

namespace ops_test {

// A session whose driver cannot start a transaction.
class NoTransactionSession : public CDatabase {
public:
    bool BeginTransaction() override { return false; }
};

// A session whose driver completion the user cancels: Open answers false.
class CancelledSession : public CDatabase {
public:
    bool Open(const std::string&, unsigned) override { return false; }
};

// A session whose data source refuses every statement that begins with a
// chosen text, as a driver would.
class RefusingSession : public CDatabase {
public:
    explicit RefusingSession(std::string prefix) : prefix_(std::move(prefix)) {}
    void ExecuteDirect(const std::string& sql) override;
    void SendingInBatch(const std::string& sql) const override;

private:
    std::string prefix_;
};

// A session whose commits fail; what was written is rolled back.
class FailingCommitSession : public CDatabase {
public:
    bool CommitTransaction() override {
        RollbackTransaction();
        return false;
    }
};

// Ends the victim's connection from the server side, through the killer's
// connection (PostgreSQL pg_terminate_backend, MariaDB KILL), as a restarted
// server or an administrator would. Only for the two server backends.
void EndFromServer(CDatabase& killer, const CDatabase& victim, const std::string& backendName);

// A session that the server ends at a chosen point of a save: before the
// first statement beginning with `prefix`, or, with an empty prefix, right
// before the commit.
class ServerEndedSession : public CDatabase {
public:
    ServerEndedSession(CDatabase& killer, std::string backendName, std::string prefix)
        : killer_(killer), backend_(std::move(backendName)), prefix_(std::move(prefix)) {}
    void ExecuteDirect(const std::string& sql) override;
    void SendingInBatch(const std::string& sql) const override;
    bool CommitTransaction() override;

private:
    CDatabase& killer_;
    std::string backend_;
    std::string prefix_;
};

// Sets TZ for the life of the object and restores it afterwards.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* tz);
    ~ScopedTimeZone();
    ScopedTimeZone(const ScopedTimeZone&) = delete;
    ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

private:
    std::optional<std::string> saved_;
};

// Seconds since the epoch of a "YYYY-MM-DD hh:mm:ss..." text read as UTC;
// nullopt when the text does not start like that.
std::optional<long long> SecondsOfDateText(const std::string& text);

// A session that runs one statement of its own right after connecting, such
// as a per-connection setting the test needs.
class PreparedSession : public CDatabase {
public:
    explicit PreparedSession(std::string statement) : statement_(std::move(statement)) {}
    bool Open(const std::string& connectString, unsigned options) override;

private:
    std::string statement_;
};

// A session that connects to another data source than the one asked for.
class RedirectedSession : public CDatabase {
public:
    explicit RedirectedSession(std::string connectString) : target_(std::move(connectString)) {}
    bool Open(const std::string&, unsigned options) override { return CDatabase::Open(target_, options); }

private:
    std::string target_;
};

// Fixture: fresh station tables, a shared session, and the form on the fake.
class StationFormTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Constructs the form and opens it (its initialisation runs).
    void OpenForm(const std::string& startStationCode = {});

    // Set-up and checks on the test's own session.
    void Exec(const std::string& sql);
    void AddSite(const std::string& code, int nindex, int ngroups);
    void AddChannel(const std::string& code, const std::string& chan, int group, int component, double sps = 20,
                    const std::string& calibFile = {}, const std::string& locCode = {},
                    const std::string& sensorType = {});
    std::optional<std::string> Value(const std::string& sql) const { return QueryValue(*admin, sql); }
    std::vector<TextRow> Rows(const std::string& sql) const { return QueryRows(*admin, sql); }
    long Count(const std::string& table, const std::string& where = {}) const {
        return CountRows(*admin, table, where);
    }
    // The station's channel rows as "CHAN/NGROUP/CHANINDEX", sorted.
    std::vector<std::string> ChannelKeys(const std::string& code) const;
    // Recreates SITE without its primary key, so a code can be held twice.
    void DropSitePrimaryKey();
    // A connect string to an empty SQLite file that has none of the tables.
    std::string EmptyDatabaseConnectString();

    // What the form shows, and the last message box.
    std::string Text(int id) const { return port.Text(id); }
    const platform::ShownMessage* LastMessage() const {
        return port.Messages().empty() ? nullptr : &port.Messages().back();
    }
    // Fails the test with the texts of every message box shown so far.
    void ExpectNoMessages() const;

    const Backend& backend = CurrentBackend();
    std::unique_ptr<CDatabase> admin;   // the test's own session
    std::unique_ptr<CDatabase> shared;  // the form's shared session
    // Makes the operation sessions the form opens; tests may swap it.
    std::function<std::unique_ptr<CDatabase>()> makeSession;
    int sessionsMade = 0;
    // Runs inside each save and delete of the form, between the station's
    // second reading and the first write; tests may set it.
    std::function<void()> storeSeam;
    // When a test makes it before OpenForm, the form's operations draw their
    // sessions from it.
    std::unique_ptr<SessionPool> pool;
    platform::FakeDialogPort port;
    std::unique_ptr<CStationDlg> form;
    std::string emptyDbPath_;
};

}  // namespace ops_test
