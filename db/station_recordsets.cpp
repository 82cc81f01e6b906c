#include "db/station_recordsets.h"

#include <ctime>

namespace {

// Both record sets name the same data source when made without a session,
// which the program never does.
const char* const kDefaultConnect = "ODBC;DSN=ZRN;UID=ZRN;PWD=PJQ";

}  // namespace

CSite::CSite(CDatabase* session) : CRecordset(session), LDDATE(LocalWallClock(std::time(nullptr))) {
    // The remaining fields get no meaningful value until a row is fetched;
    // they start as the null markers rather than as indeterminate values.
    DNORTH = DEAST = NullMarker::Floating;
    ONDATE = OFFDATE = NullMarker::DateTime;
}

CSite::~CSite() = default;

std::string CSite::DefaultConnect() const { return kDefaultConnect; }

std::string CSite::DefaultSql() const { return "SITE"; }

std::vector<FieldBinding> CSite::BindColumns() {
    // Binding order; the member order of the class differs.
    return {
        {"STA", FieldKind::Text, &STA},
        {"COD", FieldKind::Text, &COD},
        {"NGROUPS", FieldKind::Integer, &NGROUPS},
        {"ELEV", FieldKind::Floating, &ELEV},
        {"LAT", FieldKind::Floating, &LAT},
        {"LON", FieldKind::Floating, &LON},
        {"DESCR", FieldKind::Text, &DESCR},
        {"LDDATE", FieldKind::DateTime, &LDDATE},
        {"NINDEX", FieldKind::Integer, &NINDEX},
        {"DEAST", FieldKind::Floating, &DEAST},
        {"DNORTH", FieldKind::Floating, &DNORTH},
        {"REFSTA", FieldKind::Text, &REFSTA},
        {"STANAME", FieldKind::Text, &STANAME},
        {"STATYPE", FieldKind::Text, &STATYPE},
        {"UNDERGROUND", FieldKind::Text, &UNDERGROUND},
        {"ONDATE", FieldKind::DateTime, &ONDATE},
        {"OFFDATE", FieldKind::DateTime, &OFFDATE},
    };
}

void CSite::AfterFetch() {
    // A station without a number reads as number 0, not as the null marker.
    if (NINDEX == NullMarker::Integer) NINDEX = 0;
}

CSiteChan::CSiteChan(CDatabase* session) : CRecordset(session), LDDATE(LocalWallClock(std::time(nullptr))) {}

CSiteChan::~CSiteChan() = default;

std::string CSiteChan::DefaultConnect() const { return kDefaultConnect; }

std::string CSiteChan::DefaultSql() const { return "SITECHAN"; }

std::vector<FieldBinding> CSiteChan::BindColumns() {
    return {
        {"STA", FieldKind::Text, &STA},
        {"CHAN", FieldKind::Text, &CHAN},
        {"NGROUP", FieldKind::Integer, &NGROUP},
        {"CHANINDEX", FieldKind::Integer, &CHANINDEX},
        {"EDEPH", FieldKind::Floating, &EDEPH},
        {"LAT", FieldKind::Floating, &LAT},
        {"LON", FieldKind::Floating, &LON},
        {"SPS", FieldKind::Floating, &SPS},
        {"HANG", FieldKind::Floating, &HANG},
        {"VANG", FieldKind::Floating, &VANG},
        {"DESCR", FieldKind::Text, &DESCR},
        {"CALIBFILE", FieldKind::Text, &CALIBFILE},
        {"LCODE", FieldKind::Text, &LCODE},
        {"LDDATE", FieldKind::DateTime, &LDDATE},
    };
}
