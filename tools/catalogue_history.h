#pragma once
// The catalogue as it stood at an earlier time, and the stations changed
// since a time, from the journal of the programs' writes
// (station/station_journal.h).

#include <string>
#include <vector>

#include "tools/catalogue.h"

class CDatabase;

// The catalogue at a past time: every station the journal shows written
// after it is put back as its first entry after that time found it (a
// station created since is left out, one deleted since comes back).
struct PastCatalogue {
    Catalogue catalogue;
    // Stations changed after the time by something other than the programs:
    // an entry's "before" differs from the "after" of the entry before it,
    // or the station as stored now differs from its newest entry. Their past
    // is the journal's, which may miss such a change.
    std::vector<std::string> changedOutside;
};

// The catalogue of `stations` (all when empty) as it stood at `time`, a
// journal time text (JournalTime). unknownStations names the listed codes
// SITE did not hold then. Throws CDBException, JournalFormatError.
PastCatalogue ReadCatalogueAsOf(CDatabase& session, const std::vector<std::string>& stations, const std::string& time);

// The codes of the stations the programs wrote after `time`, sorted, each
// once. Throws CDBException, JournalFormatError.
std::vector<std::string> StationsChangedSince(CDatabase& session, const std::string& time);
