#include "tools/network_codes.h"

#include <optional>

#include "db/result.h"
#include "db/schema_upgrade.h"
#include "db/session.h"
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

NetworkCodes ReadNetworkCodes(CDatabase& session, std::string fallback) {
    NetworkCodes codes(std::move(fallback));
    // The table is optional in CSS 3.0: probed as the journal is, by a query
    // that touches no row.
    if (!ColumnExists(session, "AFFILIATION", "NET")) return codes;
    Statement stmt(session);
    Result rows = stmt.Execute("select NET, STA from AFFILIATION order by STA, NET");
    while (rows.Next()) {
        const std::optional<std::string> net = rows.Text(1), sta = rows.Text(2);
        if (!net || !sta) continue;
        const std::string network = Trimmed(*net);
        if (!network.empty()) codes.Assign(Trimmed(*sta), network);
    }
    return codes;
}
