#include "station/station_snapshot.h"

#include <algorithm>

#include "db/sql_text.h"
#include "db/station_recordsets.h"
#include "resources/control_ids.h"

namespace {

SiteRow CopyRow(const CSite& s) {
    return SiteRow{s.STA,    s.COD,     s.NGROUPS, {s.ELEV},  {s.LAT},    {s.LON},       s.DESCR,
                   s.LDDATE, s.NINDEX,  s.REFSTA,  {s.DNORTH}, {s.DEAST}, s.STANAME,     s.STATYPE,
                   s.UNDERGROUND, s.ONDATE, s.OFFDATE};
}

ChannelRow CopyRow(const CSiteChan& c) {
    return ChannelRow{c.STA,   c.CHAN,   c.NGROUP, c.CHANINDEX, {c.EDEPH}, {c.LAT},      {c.LON},
                      {c.SPS}, {c.HANG}, {c.VANG}, c.DESCR,     c.CALIBFILE, c.LCODE, c.LDDATE};
}

// The groups read for a station: 1 to NGROUPS, no more than the grid has;
// every group when the count is NULL or below 1, so that no stored row goes
// unseen (and none is dropped by a save that names a count afterwards).
int GroupsToRead(int ngroups) {
    if (ngroups == NullMarker::Integer || ngroups < 1) return ctl::GroupCountMax;
    return std::min(ngroups, ctl::GroupCountMax);
}

// Reads the SITE row (with `siteRowLock` after its text), then the channel
// rows of its groups: one statement per group, or one for them all.
StationSnapshot ReadSnapshot(CDatabase& session, const std::string& code, bool groupByGroup,
                             const std::string& siteRowLock = {}) {
    StationSnapshot snapshot;
    {
        CSite site(&session);
        site.Filter = "STA=" + SqlQuote(code);
        site.RowLock = siteRowLock;
        site.Open();
        if (site.IsEndOfSet()) return snapshot;
        snapshot.site = CopyRow(site);
    }
    const int groups = GroupsToRead(snapshot.site->NGROUPS);
    const auto read = [&](const std::string& filter) {
        CSiteChan chan(&session);
        chan.Filter = filter;
        chan.Open();
        for (; !chan.IsEndOfSet(); chan.MoveNext()) snapshot.channels.push_back(CopyRow(chan));
    };
    if (!groupByGroup) {
        read("STA=" + SqlQuote(code) + " and NGROUP between 1 and " + std::to_string(groups));
        return snapshot;
    }
    for (int g = 1; g <= groups; ++g) read("STA=" + SqlQuote(code) + " and NGROUP=" + std::to_string(g));
    return snapshot;
}

}  // namespace

StationSnapshot ReadStation(CDatabase& session, const std::string& code) { return ReadSnapshot(session, code, true); }

StationSnapshot ReReadStation(CDatabase& session, const std::string& code, const std::string& siteRowLock) {
    return ReadSnapshot(session, code, false, siteRowLock);
}

int ChannelGroupsRead(const StationSnapshot& snapshot) {
    return snapshot.site ? GroupsToRead(snapshot.site->NGROUPS) : 0;
}

bool SameStation(const StationSnapshot& a, const StationSnapshot& b) {
    if (a.site != b.site || a.channels.size() != b.channels.size()) return false;
    auto left = a.channels;
    auto right = b.channels;
    std::sort(left.begin(), left.end());
    std::sort(right.begin(), right.end());
    return left == right;
}
