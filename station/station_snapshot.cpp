#include "station/station_snapshot.h"

#include <algorithm>

#include "db/sql_text.h"
#include "station/station_queries.h"
#include "station/station_recordsets.h"
#include "station/catalogue_columns.h"

namespace {

// The groups read for a station: 1 to NGROUPS, no more than the grid has;
// every group when the count is NULL or below 1, so that no stored row goes
// unseen (and none is dropped by a save that names a count afterwards).
int GroupsToRead(int ngroups) {
    if (ngroups == NullMarker::Integer || ngroups < 1) return catalogue::kGroupMax;
    return std::min(ngroups, catalogue::kGroupMax);
}

// Reads the SITE row, then the channel rows of its groups: one statement per
// group, or one for them all.
StationSnapshot ReadSnapshot(CDatabase& session, const std::string& code, bool groupByGroup) {
    StationSnapshot snapshot;
    {
        CSite site(&session);
        site.Filter = "STA=" + SqlQuote(code);
        site.Open();
        if (site.IsEndOfSet()) return snapshot;
        snapshot.site = static_cast<const SiteRow&>(site);
    }
    const int groups = GroupsToRead(snapshot.site->NGROUPS);
    const auto read = [&](const std::string& filter) {
        CSiteChan chan(&session);
        chan.Filter = filter;
        chan.Open();
        for (; !chan.IsEndOfSet(); chan.MoveNext()) snapshot.channels.push_back(chan);
    };
    if (!groupByGroup) {
        read("STA=" + SqlQuote(code) + " and NGROUP between 1 and " + std::to_string(groups));
        return snapshot;
    }
    for (int g = 1; g <= groups; ++g) read("STA=" + SqlQuote(code) + " and NGROUP=" + std::to_string(g));
    return snapshot;
}

// A station's SITE row joined with each of its channel rows of the groups
// GroupsToRead gives for the row's NGROUPS: one row per channel row, one row
// with NULL channel columns when there is none. Fields convert as CSite's
// and CSiteChan's do. Only read.
class StationRows : public CRecordset {
public:
    StationRows(CDatabase* session, const std::string& code) : CRecordset(session), code_(code) {
        Filter = "SITE.STA=" + SqlQuote(code);
    }

    SiteRow site;
    ChannelRow channel;

    // Whether the current row holds a channel row: a joined row's NGROUP is
    // one of the groups read, never NULL.
    bool HasChannel() const { return channel.NGROUP != NullMarker::Integer; }

    std::string DefaultConnect() const override { return {}; }
    std::string DefaultSql() const override {
        const std::string last = std::to_string(catalogue::kGroupMax);
        return "SITE left join SITECHAN on SITECHAN.STA=" + SqlQuote(code_) +
               " and SITECHAN.NGROUP between 1 and (case when SITE.NGROUPS between 1 and " + last +
               " then SITE.NGROUPS else " + last + " end)";
    }

protected:
    std::vector<FieldBinding> BindColumns() override {
        std::vector<FieldBinding> bindings = RowBindings(site, "SITE.");
        for (FieldBinding& b : RowBindings(channel, "SITECHAN.")) bindings.push_back(std::move(b));
        return bindings;
    }
    void AfterFetch() override { AfterSiteFetch(site); }

private:
    std::string code_;
};

// The station read by one statement, the rows read with `rowLock`; nullopt
// when SITE holds the code in more than one row (or SITECHAN holds a row
// twice), which a join cannot tell apart from one row read with each channel
// row.
std::optional<StationSnapshot> ReadJoined(CDatabase& session, const std::string& code, const std::string& rowLock) {
    StationRows rows(&session, code);
    rows.RowLock = rowLock;
    rows.Open();
    StationSnapshot snapshot;
    for (; !rows.IsEndOfSet(); rows.MoveNext()) {
        const SiteRow& site = rows.site;
        if (!snapshot.site)
            snapshot.site = site;
        else if (site != *snapshot.site)
            return std::nullopt;
        if (rows.HasChannel()) snapshot.channels.push_back(rows.channel);
    }
    // The order of the channel rows means nothing to a reading (see
    // SameStation): they are sorted where they stand to find a repeated one.
    std::sort(snapshot.channels.begin(), snapshot.channels.end());
    if (std::adjacent_find(snapshot.channels.begin(), snapshot.channels.end()) != snapshot.channels.end())
        return std::nullopt;
    return snapshot;
}

// The station read by two SELECTs in one request: the SITE row with
// `rowLock`, then the channel rows of every group the grid has, of which
// those beyond the groups the SITE row names are dropped.
StationSnapshot ReadBatched(CDatabase& session, const std::string& code, const std::string& rowLock) {
    StationSnapshot snapshot;
    CSite site(&session);
    site.Filter = "STA=" + SqlQuote(code);
    site.RowLock = rowLock;
    CSiteChan chan(&session);
    chan.Filter = "STA=" + SqlQuote(code) + " and NGROUP between 1 and " + std::to_string(catalogue::kGroupMax);
    site.OpenBatch(chan);
    if (!site.IsEndOfSet()) snapshot.site = static_cast<const SiteRow&>(site);
    chan.OpenNextResult(site);
    if (!snapshot.site) return snapshot;
    const int groups = GroupsToRead(snapshot.site->NGROUPS);
    for (; !chan.IsEndOfSet(); chan.MoveNext())
        if (chan.NGROUP <= groups) snapshot.channels.push_back(chan);
    return snapshot;
}

}  // namespace

StationSnapshot ReadStation(CDatabase& session, const std::string& code) { return ReadSnapshot(session, code, true); }

StationSnapshot ReReadStation(CDatabase& session, const std::string& code, const StationLock& lock) {
    if (lock.siteReadFirst) return ReadBatched(session, code, lock.rowLock);
    if (std::optional<StationSnapshot> joined = ReadJoined(session, code, lock.rowLock)) return std::move(*joined);
    // The lock is held now; the rows are read as loading reads them.
    return ReadSnapshot(session, code, false);
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
