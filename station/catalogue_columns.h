#pragma once
// The one description of the station catalogue's tables SITE and SITECHAN as
// the program makes and uses them: every column's name, kind, width and
// nullability with a line on what it holds; the channel grid's groups and
// components; and the rule for the groups whose stale channel rows a save
// removes. The form's length limits, the import's widths, the store's reads
// and deletes and station-check's rules take these facts from here; a test
// holds the tables the sql/ scripts and the schema upgrade make, and the
// upgrade's column list, against it.
//
// Header only and without includes of the project, so that the control
// numbers of the form (resources/control_ids.h) can take the group count
// from it too.

#include <algorithm>
#include <array>
#include <span>
#include <stdexcept>
#include <string_view>

namespace catalogue {

// How a column's value is stored.
enum class Kind { Integer, Floating, Text, DateTime };

struct Column {
    std::string_view name;
    Kind kind;
    int width;      // characters a text column holds; 0 for the other kinds
    bool nullable;  // false: NOT NULL (the key columns)
    std::string_view meaning;
};

// SITE: one row per station, keyed by STA.
inline constexpr std::array<Column, 17> kSiteColumns{{
    {"STA", Kind::Text, 8, false, "station code"},
    {"NGROUPS", Kind::Integer, 0, true, "number of channel groups the form shows"},
    {"ELEV", Kind::Floating, 0, true, "elevation, metres"},
    {"LAT", Kind::Floating, 0, true, "latitude, degrees"},
    {"LON", Kind::Floating, 0, true, "longitude, degrees"},
    {"DESCR", Kind::Text, 1024, true, "Russian name"},
    {"LDDATE", Kind::DateTime, 0, true, "time the row was last written"},
    {"NINDEX", Kind::Integer, 0, true, "number of the station in the database"},
    {"COD", Kind::Text, 6, true, "international code"},
    {"STATYPE", Kind::Text, 50, true, "station type; read, not shown"},
    {"STANAME", Kind::Text, 50, true, "English name"},
    {"UNDERGROUND", Kind::Text, 250, true, "ground"},
    {"ONDATE", Kind::DateTime, 0, true, "date and time the station opened"},
    {"OFFDATE", Kind::DateTime, 0, true, "date and time the station closed"},
    {"REFSTA", Kind::Text, 16, true, "code of the central point of the array"},
    {"DNORTH", Kind::Floating, 0, true, "offset north of the central point, km"},
    {"DEAST", Kind::Floating, 0, true, "offset east of the central point, km"},
}};

// SITECHAN: one row per channel, keyed by STA, CHAN, NGROUP and CHANINDEX.
inline constexpr std::array<Column, 14> kSiteChanColumns{{
    {"STA", Kind::Text, 8, false, "station code"},
    {"CHAN", Kind::Text, 8, false, "channel name"},
    {"NGROUP", Kind::Integer, 0, false, "channel group: the row of the channel grid"},
    {"CHANINDEX", Kind::Integer, 0, false, "component within the group: 0 Z, 1 N, 2 E"},
    {"EDEPH", Kind::Floating, 0, true, "depth of the sensor"},
    {"LAT", Kind::Floating, 0, true, "latitude of the channel, degrees"},
    {"LON", Kind::Floating, 0, true, "longitude of the channel, degrees"},
    {"SPS", Kind::Floating, 0, true, "samples per second"},
    {"HANG", Kind::Floating, 0, true, "horizontal angle, degrees"},
    {"VANG", Kind::Floating, 0, true, "vertical angle, degrees"},
    {"DESCR", Kind::Text, 50, true, "sensor type"},
    {"CALIBFILE", Kind::Text, 1024, true, "name of the channel's response file"},
    {"LDDATE", Kind::DateTime, 0, true, "time the row was last written"},
    {"LCODE", Kind::Text, 8, true, "location code"},
}};

struct Table {
    std::string_view name;
    std::span<const Column> columns;
};
inline constexpr std::array<Table, 2> kTables{{{"SITE", kSiteColumns}, {"SITECHAN", kSiteChanColumns}}};

// The described column `name` of `columns`. Used for a constant, a name that
// is not described stops the compilation.
constexpr const Column& ColumnNamed(std::span<const Column> columns, std::string_view name) {
    for (const Column& column : columns)
        if (column.name == name) return column;
    throw std::logic_error("column not described");
}
constexpr int SiteWidth(std::string_view name) { return ColumnNamed(kSiteColumns, name).width; }
constexpr int SiteChanWidth(std::string_view name) { return ColumnNamed(kSiteChanColumns, name).width; }

// The channel grid: groups 1 to kGroupMax (NGROUP), components 0 to
// kLastComponent (CHANINDEX: Z, N, E).
inline constexpr int kGroupMax = 7;
inline constexpr int kLastComponent = 2;
inline constexpr int kComponentCount = kLastComponent + 1;

// The groups 1 to n in which a save removes the station's channel rows it
// no longer writes: those shown before (as loaded, or as stored) and those
// it saves, never beyond the grid. Rows in groups that were never shown stay.
// A count shown before that is not a number (NaN) counts as every group.
constexpr int StaleGroups(double shownBefore, double saved) {
    const double groups = std::min<double>(kGroupMax, std::max(shownBefore, saved));
    return groups > 0 ? static_cast<int>(groups) : 0;
}

}  // namespace catalogue
