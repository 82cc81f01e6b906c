#include "station/journal_text.h"

#include <cmath>
#include <cstdio>
#include <map>
#include <optional>
#include <span>

#include "station/field_labels.h"

namespace {

using catalogue::Column;

std::span<const Column> ColumnsOf(bool site) {
    return site ? std::span<const Column>(catalogue::kSiteColumns) : std::span<const Column>(catalogue::kSiteChanColumns);
}

int IntegerAt(const ValueRow& row, std::string_view column) {
    return static_cast<int>(NumberOf(row[ChannelColumnIndex(column)]).value_or(0));
}

std::string ChanOf(const ValueRow& row) { return TextOf(row[ChannelColumnIndex("CHAN")]).value_or(""); }

// The columns that tell a channel row apart: not listed as its changes.
bool IsChannelKey(std::string_view column) {
    return column == "STA" || column == "CHAN" || column == "NGROUP" || column == "CHANINDEX";
}

void CompareRows(std::vector<FieldChange>& out, bool site, const ValueRow* before, const ValueRow* after) {
    const std::span<const Column> columns = ColumnsOf(site);
    const ValueRow& keyRow = after != nullptr ? *after : *before;
    FieldChange base;
    base.site = site;
    if (!site) {
        base.group = IntegerAt(keyRow, "NGROUP");
        base.component = IntegerAt(keyRow, "CHANINDEX");
        base.chan = ChanOf(keyRow);
        base.event = before == nullptr ? "added" : after == nullptr ? "removed" : "";
    }
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const CellValue none;
        const CellValue& old = before != nullptr ? (*before)[i] : none;
        const CellValue& now = after != nullptr ? (*after)[i] : none;
        if (SameCell(old, now)) continue;
        if (!site && IsChannelKey(columns[i].name) && (before == nullptr || after == nullptr)) continue;
        FieldChange change = base;
        change.column = columns[i].name;
        change.kind = columns[i].kind;
        change.before = old;
        change.after = now;
        out.push_back(std::move(change));
    }
}

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < 0x20) {
                    char buffer[8];
                    std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
                    out += buffer;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    return out + "\"";
}

std::string JsonValue(const CellValue& value, catalogue::Kind kind) {
    if (std::holds_alternative<std::monostate>(value)) return "null";
    if (const auto* text = std::get_if<std::string>(&value)) return JsonString(*text);
    if (const auto* number = std::get_if<double>(&value); number != nullptr && std::isfinite(*number))
        return CellText(value, kind);
    return JsonString(CellText(value, kind));
}

}  // namespace

std::vector<FieldChange> StationChanges(const ExactStation& before, const ExactStation& after) {
    std::vector<FieldChange> changes;
    if (before.site || after.site)
        CompareRows(changes, true, before.site ? &*before.site : nullptr, after.site ? &*after.site : nullptr);
    // Rows matched by their whole key first, then those left by their cell.
    std::vector<bool> oldUsed(before.channels.size()), newUsed(after.channels.size());
    std::vector<std::pair<std::size_t, std::size_t>> pairs;
    const auto match = [&](bool byName) {
        for (std::size_t i = 0; i < before.channels.size(); ++i) {
            if (oldUsed[i]) continue;
            const ValueRow& o = before.channels[i];
            for (std::size_t j = 0; j < after.channels.size(); ++j) {
                const ValueRow& n = after.channels[j];
                if (newUsed[j] || IntegerAt(o, "NGROUP") != IntegerAt(n, "NGROUP") ||
                    IntegerAt(o, "CHANINDEX") != IntegerAt(n, "CHANINDEX") || (byName && ChanOf(o) != ChanOf(n)))
                    continue;
                oldUsed[i] = newUsed[j] = true;
                pairs.emplace_back(i, j);
                break;
            }
        }
    };
    match(true);
    match(false);
    for (const auto& [i, j] : pairs) CompareRows(changes, false, &before.channels[i], &after.channels[j]);
    for (std::size_t i = 0; i < before.channels.size(); ++i)
        if (!oldUsed[i]) CompareRows(changes, false, &before.channels[i], nullptr);
    for (std::size_t j = 0; j < after.channels.size(); ++j)
        if (!newUsed[j]) CompareRows(changes, false, nullptr, &after.channels[j]);
    return changes;
}

std::vector<std::string> ChangeLines(const std::vector<FieldChange>& changes) {
    std::vector<std::string> lines;
    std::string lastRow;
    for (const FieldChange& c : changes) {
        if (c.column == "LDDATE") continue;
        if (c.site) {
            lines.push_back("  " + SiteFieldLabel(c.column) + ": " + CellText(c.before, c.kind) + " -> " +
                            CellText(c.after, c.kind));
            continue;
        }
        const std::string row = "группа " + std::to_string(c.group) + " " + ComponentName(c.component) + " (" +
                                c.chan + ")";
        if (!c.event.empty()) {
            // An added or removed row: one line naming the row, then its values.
            if (row + c.event != lastRow)
                lines.push_back("  " + row + ": " + (c.event == "added" ? "канал добавлен" : "канал удалён"));
            lastRow = row + c.event;
            const CellValue& value = c.event == "added" ? c.after : c.before;
            lines.push_back("    " + ChannelFieldLabel(c.column) + ": " + CellText(value, c.kind));
            continue;
        }
        lastRow.clear();
        lines.push_back("  " + row + ": " + ChannelFieldLabel(c.column) + ": " + CellText(c.before, c.kind) + " -> " +
                        CellText(c.after, c.kind));
    }
    return lines;
}

std::vector<HistoryItem> HistoryOf(std::vector<JournalEntry> entries) {
    std::vector<HistoryItem> items;
    items.reserve(entries.size());
    // The item of each station's entry seen last: the next newer one of the entry at hand.
    std::map<std::string, std::size_t> newer;
    for (JournalEntry& entry : entries) {
        const auto found = newer.find(entry.code);
        if (found != newer.end() && !SameRows(entry.afterRows, items[found->second].entry.beforeRows)) {
            const JournalEntry& next = items[found->second].entry;
            HistoryItem outside;
            outside.outside = true;
            outside.entry.code = entry.code;
            outside.entry.operation = "outside";
            outside.entry.at = entry.at + " .. " + next.at;
            outside.entry.beforeRows = entry.afterRows;
            outside.entry.afterRows = next.beforeRows;
            outside.entry.before = entry.after;
            outside.entry.after = next.before;
            items.push_back(std::move(outside));
        }
        newer[entry.code] = items.size();
        items.push_back({std::move(entry), false});
    }
    return items;
}

std::string HistoryText(const HistoryItem& item) {
    const JournalEntry& e = item.entry;
    std::string text;
    if (item.outside) {
        text = e.at + "  вне station-editor  " + e.code + "\n";
    } else {
        text = "#" + std::to_string(e.id) + "  " + e.at + "  " + (e.dbUser.empty() ? e.osUser : e.dbUser) + "@" +
               e.host + "  " + e.program + (e.version.empty() ? "" : " " + e.version) + "  " + e.operation + "  " +
               e.code;
        if (!e.osUser.empty() && !e.dbUser.empty() && e.osUser != e.dbUser) text += "  (" + e.osUser + ")";
        if (!e.reason.empty()) text += "  «" + e.reason + "»";
        text += "\n";
    }
    for (const std::string& line : ChangeLines(StationChanges(e.beforeRows, e.afterRows))) text += line + "\n";
    return text;
}

std::string HistoryJson(const std::vector<HistoryItem>& items) {
    std::string out = "[";
    for (std::size_t n = 0; n < items.size(); ++n) {
        const JournalEntry& e = items[n].entry;
        out += n == 0 ? "\n" : ",\n";
        out += "  {";
        if (!items[n].outside) out += "\"id\": " + std::to_string(e.id) + ", ";
        out += "\"at\": " + JsonString(e.at) + ", \"outside\": " + (items[n].outside ? "true" : "false");
        if (!items[n].outside) {
            const std::pair<const char*, const std::string*> fields[] = {
                {"db_user", &e.dbUser},  {"os_user", &e.osUser},     {"host", &e.host},
                {"program", &e.program}, {"version", &e.version},    {"operation", &e.operation},
                {"reason", &e.reason}};
            for (const auto& [name, value] : fields) out += std::string(", \"") + name + "\": " + JsonString(*value);
        }
        out += ", \"station\": " + JsonString(e.code) + ", \"changes\": [";
        const std::vector<FieldChange> changes = StationChanges(e.beforeRows, e.afterRows);
        for (std::size_t i = 0; i < changes.size(); ++i) {
            const FieldChange& c = changes[i];
            out += i == 0 ? "\n    {" : ",\n    {";
            out += std::string("\"table\": \"") + (c.site ? "SITE" : "SITECHAN") + "\"";
            if (!c.site) {
                out += ", \"NGROUP\": " + std::to_string(c.group) + ", \"CHANINDEX\": " + std::to_string(c.component) +
                       ", \"component\": " + JsonString(ComponentName(c.component)) + ", \"CHAN\": " +
                       JsonString(c.chan);
                if (!c.event.empty()) out += ", \"row\": " + JsonString(c.event);
            }
            out += ", \"column\": " + JsonString(c.column) + ", \"old\": " + JsonValue(c.before, c.kind) +
                   ", \"new\": " + JsonValue(c.after, c.kind) + "}";
        }
        out += changes.empty() ? "]}" : "\n  ]}";
    }
    out += items.empty() ? "]\n" : "\n]\n";
    return out;
}
