#include "station/exact_station.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <map>
#include <span>

#include "db/recordset.h"
#include "db/sql_text.h"

namespace {

using catalogue::Column;
using catalogue::Kind;

std::size_t IndexIn(std::span<const Column> columns, std::string_view name) {
    for (std::size_t i = 0; i < columns.size(); ++i)
        if (columns[i].name == name) return i;
    throw std::logic_error("column not described");
}

FieldKind ReadKind(Kind kind) {
    switch (kind) {
        case Kind::Text: return FieldKind::Text;
        case Kind::DateTime: return FieldKind::DateTime;
        case Kind::Integer:
        case Kind::Floating: return FieldKind::Floating;
    }
    return FieldKind::Text;
}

// The select list of one table's columns under an alias.
std::string ColumnList(std::span<const Column> columns, const char* alias) {
    std::string list;
    for (const Column& c : columns) {
        if (!list.empty()) list += ',';
        list += alias;
        list += '.';
        list += c.name;
    }
    return list;
}

// The station's rows by one statement: SITE joined with its channel rows,
// and the channel rows of a code SITE does not hold.
std::string ExactStationQuery(const std::string& code) {
    const std::string columns =
        ColumnList(catalogue::kSiteColumns, "S") + "," + ColumnList(catalogue::kSiteChanColumns, "C");
    const std::string quoted = SqlQuote(code);
    return "select " + columns + " from SITE S left join SITECHAN C on C.STA=S.STA where S.STA=" + quoted +
           " union all select " + columns + " from SITECHAN C left join SITE S on S.STA=C.STA where C.STA=" +
           quoted + " and S.STA is null";
}

std::vector<FieldKind> KindsOf(std::span<const Column> columns) {
    std::vector<FieldKind> kinds;
    for (const Column& c : columns) kinds.push_back(ReadKind(c.kind));
    return kinds;
}

std::string NumberText(double value) {
    if (std::isnan(value)) return std::signbit(value) ? "-nan" : "nan";
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::string Escaped(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '\\': out += "\\\\"; break;
            case '\t': out += "\\t"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            default: out += c;
        }
    }
    return out;
}

std::string EncodedCell(const CellValue& value, Kind kind) {
    if (std::holds_alternative<std::monostate>(value)) return "\\N";
    if (const auto* text = std::get_if<std::string>(&value)) return Escaped(*text);
    if (const auto* stamp = std::get_if<WallClock>(&value)) return WallClockText(*stamp);
    const double number = std::get<double>(value);
    if (kind == Kind::Integer && std::isfinite(number) && number == std::trunc(number) && std::fabs(number) < 1e15)
        return std::to_string(static_cast<long long>(number));
    return NumberText(number);
}

void AppendRow(std::string& out, char tag, const ValueRow& row, std::span<const Column> columns) {
    out += tag;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        out += '\t';
        out += EncodedCell(i < row.size() ? row[i] : CellValue{}, columns[i].kind);
    }
    out += '\n';
}

std::vector<std::string> SplitFields(const std::string& line) {
    std::vector<std::string> fields(1);
    for (char c : line) {
        if (c == '\t')
            fields.emplace_back();
        else
            fields.back() += c;
    }
    return fields;
}

std::string Unescaped(const std::string& field) {
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '\\' || i + 1 == field.size()) {
            out += field[i];
            continue;
        }
        switch (field[++i]) {
            case 't': out += '\t'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case '\\': out += '\\'; break;
            default: throw JournalFormatError("journal: unknown escape in '" + field + "'");
        }
    }
    return out;
}

double ParsedNumber(const std::string& field) {
    if (field == "nan") return std::nan("");
    if (field == "-nan") return -std::nan("");
    double value = 0;
    const auto result = std::from_chars(field.data(), field.data() + field.size(), value);
    if (result.ec != std::errc() || result.ptr != field.data() + field.size())
        throw JournalFormatError("journal: not a number: '" + field + "'");
    return value;
}

WallClock ParsedStamp(const std::string& field) {
    WallClock w;
    char tail = 0;
    if (std::sscanf(field.c_str(), "%d-%d-%d %d:%d:%d%c", &w.year, &w.month, &w.day, &w.hour, &w.minute, &w.second,
                    &tail) != 6)
        throw JournalFormatError("journal: not a date: '" + field + "'");
    return w;
}

CellValue DecodedCell(const std::string& field, Kind kind) {
    if (field == "\\N") return std::monostate{};
    switch (kind) {
        case Kind::Text: return Unescaped(field);
        case Kind::DateTime: return ParsedStamp(field);
        case Kind::Integer:
        case Kind::Floating: return ParsedNumber(field);
    }
    return std::monostate{};
}

// Where each named column of a header line stands in the description's order.
std::vector<std::optional<std::size_t>> HeaderPlaces(const std::vector<std::string>& names,
                                                     std::span<const Column> columns) {
    std::vector<std::optional<std::size_t>> places;
    for (std::size_t i = 1; i < names.size(); ++i) {
        std::optional<std::size_t> place;
        for (std::size_t j = 0; j < columns.size(); ++j)
            if (columns[j].name == names[i]) place = j;
        places.push_back(place);
    }
    return places;
}

ValueRow DecodedRow(const std::vector<std::string>& fields, const std::vector<std::optional<std::size_t>>& places,
                    std::span<const Column> columns) {
    if (fields.size() != places.size() + 1) throw JournalFormatError("journal: a row does not match its header");
    ValueRow row(columns.size());
    for (std::size_t i = 0; i < places.size(); ++i)
        if (places[i]) row[*places[i]] = DecodedCell(fields[i + 1], columns[*places[i]].kind);
    return row;
}

std::optional<double> Number(const ValueRow& row, std::size_t i) { return NumberOf(row[i]); }

std::string Text(const ValueRow& row, std::size_t i) { return TextOf(row[i]).value_or(std::string()); }

ExactDouble Floating(const ValueRow& row, std::size_t i) { return {Number(row, i).value_or(NullMarker::Floating)}; }

int Integer(const ValueRow& row, std::size_t i, int null) {
    const std::optional<double> n = Number(row, i);
    return n ? static_cast<int>(*n) : null;
}

std::tuple<double, double, std::string> ChannelKey(const ValueRow& row) {
    static const std::size_t group = ChannelColumnIndex("NGROUP"), component = ChannelColumnIndex("CHANINDEX"),
                             chan = ChannelColumnIndex("CHAN");
    return {Number(row, group).value_or(0), Number(row, component).value_or(0), Text(row, chan)};
}

}  // namespace

std::size_t SiteColumnIndex(std::string_view name) { return IndexIn(catalogue::kSiteColumns, name); }
std::size_t ChannelColumnIndex(std::string_view name) { return IndexIn(catalogue::kSiteChanColumns, name); }

ExactStation ReadExactStation(const CDatabase& session, const std::string& code,
                              const std::vector<std::string>& writes) {
    std::vector<FieldKind> kinds;
    for (const Column& c : catalogue::kSiteColumns) kinds.push_back(ReadKind(c.kind));
    for (const Column& c : catalogue::kSiteChanColumns) kinds.push_back(ReadKind(c.kind));
    std::vector<ValueRow> rows;
    if (writes.empty()) {
        rows = SelectRows(session, ExactStationQuery(code), kinds);
    } else {
        std::string batch;
        for (const std::string& write : writes) {
            session.SendingInBatch(write);
            batch += write + ";";
        }
        std::vector<std::vector<FieldKind>> resultKinds(writes.size());
        resultKinds.push_back(kinds);
        rows = std::move(SelectBatchRows(session, batch + ExactStationQuery(code), resultKinds).back());
    }
    ExactStation station;
    for (ValueRow& joined : rows) {
        ValueRow site(joined.begin(), joined.begin() + kSiteColumnCount);
        ValueRow channel(joined.begin() + kSiteColumnCount, joined.end());
        if (!std::holds_alternative<std::monostate>(site[SiteColumnIndex("STA")]) && !station.site)
            station.site = std::move(site);
        if (!std::holds_alternative<std::monostate>(channel[ChannelColumnIndex("STA")]))
            station.channels.push_back(std::move(channel));
    }
    SortChannels(station);
    return station;
}

ExactStation ReadExactStationLocked(const CDatabase& session, const std::string& code, const StationLock& lock) {
    const std::string quoted = SqlQuote(code);
    const std::string siteColumns = ColumnList(catalogue::kSiteColumns, "S");
    const std::string channelColumns = ColumnList(catalogue::kSiteChanColumns, "C");
    ExactStation station;
    if (lock.siteReadFirst) {
        std::vector<std::vector<ValueRow>> results = SelectBatchRows(
            session,
            "select " + siteColumns + " from SITE S where S.STA=" + quoted + " " + lock.rowLock + ";select " +
                channelColumns + " from SITECHAN C where C.STA=" + quoted,
            {KindsOf(catalogue::kSiteColumns), KindsOf(catalogue::kSiteChanColumns)});
        if (!results[0].empty()) station.site = std::move(results[0].front());
        station.channels = std::move(results[1]);
        SortChannels(station);
        return station;
    }
    // A table of one row, joined with the code's SITE row and its SITECHAN
    // rows: one
    // statement reads the SITE row with its channel rows, or the channel rows
    // of a code SITE does not hold, or one row of NULLs.
    std::vector<FieldKind> kinds = KindsOf(catalogue::kSiteColumns);
    for (FieldKind kind : KindsOf(catalogue::kSiteChanColumns)) kinds.push_back(kind);
    for (ValueRow& joined : SelectRows(session,
                                       "select " + siteColumns + "," + channelColumns +
                                           " from (select 1 as ONE) K left join SITE S on S.STA=" + quoted +
                                           " left join SITECHAN C on C.STA=" + quoted + " " + lock.rowLock,
                                       kinds)) {
        ValueRow channel(joined.begin() + kSiteColumnCount, joined.end());
        joined.resize(kSiteColumnCount);
        const bool hasSite = !std::holds_alternative<std::monostate>(joined[SiteColumnIndex("STA")]);
        if (!station.site && hasSite) station.site = joined;
        // A code SITE holds twice joins each channel row once per SITE row:
        // the channels are those joined with the SITE row taken, as the
        // station's own reading gives them once each.
        if (hasSite && joined != *station.site) continue;
        if (!std::holds_alternative<std::monostate>(channel[ChannelColumnIndex("STA")]))
            station.channels.push_back(std::move(channel));
    }
    SortChannels(station);
    return station;
}

StationSnapshot ShownSnapshot(const ExactStation& station) {
    StationSnapshot snapshot = ToSnapshot(station);
    const int groups = ChannelGroupsRead(snapshot);
    std::erase_if(snapshot.channels, [groups](const ChannelRow& row) { return row.NGROUP < 1 || row.NGROUP > groups; });
    return snapshot;
}

std::string EncodeStation(const ExactStation& station) {
    std::string out;
    for (const catalogue::Table& table : catalogue::kTables) {
        out += table.name;
        for (const Column& c : table.columns) {
            out += '\t';
            out += c.name;
        }
        out += '\n';
    }
    if (station.site) AppendRow(out, 'S', *station.site, catalogue::kSiteColumns);
    for (const ValueRow& row : station.channels) AppendRow(out, 'C', row, catalogue::kSiteChanColumns);
    return out;
}

ExactStation DecodeStation(const std::string& text) {
    ExactStation station;
    std::vector<std::optional<std::size_t>> sitePlaces, channelPlaces;
    bool siteHeader = false, channelHeader = false;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::vector<std::string> fields = SplitFields(text.substr(start, end - start));
        start = end + 1;
        const std::string& tag = fields.front();
        if (tag == "SITE") {
            sitePlaces = HeaderPlaces(fields, catalogue::kSiteColumns);
            siteHeader = true;
        } else if (tag == "SITECHAN") {
            channelPlaces = HeaderPlaces(fields, catalogue::kSiteChanColumns);
            channelHeader = true;
        } else if (tag == "S" && siteHeader) {
            station.site = DecodedRow(fields, sitePlaces, catalogue::kSiteColumns);
        } else if (tag == "C" && channelHeader) {
            station.channels.push_back(DecodedRow(fields, channelPlaces, catalogue::kSiteChanColumns));
        } else if (!(tag.empty() && fields.size() == 1)) {
            throw JournalFormatError("journal: unexpected line starting '" + tag + "'");
        }
    }
    SortChannels(station);
    return station;
}

bool SameCell(const CellValue& a, const CellValue& b) {
    if (a.index() != b.index()) return false;
    if (const auto* x = std::get_if<double>(&a))
        return std::bit_cast<std::uint64_t>(*x) == std::bit_cast<std::uint64_t>(std::get<double>(b));
    return a == b;
}

namespace {
bool SameRow(const ValueRow& a, const ValueRow& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), SameCell);
}
}  // namespace

bool SameRows(const ExactStation& a, const ExactStation& b) {
    if (a.site.has_value() != b.site.has_value()) return false;
    if (a.site && !SameRow(*a.site, *b.site)) return false;
    return a.channels.size() == b.channels.size() &&
           std::equal(a.channels.begin(), a.channels.end(), b.channels.begin(), SameRow);
}

void SortChannels(ExactStation& station) {
    std::stable_sort(station.channels.begin(), station.channels.end(),
                     [](const ValueRow& a, const ValueRow& b) { return ChannelKey(a) < ChannelKey(b); });
}

std::string CellText(const CellValue& value, Kind kind) {
    if (std::holds_alternative<std::monostate>(value)) return "NULL";
    if (const auto* text = std::get_if<std::string>(&value)) return text->empty() ? "\"\"" : *text;
    return EncodedCell(value, kind);
}

StationSnapshot ToSnapshot(const ExactStation& station) {
    StationSnapshot snapshot;
    if (station.site) {
        const ValueRow& r = *station.site;
        const auto at = [](std::string_view name) { return SiteColumnIndex(name); };
        SiteRow s;
        s.STA = Text(r, at("STA"));
        s.COD = Text(r, at("COD"));
        s.NGROUPS = Integer(r, at("NGROUPS"), NullMarker::Integer);
        s.ELEV = Floating(r, at("ELEV"));
        s.LAT = Floating(r, at("LAT"));
        s.LON = Floating(r, at("LON"));
        s.DESCR = Text(r, at("DESCR"));
        s.LDDATE = DateTimeOf(r[at("LDDATE")]);
        s.NINDEX = Integer(r, at("NINDEX"), 0);
        s.REFSTA = Text(r, at("REFSTA"));
        s.DNORTH = Floating(r, at("DNORTH"));
        s.DEAST = Floating(r, at("DEAST"));
        s.STANAME = Text(r, at("STANAME"));
        s.STATYPE = Text(r, at("STATYPE"));
        s.UNDERGROUND = Text(r, at("UNDERGROUND"));
        s.ONDATE = DateTimeOf(r[at("ONDATE")]);
        s.OFFDATE = DateTimeOf(r[at("OFFDATE")]);
        snapshot.site = std::move(s);
    }
    for (const ValueRow& r : station.channels) {
        const auto at = [](std::string_view name) { return ChannelColumnIndex(name); };
        ChannelRow c;
        c.STA = Text(r, at("STA"));
        c.CHAN = Text(r, at("CHAN"));
        c.NGROUP = Integer(r, at("NGROUP"), NullMarker::Integer);
        c.CHANINDEX = Integer(r, at("CHANINDEX"), NullMarker::Integer);
        c.EDEPH = Floating(r, at("EDEPH"));
        c.LAT = Floating(r, at("LAT"));
        c.LON = Floating(r, at("LON"));
        c.SPS = Floating(r, at("SPS"));
        c.HANG = Floating(r, at("HANG"));
        c.VANG = Floating(r, at("VANG"));
        c.DESCR = Text(r, at("DESCR"));
        c.CALIBFILE = Text(r, at("CALIBFILE"));
        c.LCODE = Text(r, at("LCODE"));
        c.LDDATE = DateTimeOf(r[at("LDDATE")]);
        snapshot.channels.push_back(std::move(c));
    }
    return snapshot;
}
