#pragma once
// A station as loading reads it from SITE and SITECHAN, kept so that a save
// can tell whether another program has changed it since.

#include <bit>
#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "station/station_queries.h"
#include "db/wall_clock.h"

class CDatabase;

// A double compared by its bits, so that a value read twice the same way
// compares equal even when it is not a number. A record set binds `value`;
// a plain double is assigned to it, and compared with it by value.
struct ExactDouble {
    double value = 0.0;
    ExactDouble& operator=(double assigned) {
        value = assigned;
        return *this;
    }
    friend bool operator==(const ExactDouble& a, double b) { return a.value == b; }
    std::strong_ordering operator<=>(const ExactDouble& other) const {
        return std::bit_cast<std::uint64_t>(value) <=> std::bit_cast<std::uint64_t>(other.value);
    }
    bool operator==(const ExactDouble& other) const = default;
};

// One SITE row as the record set fetched it (null markers included; a NULL
// date is nullopt).
struct SiteRow {
    std::string STA, COD;
    int NGROUPS = 0;
    ExactDouble ELEV, LAT, LON;
    std::string DESCR;
    std::optional<WallClock> LDDATE;
    int NINDEX = 0;
    std::string REFSTA;
    ExactDouble DNORTH, DEAST;
    std::string STANAME, STATYPE, UNDERGROUND;
    std::optional<WallClock> ONDATE, OFFDATE;
    auto operator<=>(const SiteRow&) const = default;
};

// One SITECHAN row as the record set fetched it.
struct ChannelRow {
    std::string STA, CHAN;
    int NGROUP = 0, CHANINDEX = 0;
    ExactDouble EDEPH, LAT, LON, SPS, HANG, VANG;
    std::string DESCR, CALIBFILE, LCODE;
    std::optional<WallClock> LDDATE;
    auto operator<=>(const ChannelRow&) const = default;
};

// The station's first SITE row (none for a code SITE does not hold) and the
// SITECHAN rows of the groups read for it, in the order they came.
struct StationSnapshot {
    std::optional<SiteRow> site;
    std::vector<ChannelRow> channels;
};

// Reads the station as loading shows it: the SITE row by "STA=code", then,
// group by group, the SITECHAN rows by "STA=code and NGROUP=g" for the groups
// 1 to NGROUPS (at most 7; all seven when NGROUPS is NULL). Throws CDBException.
StationSnapshot ReadStation(CDatabase& session, const std::string& code);

// The same rows as ReadStation, read with one request: the re-reading of a
// save or a delete, which compares rows, not groups, and runs on every write.
// `lock` (see LockStationForWriting) goes with it. SITE joined with SITECHAN
// is read by one statement, or, where the lock asks for it, the SITE row and
// the channel rows by two in one request. A code SITE holds twice is read as
// ReadStation reads it, with one statement for its channel rows. Throws
// CDBException.
StationSnapshot ReReadStation(CDatabase& session, const std::string& code, const StationLock& lock = {});

// The groups whose channel rows a reading holds, 1 to this; 0 when SITE
// holds no row for the code (then no channel row was read).
int ChannelGroupsRead(const StationSnapshot& snapshot);

// Whether two readings hold the same rows and values; the order of the
// channel rows does not matter.
bool SameStation(const StationSnapshot& a, const StationSnapshot& b);
