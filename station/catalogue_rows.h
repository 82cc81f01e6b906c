#pragma once
// SiteRow and ChannelRow column by column: for every column the description
// (catalogue_columns.h) names, the member of the row type that holds it, so
// that code can go over a row's columns in a loop (bind them, read or write
// them by name, as text or number, NULL kept apart) instead of naming every
// member again. The compiler holds each table against the description.

#include <array>
#include <cmath>
#include <limits>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>

#include "db/recordset.h"
#include "db/wall_clock.h"
#include "station/catalogue_columns.h"
#include "station/station_snapshot.h"

namespace catalogue {

// A number as the shortest classic-notation text that reads back the same.
std::string ShortestText(double value);
// A "YYYY-MM-DD hh:mm:ss" text as a wall-clock time; nullopt for any other text.
std::optional<WallClock> ParseWallClockText(std::string_view text);

// The member of `Row` that holds a column; the alternative follows the
// column's kind: Text, Integer, Floating, DateTime in that order.
template <typename Row>
using Member = std::variant<std::string Row::*, int Row::*, ExactDouble Row::*, std::optional<WallClock> Row::*>;

// One column of a row type: its described name and the member holding it.
template <typename Row>
struct RowColumn {
    std::string_view name;
    Member<Row> member;
};

// SITE's columns in SiteRow, in the order the record set binds them.
inline constexpr std::array<RowColumn<SiteRow>, 17> kSiteRow{{
    {"STA", &SiteRow::STA},
    {"COD", &SiteRow::COD},
    {"NGROUPS", &SiteRow::NGROUPS},
    {"ELEV", &SiteRow::ELEV},
    {"LAT", &SiteRow::LAT},
    {"LON", &SiteRow::LON},
    {"DESCR", &SiteRow::DESCR},
    {"LDDATE", &SiteRow::LDDATE},
    {"NINDEX", &SiteRow::NINDEX},
    {"DEAST", &SiteRow::DEAST},
    {"DNORTH", &SiteRow::DNORTH},
    {"REFSTA", &SiteRow::REFSTA},
    {"STANAME", &SiteRow::STANAME},
    {"STATYPE", &SiteRow::STATYPE},
    {"UNDERGROUND", &SiteRow::UNDERGROUND},
    {"ONDATE", &SiteRow::ONDATE},
    {"OFFDATE", &SiteRow::OFFDATE},
}};

// SITECHAN's columns in ChannelRow, in the order the record set binds them.
inline constexpr std::array<RowColumn<ChannelRow>, 14> kChannelRow{{
    {"STA", &ChannelRow::STA},
    {"CHAN", &ChannelRow::CHAN},
    {"NGROUP", &ChannelRow::NGROUP},
    {"CHANINDEX", &ChannelRow::CHANINDEX},
    {"EDEPH", &ChannelRow::EDEPH},
    {"LAT", &ChannelRow::LAT},
    {"LON", &ChannelRow::LON},
    {"SPS", &ChannelRow::SPS},
    {"HANG", &ChannelRow::HANG},
    {"VANG", &ChannelRow::VANG},
    {"DESCR", &ChannelRow::DESCR},
    {"CALIBFILE", &ChannelRow::CALIBFILE},
    {"LCODE", &ChannelRow::LCODE},
    {"LDDATE", &ChannelRow::LDDATE},
}};

// The alternative of Member that holds a column of `kind`.
constexpr std::size_t MemberIndex(Kind kind) {
    switch (kind) {
        case Kind::Text: return 0;
        case Kind::Integer: return 1;
        case Kind::Floating: return 2;
        case Kind::DateTime: return 3;
    }
    return 4;
}

// Whether `entries` (each with a name and a member) hold every column of
// `described` exactly once, each with a member that `fits` its kind, and no
// other; `skipped` lists described columns left out on purpose.
template <typename Entries, typename Fits>
constexpr bool CoversDescription(const Entries& entries, std::span<const Column> described, const Fits& fits,
                                 std::span<const std::string_view> skipped = {}) {
    std::size_t expected = 0;
    for (const Column& column : described) {
        bool skip = false;
        for (std::string_view name : skipped) skip = skip || name == column.name;
        if (skip) continue;
        ++expected;
        std::size_t found = 0;
        for (const auto& entry : entries)
            if (entry.name == column.name) {
                if (!fits(entry, column.kind)) return false;
                ++found;
            }
        if (found != 1) return false;
    }
    return entries.size() == expected;
}

// Whether a row type's member is of the alternative its column's kind asks.
inline constexpr auto kMemberFits = [](const auto& entry, Kind kind) {
    return entry.member.index() == MemberIndex(kind);
};

static_assert(CoversDescription(kSiteRow, kSiteColumns, kMemberFits), "SiteRow's table must map every SITE column once");
static_assert(CoversDescription(kChannelRow, kSiteChanColumns, kMemberFits), "ChannelRow's table must map every SITECHAN column");

// The table of a row type: kSiteRow for SiteRow, kChannelRow for ChannelRow.
template <typename Row>
constexpr std::span<const RowColumn<Row>> RowColumns() {
    if constexpr (std::is_same_v<Row, SiteRow>)
        return kSiteRow;
    else
        return kChannelRow;
}

// The entry of column `name` in Row's table; a name the table does not hold
// stops the compilation of a constant and throws otherwise.
template <typename Row>
constexpr const RowColumn<Row>& RowColumnNamed(std::string_view name) {
    for (const RowColumn<Row>& column : RowColumns<Row>())
        if (column.name == name) return column;
    throw std::logic_error("column not in the row's table");
}

// Whether the column holds NULL as a fetched row shows it: the null markers
// of the record sets, nullopt for a date. A text column is never NULL there.
template <typename Row>
bool IsNull(const Row& row, const Member<Row>& member) {
    return std::visit(
        [&](auto m) {
            const auto& value = row.*m;
            using Value = std::remove_cvref_t<decltype(value)>;
            if constexpr (std::is_same_v<Value, std::string>)
                return false;
            else if constexpr (std::is_same_v<Value, int>)
                return value == NullMarker::Integer;
            else if constexpr (std::is_same_v<Value, ExactDouble>)
                return value.value == NullMarker::Floating;
            else
                return !value.has_value();
        },
        member);
}

// The column's value as text: a text as it is, a number as the shortest text
// that reads back the same, a date-time as "YYYY-MM-DD hh:mm:ss"; nullopt
// for NULL.
template <typename Row>
std::optional<std::string> TextOf(const Row& row, const Member<Row>& member) {
    if (IsNull(row, member)) return std::nullopt;
    return std::visit(
        [&](auto m) -> std::string {
            const auto& value = row.*m;
            using Value = std::remove_cvref_t<decltype(value)>;
            if constexpr (std::is_same_v<Value, std::string>)
                return value;
            else if constexpr (std::is_same_v<Value, int>)
                return std::to_string(value);
            else if constexpr (std::is_same_v<Value, ExactDouble>)
                return ShortestText(value.value);
            else
                return WallClockText(*value);
        },
        member);
}

// The column's value as a number; nullopt for NULL, a text or a date-time.
template <typename Row>
std::optional<double> NumberOf(const Row& row, const Member<Row>& member) {
    if (IsNull(row, member)) return std::nullopt;
    return std::visit(
        [&](auto m) -> std::optional<double> {
            const auto& value = row.*m;
            using Value = std::remove_cvref_t<decltype(value)>;
            if constexpr (std::is_same_v<Value, int>)
                return value;
            else if constexpr (std::is_same_v<Value, ExactDouble>)
                return value.value;
            else
                return std::nullopt;
        },
        member);
}

// Sets the column to NULL as a fetched row holds it (a text to empty).
template <typename Row>
void SetNull(Row& row, const Member<Row>& member) {
    std::visit(
        [&](auto m) {
            auto& value = row.*m;
            using Value = std::remove_cvref_t<decltype(value)>;
            if constexpr (std::is_same_v<Value, std::string>)
                value.clear();
            else if constexpr (std::is_same_v<Value, int>)
                value = NullMarker::Integer;
            else if constexpr (std::is_same_v<Value, ExactDouble>)
                value.value = NullMarker::Floating;
            else
                value.reset();
        },
        member);
}

// Sets the column from a number: an integer column takes it rounded toward
// zero; a number an integer column cannot hold (NaN included), or any number
// for a text or date-time column, leaves the column as it is and answers false.
template <typename Row>
bool SetNumber(Row& row, const Member<Row>& member, double number) {
    return std::visit(
        [&](auto m) {
            auto& value = row.*m;
            using Value = std::remove_cvref_t<decltype(value)>;
            if constexpr (std::is_same_v<Value, int>) {
                const double whole = std::trunc(number);
                if (!(whole >= std::numeric_limits<int>::min() && whole <= std::numeric_limits<int>::max()))
                    return false;
                value = static_cast<int>(whole);
                return true;
            } else if constexpr (std::is_same_v<Value, ExactDouble>) {
                value.value = number;
                return true;
            } else {
                return false;
            }
        },
        member);
}

// Sets the column from text: a text column takes it as it is, a date-time
// column a "YYYY-MM-DD hh:mm:ss" text; a number column, or a text that is
// no date-time, is left as it is and false answered.
template <typename Row>
bool SetText(Row& row, const Member<Row>& member, const std::string& text) {
    return std::visit(
        [&](auto m) {
            auto& value = row.*m;
            using Value = std::remove_cvref_t<decltype(value)>;
            if constexpr (std::is_same_v<Value, std::string>) {
                value = text;
                return true;
            } else if constexpr (std::is_same_v<Value, std::optional<WallClock>>) {
                const std::optional<WallClock> parsed = ParseWallClockText(text);
                if (!parsed) return false;
                value = parsed;
                return true;
            } else {
                return false;
            }
        },
        member);
}

}  // namespace catalogue
