#include "station/station_recordsets.h"

#include <ctime>
#include <type_traits>

#include "station/catalogue_rows.h"

namespace {

// Both record sets name the same data source when made without a session,
// which the program never does.
const char* const kDefaultConnect = "ODBC;DSN=ZRN;UID=ZRN;PWD=PJQ";

template <typename Row>
std::vector<FieldBinding> Bindings(Row& row, const std::string& qualifier) {
    std::vector<FieldBinding> bindings;
    for (const catalogue::RowColumn<Row>& column : catalogue::RowColumns<Row>()) {
        std::visit(
            [&](auto member) {
                auto& value = row.*member;
                using Value = std::remove_cvref_t<decltype(value)>;
                const std::string name = qualifier + std::string(column.name);
                if constexpr (std::is_same_v<Value, std::string>)
                    bindings.push_back({name, FieldKind::Text, &value});
                else if constexpr (std::is_same_v<Value, int>)
                    bindings.push_back({name, FieldKind::Integer, &value});
                else if constexpr (std::is_same_v<Value, ExactDouble>)
                    bindings.push_back({name, FieldKind::Floating, &value.value});
                else
                    bindings.push_back({name, FieldKind::DateTime, &value});
            },
            column.member);
    }
    return bindings;
}

}  // namespace

std::vector<FieldBinding> RowBindings(SiteRow& row, const std::string& qualifier) { return Bindings(row, qualifier); }

std::vector<FieldBinding> RowBindings(ChannelRow& row, const std::string& qualifier) {
    return Bindings(row, qualifier);
}

void AfterSiteFetch(SiteRow& row) {
    // A station without a number reads as number 0, not as the null marker.
    if (row.NINDEX == NullMarker::Integer) row.NINDEX = 0;
}

CSite::CSite(CDatabase* session) : CRecordset(session) {
    // The fields get no meaningful value until a row is fetched; those that
    // have no start value of their own start as the null markers.
    LDDATE = LocalWallClock(std::time(nullptr));
    DNORTH.value = DEAST.value = NullMarker::Floating;
}

CSite::~CSite() = default;

std::string CSite::DefaultConnect() const { return kDefaultConnect; }

std::string CSite::DefaultSql() const { return "SITE"; }

CSiteChan::CSiteChan(CDatabase* session) : CRecordset(session) { LDDATE = LocalWallClock(std::time(nullptr)); }

CSiteChan::~CSiteChan() = default;

std::string CSiteChan::DefaultConnect() const { return kDefaultConnect; }

std::string CSiteChan::DefaultSql() const { return "SITECHAN"; }
