#pragma once
// The direct queries a station's save and delete rely on, with a failure told
// apart from every answer: each throws CDBException with the driver's text.

#include <string>

class CDatabase;

// One above the largest NINDEX of SITE ("select max(NINDEX)+1 as maxindex
// from SITE"); 1 when SITE has no numbered row.
int CheckedNextStationIndex(CDatabase& session);

// Whether at least one row of `table` has the code in STA
// ("select count(*) from <table> where STA=<code>").
bool CheckedStationRowExists(CDatabase& session, const std::string& table, const std::string& stationCode);

// Inside an open transaction, starts keeping every other writer off the
// station until the transaction ends, so that what is read next is what is
// overwritten. SQLite, which locks the whole file, takes its write lock at
// once with a statement that writes nothing ("update SITE set STA=STA where
// 1=0") and answers "". PostgreSQL and MariaDB answer "for update": the
// reading of the station's SITE row that follows carries that clause and so
// takes the row's lock itself, with no statement of its own.
std::string LockStationForWriting(CDatabase& session);
