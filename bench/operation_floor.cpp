#include "bench/operation_floor.h"

#include <cstring>
#include <map>
#include <regex>

#include "station/station_recordsets.h"
#include "station/station_store.h"

namespace {

// The statements the design names, by their shape.
enum class Shape {
    Other,           // not needed
    Read,            // a record set's SELECT of SITE or SITECHAN (list fill, load, channel cell)
    NextIndex,       // "select max(NINDEX)+1 as maxindex from SITE"
    RowExists,       // "select count(*) from SITE where STA=..."
    SiteWrite,       // the SITE insert or update
    ChannelWrite,    // a record set's INSERT or UPDATE of SITECHAN
    ChannelsDelete,  // "delete from SITECHAN where STA=..." (the stale rows of a save, or a delete)
    SiteDelete,      // "delete from SITE where STA=..."
    LockedReRead,    // a save's or delete's reading of the station under its lock
    SchemaTest,      // "select C from T where 1=0"
    SchemaAlter,     // "ALTER TABLE ..."
};

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

Shape ShapeOf(const RecordedCall& call) {
    if (call.kind != CallKind::ExecDirect && call.kind != CallKind::PrepareExecute) return Shape::Other;
    const std::string& t = call.text;
    static const std::regex read(R"(SELECT [A-Z0-9_,]+ +FROM (SITE|SITECHAN)( WHERE [^;]*)?)");
    static const std::regex test(R"(select \w+ from \w+ where 1=0)");
    // The station read again under its lock is what the lost-update check
    // needs: the SITE row read "for update" (PostgreSQL, MariaDB), or on
    // SQLite, whose file the writer lock holds, the same join without it.
    const bool locking = t.find("for update") != std::string::npos || t.find("FOR UPDATE") != std::string::npos;
    if ((StartsWith(t, "select ") || StartsWith(t, "SELECT ")) && t.find(" SITE") != std::string::npos &&
        (locking || t.find(" from (select 1 as ONE) K left join SITE ") != std::string::npos))
        return Shape::LockedReRead;
    if (locking) return Shape::Other;
    // The writer lock is the program's own: SQLite's write that writes nothing.
    if (t == "update SITE set STA=STA where 1=0") return Shape::Other;
    if (std::regex_match(t, read)) {
        // A save's one read of which channel cells hold a row stands in for
        // reads by each row's key: the program's own, not needed.
        if (t.find(" and CHANINDEX between ") != std::string::npos) return Shape::Other;
        return Shape::Read;
    }
    if (t == "select max(NINDEX)+1 as maxindex from SITE") return Shape::NextIndex;
    if (StartsWith(t, "select count(*) from SITE where STA=")) return Shape::RowExists;
    if (StartsWith(t, "insert into SITE (") || StartsWith(t, "update SITE set ")) return Shape::SiteWrite;
    if (StartsWith(t, "INSERT INTO SITECHAN (") || StartsWith(t, "UPDATE SITECHAN SET ")) return Shape::ChannelWrite;
    if (StartsWith(t, "delete from SITECHAN where STA=")) return Shape::ChannelsDelete;
    if (StartsWith(t, "delete from SITE where STA=")) return Shape::SiteDelete;
    if (std::regex_match(t, test)) return Shape::SchemaTest;
    if (StartsWith(t, "ALTER TABLE ")) return Shape::SchemaAlter;
    return Shape::Other;
}

// A catalogue program needs one read of SITE and one of SITECHAN, whatever
// their select lists and order.
Shape CatalogueShapeOf(const RecordedCall& call) {
    if (call.kind != CallKind::ExecDirect && call.kind != CallKind::PrepareExecute) return Shape::Other;
    static const std::regex read(R"((SELECT|select) .* (FROM|from) (SITE|SITECHAN)\b.*)");
    return std::regex_match(call.text, read) ? Shape::Read : Shape::Other;
}

// station-history needs one read of the station's journal entries.
Shape HistoryShapeOf(const RecordedCall& call) {
    if (call.kind != CallKind::ExecDirect && call.kind != CallKind::PrepareExecute) return Shape::Other;
    static const std::regex read(R"(select .* from STATION_JOURNAL where .*)");
    return std::regex_match(call.text, read) ? Shape::Read : Shape::Other;
}

bool IsWrite(Shape s) {
    return s == Shape::SiteWrite || s == Shape::ChannelWrite || s == Shape::ChannelsDelete || s == Shape::SiteDelete;
}

RecordedCall AutoCommit(bool on) {
    return RecordedCall{CallKind::AutoCommit, {}, {}, on ? long{SQL_AUTOCOMMIT_ON} : long{SQL_AUTOCOMMIT_OFF}};
}
RecordedCall Commit() { return RecordedCall{CallKind::EndTran, {}, {}, SQL_COMMIT}; }

std::string Describe(const RecordedCall& call) {
    switch (call.kind) {
        case CallKind::ExecDirect: return "exec " + call.text.substr(0, 72);
        case CallKind::PrepareExecute: return "prepare+execute " + call.text.substr(0, 64);
        case CallKind::PrimaryKeys: return "primary keys of " + call.text;
        case CallKind::AutoCommit: return call.value == SQL_AUTOCOMMIT_ON ? "autocommit on" : "autocommit off";
        case CallKind::EndTran: return call.value == SQL_COMMIT ? "commit" : "rollback";
        case CallKind::Connect: return "connect";
    }
    return {};
}

// A recorded text parameter's value, or an integer's as text; empty for NULL.
std::string ParamText(const RecordedParam& p) {
    if (p.indicator == SQL_NULL_DATA) return {};
    if (p.cType == SQL_C_SLONG && p.bytes.size() == sizeof(SQLINTEGER)) {
        SQLINTEGER v = 0;
        std::memcpy(&v, p.bytes.data(), sizeof v);
        return std::to_string(v);
    }
    return p.bytes;
}

// The column names of "INSERT INTO T (A,B,...) VALUES (...)".
std::vector<std::string> InsertColumns(const std::string& text) {
    std::vector<std::string> columns;
    const std::size_t open = text.find('('), close = text.find(')');
    if (open == std::string::npos || close == std::string::npos || close < open) return columns;
    std::string current;
    for (char c : text.substr(open + 1, close - open - 1)) {
        if (c == ',') {
            columns.push_back(current);
            current.clear();
        } else if (c != ' ') {
            current += c;
        }
    }
    columns.push_back(current);
    return columns;
}

// What the design names for the channel rows of one array-bound INSERT of
// SITECHAN: per row, the record set's read by the row's key and the row's
// own INSERT, each sent once with its values.
std::vector<RecordedCall> PerRowChannelWrites(const RecordedCall& array) {
    std::vector<RecordedCall> calls;
    const std::vector<std::string> columns = InsertColumns(array.text);
    for (const std::vector<RecordedParam>& row : array.paramRows) {
        std::string sta, chan, group, component;
        for (std::size_t i = 0; i < columns.size() && i < row.size(); ++i) {
            if (columns[i] == "STA") sta = ParamText(row[i]);
            if (columns[i] == "CHAN") chan = ParamText(row[i]);
            if (columns[i] == "NGROUP") group = ParamText(row[i]);
            if (columns[i] == "CHANINDEX") component = ParamText(row[i]);
        }
        CSiteChan byKey(nullptr);
        byKey.Filter = ChannelRowFilter(sta, chan, std::stoi(group), std::stoi(component));
        calls.push_back(RecordedCall{CallKind::ExecDirect, byKey.ComposeSelectText(), {}, 0, true});
        calls.push_back(RecordedCall{CallKind::ExecDirect, array.text, row, 0, array.succeeded});
    }
    return calls;
}

// An import needs the INSERT of each row it wrote, in its transactions.
OperationFloor ImportFloorOf(const Recording& program) {
    OperationFloor result;
    std::vector<RecordedCall>& floor = result.floor.calls;
    std::map<std::string, int> counts;  // what was sent beyond, by shape
    std::vector<std::string> order;
    for (const RecordedCall& call : program.calls) {
        const bool statement = call.kind == CallKind::ExecDirect || call.kind == CallKind::PrepareExecute;
        if (call.kind == CallKind::AutoCommit || call.kind == CallKind::EndTran) {
            floor.push_back(call);
            continue;
        }
        if (statement && StartsWith(call.text, "insert into SITE (")) {
            floor.push_back(call);
            floor.back().kind = CallKind::ExecDirect;
            continue;
        }
        if (statement && StartsWith(call.text, "INSERT INTO SITECHAN (")) {
            if (call.paramRows.empty()) {
                floor.push_back(call);
                floor.back().kind = CallKind::ExecDirect;
            }
            for (const std::vector<RecordedParam>& row : call.paramRows)
                floor.push_back(RecordedCall{CallKind::ExecDirect, call.text, row, 0, call.succeeded});
            continue;
        }
        // Statements of one shape differ by their quoted values only.
        std::string shape = Describe(call);
        shape = shape.substr(0, shape.find('\''));
        if (counts[shape]++ == 0) order.push_back(shape);
    }
    for (const std::string& shape : order) result.beyond.push_back(std::to_string(counts[shape]) + "x " + shape);
    return result;
}

}  // namespace

OperationFloor FloorOf(FloorOperation operation, const Recording& program) {
    if (operation == FloorOperation::Import) return ImportFloorOf(program);
    OperationFloor result;
    std::vector<RecordedCall>& floor = result.floor.calls;
    const bool writes = operation == FloorOperation::Save || operation == FloorOperation::Delete;
    bool written = false;
    bool inChannelTransaction = false;
    const auto take = [&](const RecordedCall& call, Shape shape) {
        written = written || IsWrite(shape);
        RecordedCall needed = call;
        needed.kind = CallKind::ExecDirect;
        if (operation == FloorOperation::Save) {
            if (shape == Shape::Read && !inChannelTransaction && floor.size() > 0 &&
                ShapeOf(floor.back()) == Shape::SiteWrite) {
                floor.push_back(AutoCommit(false));
                inChannelTransaction = true;
            }
            floor.push_back(std::move(needed));
            if (shape == Shape::ChannelsDelete && inChannelTransaction) {
                floor.push_back(Commit());
                floor.push_back(AutoCommit(true));
                inChannelTransaction = false;
            }
        } else if (operation == FloorOperation::Delete &&
                   (shape == Shape::ChannelsDelete || shape == Shape::SiteDelete)) {
            floor.push_back(AutoCommit(false));
            floor.push_back(std::move(needed));
            floor.push_back(Commit());
            floor.push_back(AutoCommit(true));
        } else {
            floor.push_back(std::move(needed));
        }
    };
    bool connected = false;
    for (const RecordedCall& call : program.calls) {
        // A start needs one connection; the floor's client makes it itself.
        if (operation == FloorOperation::StartUp && call.kind == CallKind::Connect && !connected) {
            connected = true;
            floor.push_back(call);
            continue;
        }
        Shape shape = operation == FloorOperation::Catalogue ? CatalogueShapeOf(call)
                      : operation == FloorOperation::History ? HistoryShapeOf(call)
                                                             : ShapeOf(call);
        // The re-read before the first write is the program's own check.
        if (writes && !written && shape == Shape::Read) shape = Shape::Other;
        if (operation == FloorOperation::Keystroke && IsWrite(shape)) shape = Shape::Other;
        if (shape == Shape::Other) {
            result.beyond.push_back(Describe(call));
            continue;
        }
        if (operation == FloorOperation::Save && shape == Shape::ChannelWrite && !call.paramRows.empty()) {
            // New channel rows sent together: the floor keeps each row's read
            // and INSERT, as the design names them.
            for (const RecordedCall& perRow : PerRowChannelWrites(call)) take(perRow, ShapeOf(perRow));
            continue;
        }
        take(call, shape);
    }
    return result;
}
