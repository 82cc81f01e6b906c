#include "station/station_journal.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <mutex>
#include <vector>

#include "db/schema_upgrade.h"
#include "db/session.h"
#include "db/sql_text.h"
#include "station/program_identity.h"

namespace {

// The journal's columns in the order every statement here names them.
constexpr const char* kColumns =
    "ID,CHANGED_AT,DB_USER,OS_USER,HOST_NAME,PROGRAM,PROGRAM_VERSION,OPERATION,STA,REASON,BEFORE_ROWS,AFTER_ROWS";

// What the journal's statements say differently on each database product.
using JournalWording = OwnTableWording;

std::optional<JournalWording> WordingFor(const CDatabase& session) { return session.SessionDialect().OwnTable(); }

std::string CreateTableStatement(const JournalWording& w) {
    return std::string("create table STATION_JOURNAL (") + w.idColumn +
           ", CHANGED_AT varchar(26) not null, DB_USER varchar(128), OS_USER varchar(128), HOST_NAME varchar(255),"
           " PROGRAM varchar(64), PROGRAM_VERSION varchar(32), OPERATION varchar(8) not null,"
           " STA varchar(8) not null, REASON varchar(1024), BEFORE_ROWS " +
           w.longTextType + ", AFTER_ROWS " + w.longTextType + ")" + w.tableOptions;
}

// One station's history is read through the first index without a scan; a
// window of the whole catalogue through the second.
constexpr const char* kIndexStatements[] = {
    "create index STATION_JOURNAL_STA on STATION_JOURNAL (STA, ID)",
    "create index STATION_JOURNAL_AT on STATION_JOURNAL (CHANGED_AT)",
};

std::mutex& StateMutex() {
    static std::mutex mutex;
    return mutex;
}
std::map<std::string, bool>& KnownStates() {
    static std::map<std::string, bool> states;
    return states;
}
void Remember(const CDatabase& session, bool available) {
    const std::lock_guard<std::mutex> lock(StateMutex());
    KnownStates()[session.ConnectString()] = available;
}

std::string OsUser() {
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr)
        return found->pw_name;
    return std::to_string(geteuid());
}

std::string HostName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) return {};
    return name;
}

std::string OptionalLiteral(const std::string& text) { return text.empty() ? "NULL" : SqlQuote(text); }

JournalEntry EntryOf(const ValueRow& row) {
    JournalEntry e;
    e.id = static_cast<std::int64_t>(NumberOf(row[0]).value_or(0));
    const auto text = [&row](std::size_t i) { return TextOf(row[i]).value_or(std::string()); };
    e.at = text(1);
    e.dbUser = text(2);
    e.osUser = text(3);
    e.host = text(4);
    e.program = text(5);
    e.version = text(6);
    e.operation = text(7);
    e.code = text(8);
    e.reason = text(9);
    e.beforeRows = DecodeStation(text(10));
    e.afterRows = DecodeStation(text(11));
    e.before = ToSnapshot(e.beforeRows);
    e.after = ToSnapshot(e.afterRows);
    return e;
}

std::vector<JournalEntry> SelectEntries(CDatabase& session, const std::string& where) {
    std::vector<FieldKind> kinds(12, FieldKind::Text);
    kinds[0] = FieldKind::Floating;
    std::vector<JournalEntry> entries;
    ForEachRow(session, std::string("select ") + kColumns + " from STATION_JOURNAL" + where + " order by ID desc",
               kinds, [&entries](ValueRow& row) { entries.push_back(EntryOf(row)); });
    return entries;
}

}  // namespace

JournalState EnsureJournalTable(CDatabase& session) {
    if (ColumnExists(session, "STATION_JOURNAL", "ID")) {
        Remember(session, true);
        return {true, {}};
    }
    const std::optional<JournalWording> wording = WordingFor(session);
    if (!wording) {
        Remember(session, false);
        return {false, "journal: database product '" + session.DbmsName() + "' not supported"};
    }
    try {
        session.ExecuteDirect(CreateTableStatement(*wording));
        for (const char* index : kIndexStatements) session.ExecuteDirect(index);
    } catch (const CDBException& e) {
        const bool made = ColumnExists(session, "STATION_JOURNAL", "ID");
        Remember(session, made);
        return {made, e.what()};
    }
    Remember(session, true);
    return {true, {}};
}

bool JournalAvailable(CDatabase& session) {
    {
        const std::lock_guard<std::mutex> lock(StateMutex());
        const auto known = KnownStates().find(session.ConnectString());
        if (known != KnownStates().end()) return known->second;
    }
    const bool available = WordingFor(session).has_value() && ColumnExists(session, "STATION_JOURNAL", "ID");
    // A table found stays; one not found is looked for again next time, as
    // someone may make it meanwhile (station-upgrade). Only the start's own
    // failed attempt (EnsureJournalTable) is kept as "not journaled".
    if (available) Remember(session, true);
    return available;
}

void ForgetJournalState() {
    const std::lock_guard<std::mutex> lock(StateMutex());
    KnownStates().clear();
}

bool JournalTakesWrites(const CDatabase& session) {
    const std::optional<JournalWording> wording = WordingFor(session);
    return wording && wording->batches;
}

std::int64_t AppendJournal(CDatabase& session, const std::string& operation, const std::string& code,
                           const std::string& reason, const ExactStation& before, const ExactStation& after,
                           const std::vector<std::string>& writes) {
    const std::optional<JournalWording> wording = WordingFor(session);
    if (!wording) throw std::logic_error("journal on a database product it has no wording for");
    const ProgramIdentity program = CurrentProgramIdentity();
    const std::string sql =
        "insert into STATION_JOURNAL (CHANGED_AT,DB_USER,OS_USER,HOST_NAME,PROGRAM,PROGRAM_VERSION,OPERATION,STA,"
        "REASON,BEFORE_ROWS,AFTER_ROWS) values (" +
        std::string(wording->utcClock) + "," + wording->user + "," + SqlQuote(OsUser()) + "," +
        OptionalLiteral(HostName()) + "," + SqlQuote(program.name) + "," + OptionalLiteral(program.version) + "," +
        SqlQuote(operation) + "," + SqlQuote(code) + "," + OptionalLiteral(reason) + "," +
        SqlQuote(EncodeStation(before)) + "," + SqlQuote(EncodeStation(after)) + ")";
    std::vector<ValueRow> rows;
    if (wording->batches && !writes.empty()) {
        std::string batch;
        for (const std::string& write : writes) {
            session.SendingInBatch(write);
            batch += write + ";";
        }
        std::vector<std::vector<FieldKind>> kinds(writes.size());
        kinds.push_back({FieldKind::Floating});
        rows = std::move(SelectBatchRows(session, batch + sql + " returning ID", kinds).back());
    } else {
        for (const std::string& write : writes) session.ExecuteDirect(write);
        if (wording->lastId != nullptr) {
            session.ExecuteDirect(sql);
            rows = SelectRows(session, wording->lastId, {FieldKind::Floating});
        } else {
            rows = SelectRows(session, sql + " returning ID", {FieldKind::Floating});
        }
    }
    if (rows.empty() || !NumberOf(rows.front().front())) throw std::logic_error("journal insert answered no id");
    return static_cast<std::int64_t>(*NumberOf(rows.front().front()));
}

std::vector<JournalEntry> ReadJournal(CDatabase& session, const JournalQuery& query) {
    std::string where;
    const auto add = [&where](const std::string& condition) {
        where += where.empty() ? " where " : " and ";
        where += condition;
    };
    if (!query.codes.empty()) {
        std::string list;
        for (const std::string& code : query.codes) list += (list.empty() ? "" : ",") + SqlQuote(code);
        add("STA in (" + list + ")");
    }
    if (query.since) add("CHANGED_AT>=" + SqlQuote(*query.since));
    if (query.until) add("CHANGED_AT<=" + SqlQuote(*query.until));
    return SelectEntries(session, where);
}

std::optional<JournalEntry> ReadJournalEntry(CDatabase& session, std::int64_t id) {
    std::vector<JournalEntry> found = SelectEntries(session, " where ID=" + std::to_string(id));
    if (found.empty()) return std::nullopt;
    return std::move(found.front());
}

std::optional<std::string> JournalTime(const std::string& given, bool endOfRange) {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    int consumed = 0;
    std::string text = given;
    if (text.size() > 10 && text[10] == 'T') text[10] = ' ';
    if (text.size() > 0 && text.back() == 'Z') text.pop_back();
    const int parts = std::sscanf(text.c_str(), "%4d-%2d-%2d%n %2d:%2d%n:%2d%n", &y, &mo, &d, &consumed, &h, &mi,
                                  &consumed, &s, &consumed);
    if (parts < 3 || consumed != static_cast<int>(text.size()) || parts == 4) return std::nullopt;
    if (mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 59 || h < 0 || mi < 0 || s < 0)
        return std::nullopt;
    if (parts == 3 && endOfRange) h = 23, mi = 59, s = 59;
    if (parts == 5 && endOfRange) s = 59;
    char out[40];
    std::snprintf(out, sizeof out, "%04d-%02d-%02d %02d:%02d:%02d%s", y, mo, d, h, mi, s,
                  endOfRange ? ".999999" : "");
    return std::string(out);
}
