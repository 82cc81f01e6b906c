#pragma once
// A station's SITE row and all its SITECHAN rows with every column as stored:
// NULL told apart from empty text, numbers by their bits. What the journal
// keeps of a station, and what a restore writes back.

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "db/select_rows.h"
#include "station/catalogue_columns.h"
#include "station/station_snapshot.h"

class CDatabase;

// The rows of one station: columns in the order of the catalogue's
// description (catalogue::kSiteColumns, kSiteChanColumns).
struct ExactStation {
    std::optional<ValueRow> site;   // none: SITE holds no row for the code
    std::vector<ValueRow> channels; // every SITECHAN row of the code, in key order
};

// A journal text that does not read as a station (see DecodeStation).
class JournalFormatError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Reads the station's SITE row and every SITECHAN row of the code (of any
// group) with one statement; `writes` go first in the same request (only on
// a driver that takes several statements in one text). Throws CDBException.
ExactStation ReadExactStation(const CDatabase& session, const std::string& code,
                              const std::vector<std::string>& writes = {});

// The same rows read with the lock a write needs (see LockStationForWriting),
// with one request: with `siteReadFirst` the SITE
// row with the lock clause, then the channel rows by the next SELECT of the
// same request; else the code joined with SITE and with SITECHAN, read with
// the lock clause by one statement. Throws CDBException.
ExactStation ReadExactStationLocked(const CDatabase& session, const std::string& code, const StationLock& lock);

// The rows as the station store's locked reading (ReReadStation) holds them:
// the channel rows of the groups the form shows only (see ToSnapshot).
StationSnapshot ShownSnapshot(const ExactStation& station);

// The rows as text, one line per row after a line naming each table's
// columns; read back exactly by DecodeStation: NULL is "\N", text is escaped,
// numbers are the shortest decimal that reads back to the same bits (nan and
// inf included), dates are "YYYY-MM-DD hh:mm:ss".
std::string EncodeStation(const ExactStation& station);
// The rows of an EncodeStation text. Columns the text does not name are
// NULL, columns the description does not know are left out. Throws
// JournalFormatError.
ExactStation DecodeStation(const std::string& text);

// Whether two values are the same: numbers compared by their bits.
bool SameCell(const CellValue& a, const CellValue& b);
bool SameRows(const ExactStation& a, const ExactStation& b);
// Sorts the channel rows by group, component and name.
void SortChannels(ExactStation& station);

// The value as a person reads it: NULL, "" for empty text, a number in its
// shortest exact decimal, a date as "YYYY-MM-DD hh:mm:ss".
std::string CellText(const CellValue& value, catalogue::Kind kind);

// The rows as the record sets would read them (NULL text as empty, NULL
// numbers as the null markers, a NULL NINDEX as 0): every channel row included.
StationSnapshot ToSnapshot(const ExactStation& station);

// Positions of the columns the code needs by name.
inline constexpr std::size_t kSiteColumnCount = catalogue::kSiteColumns.size();
inline constexpr std::size_t kChannelColumnCount = catalogue::kSiteChanColumns.size();
std::size_t SiteColumnIndex(std::string_view name);
std::size_t ChannelColumnIndex(std::string_view name);
