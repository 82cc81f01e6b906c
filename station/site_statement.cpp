#include "station/site_statement.h"

#include <utility>
#include <vector>

#include "db/sql_text.h"
#include "station/number_text.h"

namespace {

std::string Timestamp(const std::string& dateText) { return "{ts " + SqlQuote(dateText) + "}"; }

// Column name and SQL value of every column the statement names except STA,
// in the statement's order.
std::vector<std::pair<const char*, std::string>> SiteColumns(const SiteRowValues& r) {
    std::vector<std::pair<const char*, std::string>> cols{
        {"NINDEX", std::to_string(r.nindex)},
        {"NGROUPS", std::to_string(r.ngroups)},
    };
    const auto number = [&cols](const char* name, const std::optional<double>& value) {
        if (value) cols.emplace_back(name, FixedText(*value, 6));
    };
    number("LAT", r.lat);
    number("LON", r.lon);
    number("ELEV", r.elev);
    cols.emplace_back("DESCR", SqlQuote(r.descr));
    cols.emplace_back("STANAME", SqlQuote(r.staname));
    cols.emplace_back("COD", SqlQuote(r.cod));
    const std::pair<const char*, const std::optional<std::string>&> dates[] = {{"ONDATE", r.onDate},
                                                                              {"OFFDATE", r.offDate}};
    for (const auto& [name, date] : dates)
        if (date || r.nullDates) cols.emplace_back(name, date ? Timestamp(*date) : "NULL");
    cols.emplace_back("REFSTA", SqlQuote(r.refsta));
    number("DEAST", r.deast);
    number("DNORTH", r.dnorth);
    cols.emplace_back("UNDERGROUND", SqlQuote(r.underground));
    cols.emplace_back("LDDATE", Timestamp(r.lddate));
    return cols;
}

}  // namespace

std::string BuildSiteStatement(const SiteRowValues& row, bool exists) {
    const auto cols = SiteColumns(row);
    if (exists) {
        std::string sql = "update SITE set ";
        for (size_t i = 0; i < cols.size(); ++i) {
            if (i > 0) sql += ',';
            sql += cols[i].first;
            sql += '=';
            sql += cols[i].second;
        }
        sql += " where STA=" + SqlQuote(row.sta);
        return sql;
    }
    std::string names = "insert into SITE (";
    std::string values = " values (";
    for (const auto& [name, value] : cols) {
        names += name;
        names += ',';
        values += value;
        values += ',';
    }
    return names + "STA)" + values + SqlQuote(row.sta) + ")";
}
