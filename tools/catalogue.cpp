#include "tools/catalogue.h"

#include <algorithm>
#include <tuple>
#include <type_traits>
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

const Column<SiteRow> kSiteColumns[] = {
    {"STA", &SiteRow::STA},         {"COD", &SiteRow::COD},         {"NGROUPS", &SiteRow::NGROUPS},
    {"ELEV", &SiteRow::ELEV},       {"LAT", &SiteRow::LAT},         {"LON", &SiteRow::LON},
    {"DESCR", &SiteRow::DESCR},     {"NINDEX", &SiteRow::NINDEX},   {"DEAST", &SiteRow::DEAST},
    {"DNORTH", &SiteRow::DNORTH},   {"REFSTA", &SiteRow::REFSTA},   {"STANAME", &SiteRow::STANAME},
    {"STATYPE", &SiteRow::STATYPE}, {"UNDERGROUND", &SiteRow::UNDERGROUND}, {"ONDATE", &SiteRow::ONDATE},
    {"OFFDATE", &SiteRow::OFFDATE},
};

const Column<ChannelRow> kChannelColumns[] = {
    {"STA", &ChannelRow::STA},       {"CHAN", &ChannelRow::CHAN},   {"NGROUP", &ChannelRow::NGROUP},
    {"CHANINDEX", &ChannelRow::CHANINDEX}, {"EDEPH", &ChannelRow::EDEPH}, {"LAT", &ChannelRow::LAT},
    {"LON", &ChannelRow::LON},       {"SPS", &ChannelRow::SPS},     {"HANG", &ChannelRow::HANG},
    {"VANG", &ChannelRow::VANG},     {"DESCR", &ChannelRow::DESCR}, {"CALIBFILE", &ChannelRow::CALIBFILE},
    {"LCODE", &ChannelRow::LCODE},
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

template <typename Row, size_t N>
std::vector<Row> ReadTable(const CDatabase& session, const Column<Row> (&columns)[N], const std::string& sql) {
    std::vector<ColumnKind> kinds;
    for (const auto& column : columns)
        kinds.push_back(static_cast<ColumnKind>(column.member.index()));  // Text, Number, DateTime in order
    std::vector<Row> rows;
    for (const ValueRow& values : SelectRows(session, sql, kinds)) {
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
        rows.push_back(std::move(row));
    }
    return rows;
}

}  // namespace

std::string SiteSelectText() { return SelectText(kSiteColumns, "SITE"); }
std::string ChannelSelectText() { return SelectText(kChannelColumns, "SITECHAN"); }

const SiteRow* Catalogue::FindSite(const std::string& code) const {
    for (const SiteRow& site : allSites)
        if (site.STA == code) return &site;
    return nullptr;
}

Catalogue ReadCatalogue(const CDatabase& session, const std::vector<std::string>& stations) {
    Catalogue catalogue;
    catalogue.allSites = ReadTable(session, kSiteColumns, SiteSelectText());
    std::vector<ChannelRow> channels = ReadTable(session, kChannelColumns, ChannelSelectText());

    auto chosen = [&stations](const std::optional<std::string>& code) {
        return stations.empty() ||
               (code && std::find(stations.begin(), stations.end(), *code) != stations.end());
    };
    for (const SiteRow& site : catalogue.allSites)
        if (chosen(site.STA)) catalogue.sites.push_back(site);
    for (ChannelRow& channel : channels)
        if (chosen(channel.STA)) catalogue.channels.push_back(std::move(channel));
    for (const std::string& code : stations)
        if (!catalogue.FindSite(code) &&
            std::find(catalogue.unknownStations.begin(), catalogue.unknownStations.end(), code) ==
                catalogue.unknownStations.end())
            catalogue.unknownStations.push_back(code);

    // NULL sorts before every value.
    std::stable_sort(catalogue.sites.begin(), catalogue.sites.end(),
                     [](const SiteRow& a, const SiteRow& b) { return a.STA < b.STA; });
    std::stable_sort(catalogue.channels.begin(), catalogue.channels.end(),
                     [](const ChannelRow& a, const ChannelRow& b) {
                         return std::tie(a.STA, a.NGROUP, a.CHANINDEX, a.CHAN) <
                                std::tie(b.STA, b.NGROUP, b.CHANINDEX, b.CHAN);
                     });
    return catalogue;
}
