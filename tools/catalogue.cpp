#include "tools/catalogue.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <unordered_set>
#include <variant>

#include "db/sql_text.h"
#include "db/row_block.h"
#include "station/catalogue_rows.h"
#include "station/exact_station.h"

namespace {

// One column of a table as the catalogue reads it: its name and the member
// of the row struct that holds it; the member's type gives the read kind.
template <typename Row>
struct Column {
    std::string_view name;
    std::variant<std::optional<std::string> Row::*, std::optional<double> Row::*, std::optional<WallClock> Row::*>
        member;
};

constexpr std::array<Column<StoredSite>, 16> kSiteColumns{{
    {"STA", &StoredSite::STA},         {"COD", &StoredSite::COD},         {"NGROUPS", &StoredSite::NGROUPS},
    {"ELEV", &StoredSite::ELEV},       {"LAT", &StoredSite::LAT},         {"LON", &StoredSite::LON},
    {"DESCR", &StoredSite::DESCR},     {"NINDEX", &StoredSite::NINDEX},   {"DEAST", &StoredSite::DEAST},
    {"DNORTH", &StoredSite::DNORTH},   {"REFSTA", &StoredSite::REFSTA},   {"STANAME", &StoredSite::STANAME},
    {"STATYPE", &StoredSite::STATYPE}, {"UNDERGROUND", &StoredSite::UNDERGROUND}, {"ONDATE", &StoredSite::ONDATE},
    {"OFFDATE", &StoredSite::OFFDATE},
}};

constexpr std::array<Column<StoredChannel>, 13> kChannelColumns{{
    {"STA", &StoredChannel::STA},       {"CHAN", &StoredChannel::CHAN},   {"NGROUP", &StoredChannel::NGROUP},
    {"CHANINDEX", &StoredChannel::CHANINDEX}, {"EDEPH", &StoredChannel::EDEPH}, {"LAT", &StoredChannel::LAT},
    {"LON", &StoredChannel::LON},       {"SPS", &StoredChannel::SPS},     {"HANG", &StoredChannel::HANG},
    {"VANG", &StoredChannel::VANG},     {"DESCR", &StoredChannel::DESCR}, {"CALIBFILE", &StoredChannel::CALIBFILE},
    {"LCODE", &StoredChannel::LCODE},
}};

// Every described column but the time a row was written, which the programs
// neither judge nor write, is read, with a member of its kind: a number for
// an integer or floating column.
constexpr auto kStoredFits = [](const auto& entry, catalogue::Kind kind) {
    switch (kind) {
        case catalogue::Kind::Text: return entry.member.index() == 0;
        case catalogue::Kind::Integer:
        case catalogue::Kind::Floating: return entry.member.index() == 1;
        case catalogue::Kind::DateTime: return entry.member.index() == 2;
    }
    return false;
};
constexpr std::string_view kNotRead[] = {"LDDATE"};
static_assert(catalogue::CoversDescription(kSiteColumns, catalogue::kSiteColumns, kStoredFits, kNotRead));
static_assert(catalogue::CoversDescription(kChannelColumns, catalogue::kSiteChanColumns, kStoredFits, kNotRead));

// The columns of `row` that the catalogue reads, each found in the row's
// table by its name.
template <typename Stored, typename Row, size_t N>
Stored StoredFrom(const Row& row, const std::array<Column<Stored>, N>& columns) {
    Stored stored;
    for (const Column<Stored>& column : columns) {
        const catalogue::Member<Row>& source = catalogue::RowColumnNamed<Row>(column.name).member;
        std::visit(
            [&](auto target) {
                auto& value = stored.*target;
                using Value = typename std::remove_cvref_t<decltype(value)>::value_type;
                if constexpr (std::is_same_v<Value, std::string>) {
                    std::optional<std::string> text = catalogue::TextOf(row, source);
                    if (text && !text->empty()) value = std::move(text);
                } else if constexpr (std::is_same_v<Value, double>) {
                    value = catalogue::NumberOf(row, source);
                } else if (const auto* member = std::get_if<std::optional<WallClock> Row::*>(&source)) {
                    value = row.**member;
                }
            },
            column.member);
    }
    return stored;
}

template <typename Row, size_t N>
std::string SelectText(const std::array<Column<Row>, N>& columns, const char* table) {
    std::string sql = "SELECT ";
    for (size_t i = 0; i < N; ++i) {
        if (i) sql += ',';
        sql += columns[i].name;
    }
    return sql + " FROM " + table;
}

// Reads the table's rows, keeping those that `keep` accepts. The rows are
// fetched in blocks of bound columns, each value taken from its slot.
template <typename Row, size_t N, typename Keep>
std::vector<Row> ReadTable(const CDatabase& session, const std::array<Column<Row>, N>& columns, const std::string& sql,
                           const Keep& keep) {
    // The member's alternatives in order: text, number, date-time.
    constexpr FieldKind kKindOfMember[] = {FieldKind::Text, FieldKind::Floating, FieldKind::DateTime};
    std::vector<FieldKind> kinds;
    for (const auto& column : columns) kinds.push_back(kKindOfMember[column.member.index()]);
    // The rows are gathered in chunks and then moved into one vector of
    // their number, each chunk freed as it is moved: a growing vector would
    // hold up to three times the rows while it moves them to a larger one.
    constexpr size_t kChunkRows = 4096;
    std::vector<std::vector<Row>> chunks;
    ForEachBlock(
        session, sql, kinds,
        [&](const RowBlock& block) {
            for (size_t r = 0; r < block.Rows(); ++r) {
                Row row;
                for (size_t i = 0; i < N; ++i) {
                    std::visit(
                        [&](auto member) {
                            using Value = typename std::remove_reference_t<decltype(row.*member)>::value_type;
                            if constexpr (std::is_same_v<Value, std::string>) {
                                if (const auto text = block.Text(r, i)) row.*member = std::string(*text);
                            } else if constexpr (std::is_same_v<Value, double>) {
                                row.*member = block.Number(r, i);
                            } else {
                                row.*member = block.DateTime(r, i);
                            }
                        },
                        columns[i].member);
                }
                if (!keep(row)) continue;
                if (chunks.empty() || chunks.back().size() == kChunkRows) chunks.emplace_back().reserve(kChunkRows);
                chunks.back().push_back(std::move(row));
            }
        },
        [&chunks] { chunks.clear(); });
    size_t count = 0;
    for (const std::vector<Row>& chunk : chunks) count += chunk.size();
    std::vector<Row> rows;
    rows.reserve(count);
    for (std::vector<Row>& chunk : chunks) {
        std::move(chunk.begin(), chunk.end(), std::back_inserter(rows));
        std::vector<Row>().swap(chunk);
    }
    return rows;
}

// The rows in a stable order by `less`: the order is found on indices and
// each row moved into its place within the vector, so that no second vector
// of rows is held beside it.
template <typename Row, typename Less>
std::vector<Row> SortedBy(std::vector<Row> rows, const Less& less) {
    std::vector<size_t> order(rows.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return less(rows[a], rows[b]); });
    // Place i takes the row at order[i]: each cycle of the permutation is
    // walked once, the row first moved out held aside.
    for (size_t start = 0; start < order.size(); ++start) {
        if (order[start] == start) continue;
        Row held = std::move(rows[start]);
        size_t place = start;
        while (order[place] != start) {
            const size_t from = order[place];
            rows[place] = std::move(rows[from]);
            order[place] = place;
            place = from;
        }
        rows[place] = std::move(held);
        order[place] = place;
    }
    return rows;
}

}  // namespace

StoredSite StoredRowOf(const SiteRow& row) { return StoredFrom(row, kSiteColumns); }
StoredChannel StoredRowOf(const ChannelRow& row) { return StoredFrom(row, kChannelColumns); }

std::string SiteSelectText() { return SelectText(kSiteColumns, "SITE"); }
std::string ChannelSelectText() { return SelectText(kChannelColumns, "SITECHAN"); }

const StoredSite* Catalogue::FindSite(const std::string& code) const {
    const auto first = std::lower_bound(siteOrder_.begin(), siteOrder_.end(), code,
                                        [&](size_t i, const std::string& c) { return *allSites[i].STA < c; });
    return first == siteOrder_.end() || *allSites[*first].STA != code ? nullptr : &allSites[*first];
}

std::span<const StoredChannel> Catalogue::ChannelsOf(const std::string& code) const {
    // NULL sorts before every code, so the rows of `code` are one run.
    const auto [first, last] = std::equal_range(
        channels.begin(), channels.end(), code, [](const auto& a, const auto& b) {
            constexpr auto key = [](const auto& x) -> std::optional<std::string_view> {
                if constexpr (std::is_same_v<std::remove_cvref_t<decltype(x)>, StoredChannel>) {
                    if (!x.STA) return std::nullopt;
                    return std::string_view(*x.STA);
                } else {
                    return std::string_view(x);
                }
            };
            return key(a) < key(b);
        });
    return std::span<const StoredChannel>(channels).subspan(static_cast<size_t>(first - channels.begin()),
                                                            static_cast<size_t>(last - first));
}

void Catalogue::Index() {
    const auto bySta = [](const StoredChannel& a, const StoredChannel& b) { return a.STA < b.STA; };
    if (!std::is_sorted(channels.begin(), channels.end(), bySta))
        std::stable_sort(channels.begin(), channels.end(), bySta);
    siteOrder_.clear();
    for (size_t i = 0; i < allSites.size(); ++i)
        if (allSites[i].STA) siteOrder_.push_back(i);
    // Stable: of a twice-held code the first row read is found.
    std::stable_sort(siteOrder_.begin(), siteOrder_.end(),
                     [&](size_t a, size_t b) { return *allSites[a].STA < *allSites[b].STA; });
}

Catalogue ReadCatalogue(const CDatabase& session, const std::vector<std::string>& stations) {
    const std::unordered_set<std::string> asked(stations.begin(), stations.end());
    auto chosen = [&](const std::optional<std::string>& code) {
        return stations.empty() || (code && asked.count(*code));
    };
    Catalogue catalogue = CatalogueOf(
        ReadTable(session, kSiteColumns, SiteSelectText(), [](const StoredSite&) { return true; }),
        ReadTable(session, kChannelColumns, ChannelSelectText(),
                  [&](const StoredChannel& channel) { return chosen(channel.STA); }),
        chosen);
    std::unordered_set<std::string> reported;
    for (const std::string& code : stations)
        if (!catalogue.FindSite(code) && reported.insert(code).second) catalogue.unknownStations.push_back(code);
    return catalogue;
}

Catalogue ReadListedStations(const CDatabase& session, const std::vector<std::string>& stations) {
    std::string codes;
    for (const std::string& code : stations) codes += (codes.empty() ? "" : ",") + SqlQuote(code);
    const std::string where = " WHERE STA IN (" + codes + ")";
    const auto all = [](const auto&) { return true; };
    Catalogue catalogue = CatalogueOf(ReadTable(session, kSiteColumns, SiteSelectText() + where, all),
                                      ReadTable(session, kChannelColumns, ChannelSelectText() + where, all),
                                      [](const std::optional<std::string>&) { return true; });
    std::unordered_set<std::string> reported;
    for (const std::string& code : stations)
        if (!catalogue.FindSite(code) && reported.insert(code).second) catalogue.unknownStations.push_back(code);
    return catalogue;
}

Catalogue ReadSitesOnly(const CDatabase& session) {
    const auto all = [](const auto&) { return true; };
    return CatalogueOf(ReadTable(session, kSiteColumns, SiteSelectText(), all), {},
                       [](const std::optional<std::string>&) { return true; });
}

Catalogue CatalogueOf(std::vector<StoredSite> allSites, std::vector<StoredChannel> channels,
                      const std::function<bool(const std::optional<std::string>& code)>& chosen) {
    Catalogue catalogue;
    catalogue.allSites = std::move(allSites);
    std::erase_if(channels, [&](const StoredChannel& channel) { return !chosen(channel.STA); });
    catalogue.channels = std::move(channels);
    catalogue.sites.reserve(static_cast<size_t>(std::count_if(
        catalogue.allSites.begin(), catalogue.allSites.end(), [&](const StoredSite& site) { return chosen(site.STA); })));
    for (const StoredSite& site : catalogue.allSites)
        if (chosen(site.STA)) catalogue.sites.push_back(site);

    // NULL sorts before every value.
    catalogue.sites = SortedBy(std::move(catalogue.sites), [](const StoredSite& a, const StoredSite& b) {
        return a.STA < b.STA;
    });
    catalogue.channels =
        SortedBy(std::move(catalogue.channels), [](const StoredChannel& a, const StoredChannel& b) {
            return std::tie(a.STA, a.NGROUP, a.CHANINDEX, a.CHAN) < std::tie(b.STA, b.NGROUP, b.CHANINDEX, b.CHAN);
        });
    catalogue.Index();
    return catalogue;
}

namespace {

// A row of the catalogue's description as a row struct: each column taken
// from the position the description gives its name.
template <typename Row, size_t N, typename IndexOf>
Row FromDescribedRow(const std::array<Column<Row>, N>& columns, const ValueRow& values, const IndexOf& indexOf) {
    Row row;
    for (const Column<Row>& column : columns) {
        const size_t i = indexOf(column.name);
        if (i >= values.size()) continue;
        std::visit(
            [&](auto member) {
                using Field = std::remove_reference_t<decltype(row.*member)>;
                if (const auto* value = std::get_if<typename Field::value_type>(&values[i])) row.*member = *value;
            },
            column.member);
    }
    return row;
}

}  // namespace

StoredSite StoredSiteOf(const ValueRow& row) { return FromDescribedRow(kSiteColumns, row, SiteColumnIndex); }
StoredChannel StoredChannelOf(const ValueRow& row) {
    return FromDescribedRow(kChannelColumns, row, ChannelColumnIndex);
}
