#include "tools/catalogue.h"

#include <algorithm>
#include <tuple>
#include <type_traits>
#include <unordered_set>
#include <variant>

namespace {

// One column of a table as the catalogue reads it: its name and the member
// of the row struct that holds it; the member's type gives the read kind.
template <typename Row>
struct Column {
    const char* name;
    std::variant<std::optional<std::string> Row::*, std::optional<double> Row::*, std::optional<WallClock> Row::*>
        member;
};

const Column<StoredSite> kSiteColumns[] = {
    {"STA", &StoredSite::STA},         {"COD", &StoredSite::COD},         {"NGROUPS", &StoredSite::NGROUPS},
    {"ELEV", &StoredSite::ELEV},       {"LAT", &StoredSite::LAT},         {"LON", &StoredSite::LON},
    {"DESCR", &StoredSite::DESCR},     {"NINDEX", &StoredSite::NINDEX},   {"DEAST", &StoredSite::DEAST},
    {"DNORTH", &StoredSite::DNORTH},   {"REFSTA", &StoredSite::REFSTA},   {"STANAME", &StoredSite::STANAME},
    {"STATYPE", &StoredSite::STATYPE}, {"UNDERGROUND", &StoredSite::UNDERGROUND}, {"ONDATE", &StoredSite::ONDATE},
    {"OFFDATE", &StoredSite::OFFDATE},
};

const Column<StoredChannel> kChannelColumns[] = {
    {"STA", &StoredChannel::STA},       {"CHAN", &StoredChannel::CHAN},   {"NGROUP", &StoredChannel::NGROUP},
    {"CHANINDEX", &StoredChannel::CHANINDEX}, {"EDEPH", &StoredChannel::EDEPH}, {"LAT", &StoredChannel::LAT},
    {"LON", &StoredChannel::LON},       {"SPS", &StoredChannel::SPS},     {"HANG", &StoredChannel::HANG},
    {"VANG", &StoredChannel::VANG},     {"DESCR", &StoredChannel::DESCR}, {"CALIBFILE", &StoredChannel::CALIBFILE},
    {"LCODE", &StoredChannel::LCODE},
};

template <typename Row, size_t N>
std::string SelectText(const Column<Row> (&columns)[N], const char* table) {
    std::string sql = "SELECT ";
    for (size_t i = 0; i < N; ++i) {
        if (i) sql += ',';
        sql += columns[i].name;
    }
    return sql + " FROM " + table;
}

// Reads the table's rows, keeping those that `keep` accepts.
template <typename Row, size_t N, typename Keep>
std::vector<Row> ReadTable(const CDatabase& session, const Column<Row> (&columns)[N], const std::string& sql,
                           const Keep& keep) {
    // The member's alternatives in order: text, number, date-time.
    constexpr FieldKind kKindOfMember[] = {FieldKind::Text, FieldKind::Floating, FieldKind::DateTime};
    std::vector<FieldKind> kinds;
    for (const auto& column : columns) kinds.push_back(kKindOfMember[column.member.index()]);
    std::vector<Row> rows;
    ForEachRow(session, sql, kinds, [&](const ValueRow& values) {
        Row row;
        for (size_t i = 0; i < N; ++i) {
            std::visit(
                [&](auto member) {
                    using Field = std::remove_reference_t<decltype(row.*member)>;
                    if (const auto* value = std::get_if<typename Field::value_type>(&values[i]))
                        row.*member = *value;
                },
                columns[i].member);
        }
        if (keep(row)) rows.push_back(std::move(row));
    });
    return rows;
}

// The rows in a stable order by `less`: the order is found on indices and
// each row moved once, not once per step of the sort.
template <typename Row, typename Less>
std::vector<Row> SortedBy(std::vector<Row> rows, const Less& less) {
    std::vector<size_t> order(rows.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return less(rows[a], rows[b]); });
    std::vector<Row> sorted;
    sorted.reserve(rows.size());
    for (size_t i : order) sorted.push_back(std::move(rows[i]));
    return sorted;
}

}  // namespace

std::string SiteSelectText() { return SelectText(kSiteColumns, "SITE"); }
std::string ChannelSelectText() { return SelectText(kChannelColumns, "SITECHAN"); }

const StoredSite* Catalogue::FindSite(const std::string& code) const {
    const auto found = siteByCode_.find(code);
    return found == siteByCode_.end() ? nullptr : &allSites[found->second];
}

std::span<const StoredChannel> Catalogue::ChannelsOf(const std::string& code) const {
    const auto found = channelsByCode_.find(code);
    if (found == channelsByCode_.end()) return {};
    return std::span<const StoredChannel>(channels).subspan(found->second.first,
                                                            found->second.second - found->second.first);
}

void Catalogue::Index() {
    siteByCode_.clear();
    channelsByCode_.clear();
    siteByCode_.reserve(allSites.size());
    for (size_t i = 0; i < allSites.size(); ++i)
        if (allSites[i].STA) siteByCode_.emplace(*allSites[i].STA, i);  // keeps the first of a twice-held code
    // The channels are ordered by STA, so each station's rows are one run.
    for (size_t i = 0; i < channels.size();) {
        size_t end = i + 1;
        while (end < channels.size() && channels[end].STA == channels[i].STA) ++end;
        if (channels[i].STA) channelsByCode_[*channels[i].STA] = {i, end};
        i = end;
    }
}

Catalogue ReadCatalogue(const CDatabase& session, const std::vector<std::string>& stations) {
    const std::unordered_set<std::string> asked(stations.begin(), stations.end());
    auto chosen = [&](const std::optional<std::string>& code) {
        return stations.empty() || (code && asked.count(*code));
    };
    Catalogue catalogue;
    catalogue.allSites = ReadTable(session, kSiteColumns, SiteSelectText(), [](const StoredSite&) { return true; });
    catalogue.channels = ReadTable(session, kChannelColumns, ChannelSelectText(),
                                   [&](const StoredChannel& channel) { return chosen(channel.STA); });
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

    std::unordered_set<std::string> reported;
    for (const std::string& code : stations)
        if (!catalogue.FindSite(code) && reported.insert(code).second) catalogue.unknownStations.push_back(code);
    return catalogue;
}
