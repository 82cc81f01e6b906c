#include "tools/network_codes.h"

#include <optional>

#include "db/result.h"
#include "db/schema_upgrade.h"
#include "db/session.h"
#include "db/sql_text.h"
#include "db/statement.h"

namespace {

// CHAR columns and PAD SPACE comparison leave trailing blanks on a code.
std::string Trimmed(std::string text) {
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
}

}  // namespace

void NetworkCodes::Assign(const std::string& station, const std::string& network) {
    byStation_.emplace(station, network);
}

const std::string& NetworkCodes::Of(const std::string& station) const {
    const auto found = byStation_.find(station);
    return found == byStation_.end() ? fallback_ : found->second;
}

namespace {

// Assigns every station the rows of `query` (NET, STA) name.
NetworkCodes ReadAssignments(CDatabase& session, std::string fallback, const std::string& query) {
    NetworkCodes codes(std::move(fallback));
    Statement stmt(session);
    Result rows = stmt.Execute(query);
    while (rows.Next()) {
        const std::optional<std::string> net = rows.Text(1), sta = rows.Text(2);
        if (!net || !sta) continue;
        const std::string network = Trimmed(*net);
        if (!network.empty()) codes.Assign(Trimmed(*sta), network);
    }
    return codes;
}

}  // namespace

bool HasNetworkTable(CDatabase& session) {
    // The table is optional in CSS 3.0: probed as the journal is.
    return ColumnExists(session, "AFFILIATION", "NET");
}

NetworkCodes ReadNetworkCodes(CDatabase& session, std::string fallback) {
    if (!HasNetworkTable(session)) return NetworkCodes(std::move(fallback));
    return ReadNetworkCodesOf(session, std::move(fallback), nullptr);
}

NetworkCodes ReadNetworkCodesOf(CDatabase& session, std::string fallback, const std::vector<std::string>* listed) {
    if (!listed) return ReadAssignments(session, std::move(fallback), "select NET, STA from AFFILIATION order by STA, NET");
    if (listed->empty()) return NetworkCodes(std::move(fallback));
    std::string codes;
    for (const std::string& code : *listed) codes += (codes.empty() ? "" : ",") + SqlQuote(code);
    return ReadAssignments(session, std::move(fallback),
                           "select NET, STA from AFFILIATION where STA in (" + codes + ") order by STA, NET");
}
