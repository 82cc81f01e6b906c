#include "db/station_recordsets.h"

#include <ctime>

namespace {

// Both record sets name the same data source when made without a session,
// which the program never does.
const char* const kDefaultConnect = "ODBC;DSN=ZRN;UID=ZRN;PWD=PJQ";

}  // namespace

SiteFields::SiteFields() : LDDATE(LocalWallClock(std::time(nullptr))) {
    // The remaining fields get no meaningful value until a row is fetched;
    // they start as the null markers rather than as indeterminate values.
    DNORTH = DEAST = NullMarker::Floating;
    ONDATE = OFFDATE = NullMarker::DateTime;
}

std::vector<FieldBinding> SiteFields::Bindings(const std::string& qualifier) {
    return {
        {qualifier + "STA", FieldKind::Text, &STA},
        {qualifier + "COD", FieldKind::Text, &COD},
        {qualifier + "NGROUPS", FieldKind::Integer, &NGROUPS},
        {qualifier + "ELEV", FieldKind::Floating, &ELEV},
        {qualifier + "LAT", FieldKind::Floating, &LAT},
        {qualifier + "LON", FieldKind::Floating, &LON},
        {qualifier + "DESCR", FieldKind::Text, &DESCR},
        {qualifier + "LDDATE", FieldKind::DateTime, &LDDATE},
        {qualifier + "NINDEX", FieldKind::Integer, &NINDEX},
        {qualifier + "DEAST", FieldKind::Floating, &DEAST},
        {qualifier + "DNORTH", FieldKind::Floating, &DNORTH},
        {qualifier + "REFSTA", FieldKind::Text, &REFSTA},
        {qualifier + "STANAME", FieldKind::Text, &STANAME},
        {qualifier + "STATYPE", FieldKind::Text, &STATYPE},
        {qualifier + "UNDERGROUND", FieldKind::Text, &UNDERGROUND},
        {qualifier + "ONDATE", FieldKind::DateTime, &ONDATE},
        {qualifier + "OFFDATE", FieldKind::DateTime, &OFFDATE},
    };
}

void SiteFields::AfterFetch() {
    // A station without a number reads as number 0, not as the null marker.
    if (NINDEX == NullMarker::Integer) NINDEX = 0;
}

ChannelFields::ChannelFields() : LDDATE(LocalWallClock(std::time(nullptr))) {}

std::vector<FieldBinding> ChannelFields::Bindings(const std::string& qualifier) {
    return {
        {qualifier + "STA", FieldKind::Text, &STA},
        {qualifier + "CHAN", FieldKind::Text, &CHAN},
        {qualifier + "NGROUP", FieldKind::Integer, &NGROUP},
        {qualifier + "CHANINDEX", FieldKind::Integer, &CHANINDEX},
        {qualifier + "EDEPH", FieldKind::Floating, &EDEPH},
        {qualifier + "LAT", FieldKind::Floating, &LAT},
        {qualifier + "LON", FieldKind::Floating, &LON},
        {qualifier + "SPS", FieldKind::Floating, &SPS},
        {qualifier + "HANG", FieldKind::Floating, &HANG},
        {qualifier + "VANG", FieldKind::Floating, &VANG},
        {qualifier + "DESCR", FieldKind::Text, &DESCR},
        {qualifier + "CALIBFILE", FieldKind::Text, &CALIBFILE},
        {qualifier + "LCODE", FieldKind::Text, &LCODE},
        {qualifier + "LDDATE", FieldKind::DateTime, &LDDATE},
    };
}

CSite::CSite(CDatabase* session) : CRecordset(session) {}

CSite::~CSite() = default;

std::string CSite::DefaultConnect() const { return kDefaultConnect; }

std::string CSite::DefaultSql() const { return "SITE"; }

CSiteChan::CSiteChan(CDatabase* session) : CRecordset(session) {}

CSiteChan::~CSiteChan() = default;

std::string CSiteChan::DefaultConnect() const { return kDefaultConnect; }

std::string CSiteChan::DefaultSql() const { return "SITECHAN"; }
