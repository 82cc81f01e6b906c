#include "tools/catalogue_history.h"

#include <algorithm>
#include <map>
#include <set>
#include <unordered_set>

#include "db/session.h"
#include "station/exact_station.h"
#include "station/station_journal.h"

namespace {

// The journal's entries after `time` (ReadJournal's window includes the
// time itself; an entry at it was written when the catalogue stood so),
// station by station, oldest first.
std::map<std::string, std::vector<JournalEntry>> EntriesAfter(CDatabase& session, const std::string& time,
                                                              const std::vector<std::string>& codes) {
    std::map<std::string, std::vector<JournalEntry>> byStation;
    std::vector<JournalEntry> entries = ReadJournal(session, {codes, time, std::nullopt});
    for (auto it = entries.rbegin(); it != entries.rend(); ++it)
        if (it->at > time) byStation[it->code].push_back(std::move(*it));
    return byStation;
}

bool SameSorted(ExactStation a, ExactStation b) {
    SortChannels(a);
    SortChannels(b);
    return SameRows(a, b);
}

}  // namespace

PastCatalogue ReadCatalogueAsOf(CDatabase& session, const std::vector<std::string>& stations, const std::string& time) {
    const std::map<std::string, std::vector<JournalEntry>> changed = EntriesAfter(session, time, stations);
    const Catalogue now = ReadCatalogue(session, {});

    PastCatalogue past;
    std::vector<StoredSite> sites;
    std::vector<StoredChannel> channels;
    const auto isChanged = [&changed](const std::optional<std::string>& code) {
        return code && changed.count(*code) != 0;
    };
    for (const StoredSite& site : now.allSites)
        if (!isChanged(site.STA)) sites.push_back(site);
    for (const StoredChannel& channel : now.channels)
        if (!isChanged(channel.STA)) channels.push_back(channel);
    for (const auto& [code, entries] : changed) {
        const ExactStation& then = entries.front().beforeRows;
        if (then.site) sites.push_back(StoredSiteOf(*then.site));
        for (const ValueRow& row : then.channels) channels.push_back(StoredChannelOf(row));
        bool outside = !SameSorted(ReadExactStation(session, code), entries.back().afterRows);
        for (size_t i = 1; i < entries.size() && !outside; ++i)
            outside = !SameSorted(entries[i].beforeRows, entries[i - 1].afterRows);
        if (outside) past.changedOutside.push_back(code);
    }

    const std::unordered_set<std::string> asked(stations.begin(), stations.end());
    past.catalogue = CatalogueOf(std::move(sites), std::move(channels), [&](const std::optional<std::string>& code) {
        return stations.empty() || (code && asked.count(*code));
    });
    std::set<std::string> reported;
    for (const std::string& code : stations)
        if (!past.catalogue.FindSite(code) && reported.insert(code).second)
            past.catalogue.unknownStations.push_back(code);
    return past;
}

std::vector<std::string> StationsChangedSince(CDatabase& session, const std::string& time) {
    std::vector<std::string> codes;
    for (const auto& [code, entries] : EntriesAfter(session, time, {})) codes.push_back(code);
    return codes;
}
