#pragma once
// Each station's network code: the CSS 3.0 AFFILIATION table's when the
// database has that table and it names the station, else one default code.

#include <string>
#include <unordered_map>
#include <vector>

class CDatabase;

// The network code of every station: an assigned one, else the default.
class NetworkCodes {
public:
    // Every station under `fallback` until assigned otherwise.
    NetworkCodes(std::string fallback = "XX") : fallback_(std::move(fallback)) {}  // NOLINT: a code converts
    NetworkCodes(const char* fallback) : fallback_(fallback) {}                       // NOLINT

    // Puts `station` in `network`; a station already assigned keeps its code.
    void Assign(const std::string& station, const std::string& network);
    const std::string& Of(const std::string& station) const;
    const std::string& Fallback() const { return fallback_; }

private:
    std::string fallback_;
    std::unordered_map<std::string, std::string> byStation_;
};

// Reads AFFILIATION (NET, STA) on `session` when the table is there; every
// station it does not name gets `fallback`. A station it names in several
// networks takes the first code in sort order. The table is never created.
// Throws CDBException when the table is there but cannot be read.
NetworkCodes ReadNetworkCodes(CDatabase& session, std::string fallback);

// Whether the database has AFFILIATION, by a query that touches no row.
bool HasNetworkTable(CDatabase& session);

// As ReadNetworkCodes on a database known to have AFFILIATION, for the
// `listed` stations only when given: a query for a few stations reads a few
// rows.
NetworkCodes ReadNetworkCodesOf(CDatabase& session, std::string fallback, const std::vector<std::string>* listed);
