#include "bench/station_fill.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <stdexcept>

#include "db/session.h"
#include "db/sql_text.h"
#include "station/exact_station.h"
#include "station/station_journal.h"

namespace {

// How a backend writes the generated columns; n is the station's number.
struct Dialect {
    const char* backend;
    const char* code;   // 'B' and n as five digits
    const char* descr;  // a Russian name holding n
};

constexpr Dialect kDialects[] = {
    {"sqlite", "'B' || substr('00000' || n, -5)", "'Станция ' || n"},
    {"postgres", "'B' || lpad(n::text, 5, '0')", "'Станция ' || n"},
    {"mariadb", "CONCAT('B', LPAD(n, 5, '0'))", "CONCAT('Станция ', n)"},
};

const Dialect& DialectOf(const std::string& backend) {
    for (const Dialect& d : kDialects)
        if (backend == d.backend) return d;
    throw std::invalid_argument("no fill dialect for " + backend);
}

// The numbers 0 to 99,999 from five digit tables crossed.
std::string Numbers(int below) {
    const std::string digit =
        "(SELECT 0 AS d UNION ALL SELECT 1 UNION ALL SELECT 2 UNION ALL SELECT 3 UNION ALL SELECT 4 UNION ALL "
        "SELECT 5 UNION ALL SELECT 6 UNION ALL SELECT 7 UNION ALL SELECT 8 UNION ALL SELECT 9)";
    return "(SELECT d1.d + 10*d2.d + 100*d3.d + 1000*d4.d + 10000*d5.d AS n FROM " + digit + " d1, " + digit +
           " d2, " + digit + " d3, " + digit + " d4, " + digit + " d5) nums WHERE n < " + std::to_string(below);
}

constexpr const char* kSiteColumns =
    "STA, COD, NGROUPS, ELEV, LAT, LON, DESCR, LDDATE, NINDEX, STANAME, STATYPE, UNDERGROUND, ONDATE";

std::string NamedSite(const std::string& code, int index) {
    // COD holds six characters.
    return "INSERT INTO SITE (" + std::string(kSiteColumns) + ") VALUES (" + SqlQuote(code) + ", " +
           SqlQuote(code.substr(0, 6)) + ", 4, 150.5, 55.75, 37.62, " + SqlQuote("Станция " + code) +
           ", '2024-01-01 00:00:00', " + std::to_string(index) + ", " + SqlQuote("Station " + code) +
           ", 'BB', " + SqlQuote("гранит") + ", '1990-01-01 00:00:00')";
}

// Twelve channel rows: groups 1 to 4, components Z, N, E.
std::string ChannelRows(const std::string& code) {
    static constexpr const char* kBands[] = {"BH", "HH", "SH", "EH"};
    static constexpr const char* kComponents[] = {"Z", "N", "E"};
    std::string sql = "INSERT INTO SITECHAN (STA, CHAN, NGROUP, CHANINDEX, EDEPH, LAT, LON, SPS, HANG, VANG, "
                      "DESCR, CALIBFILE, LCODE, LDDATE) VALUES ";
    for (int g = 0; g < 4; ++g)
        for (int c = 0; c < 3; ++c)
            sql += std::string(g + c > 0 ? ", " : "") + "(" + SqlQuote(code) + ", " +
                   SqlQuote(std::string(kBands[g]) + kComponents[c]) + ", " + std::to_string(g + 1) + ", " +
                   std::to_string(c) + ", 0.0, 55.75, 37.62, 20.0, 0.0, 90.0, 'STS-2', 'STS-2.resp', '00', "
                   "'2024-01-01 00:00:00')";
    return sql;
}

}  // namespace

void FillStations(CDatabase& session, const std::string& backend, int stations, bool withChannels) {
    const Dialect& d = DialectOf(backend);
    session.ExecuteDirect("DELETE FROM SITECHAN");
    session.ExecuteDirect("DELETE FROM SITE");
    session.ExecuteDirect(NamedSite(kStartStation, 1));
    session.ExecuteDirect(NamedSite(kKeystrokeStation, 2));
    session.ExecuteDirect(NamedSite(kTypedStation, 3));
    for (const char* code : {kStartStation, kKeystrokeStation, kTypedStation}) session.ExecuteDirect(ChannelRows(code));
    session.ExecuteDirect("INSERT INTO SITE (" + std::string(kSiteColumns) + ") SELECT " + d.code + ", " + d.code +
                          ", 4, 150.5, 55.75, 37.62, " + d.descr + ", '2024-01-01 00:00:00', n + 4, " + d.code +
                          ", 'BB', 'суглинок', '1990-01-01 00:00:00' FROM " + Numbers(stations - 3));
    if (!withChannels) return;
    // Z, N and E of one short-period group, oriented as their letters say.
    static constexpr const char* kComponents[][4] = {{"SHZ", "0", "0.0", "0.0"}, {"SHN", "1", "0.0", "90.0"},
                                                     {"SHE", "2", "90.0", "90.0"}};
    for (const auto& [chan, index, hang, vang] : kComponents)
        session.ExecuteDirect(std::string("INSERT INTO SITECHAN (STA, CHAN, NGROUP, CHANINDEX, EDEPH, LAT, LON, SPS, "
                                          "HANG, VANG, DESCR, CALIBFILE, LCODE, LDDATE) SELECT STA, '") +
                              chan + "', 1, " + index + ", 0.0, LAT, LON, 40.0, " + hang + ", " + vang +
                              ", 'СМ-3', '', '', '2024-01-01 00:00:00' FROM SITE WHERE STA LIKE 'B%'");
}

void FillJournal(CDatabase& session, const std::string& code, int entries) {
    if (!EnsureJournalTable(session).available) throw std::runtime_error("no journal table");
    session.ExecuteDirect("delete from STATION_JOURNAL where STA=" + SqlQuote(code));
    ExactStation station = ReadExactStation(session, code);
    if (!station.site) throw std::runtime_error("no station " + code + " to journal");
    const std::size_t lat = SiteColumnIndex("LAT");
    const auto encoded = [&](int i) {
        (*station.site)[lat] = 40.0 + 0.001 * i;
        return SqlQuote(EncodeStation(station));
    };
    constexpr int kRowsPerInsert = 100;
    for (int first = 0; first < entries; first += kRowsPerInsert) {
        std::string sql =
            "insert into STATION_JOURNAL (CHANGED_AT,DB_USER,OS_USER,HOST_NAME,PROGRAM,PROGRAM_VERSION,OPERATION,STA,"
            "REASON,BEFORE_ROWS,AFTER_ROWS) values ";
        for (int i = first; i < std::min(entries, first + kRowsPerInsert); ++i) {
            char at[32];
            std::snprintf(at, sizeof at, "2026-01-01 %02d:%02d:%02d.000000", i / 3600 % 24, i / 60 % 60, i % 60);
            sql += (i == first ? "(" : ",(") + SqlQuote(at) + ",'bench','bench','bench','station-bench','1','update'," +
                   SqlQuote(code) + ",NULL," + encoded(i) + "," + encoded(i + 1) + ")";
        }
        session.ExecuteDirect(sql);
    }
}

void WriteImportFile(const std::string& path, int stations) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<FDSNStationXML xmlns=\"http://www.fdsn.org/xml/station/1\" schemaVersion=\"1.2\">"
           "<Source>station-bench</Source><Created>2024-05-01T00:00:00Z</Created>\n"
           "<Network code=\"XX\" startDate=\"2000-01-01T00:00:00Z\">\n";
    struct Component {
        char letter;
        const char *azimuth, *dip;
    };
    constexpr Component kComponents[] = {{'Z', "0", "-90"}, {'N', "0", "0"}, {'E', "90", "0"}};
    for (int i = 0; i < stations; ++i) {
        char code[16];
        std::snprintf(code, sizeof code, "I%05d", i);
        out << "<Station code=\"" << code << "\" startDate=\"2000-01-01T00:00:00Z\"><Latitude>" << 40 + i % 40
            << ".25</Latitude><Longitude>" << 30 + i % 100 << ".5</Longitude><Elevation>150</Elevation><Site><Name>Site "
            << code << "</Name></Site>\n";
        for (const Component& c : kComponents)
            out << "<Channel code=\"BH" << c.letter
                << "\" locationCode=\"00\" startDate=\"2000-01-01T00:00:00Z\"><Latitude>55.1</Latitude>"
                   "<Longitude>37.9</Longitude><Elevation>150</Elevation><Depth>0</Depth><Azimuth>"
                << c.azimuth << "</Azimuth><Dip>" << c.dip
                << "</Dip><SampleRate>20</SampleRate><Sensor><Description>STS-2</Description></Sensor>"
                   "<Response><InstrumentSensitivity><Value>1</Value><Frequency>1</Frequency><InputUnits><Name>M/S"
                   "</Name></InputUnits><OutputUnits><Name>COUNTS</Name></OutputUnits></InstrumentSensitivity>"
                   "</Response></Channel>\n";
        out << "</Station>\n";
    }
    out << "</Network></FDSNStationXML>\n";
    out.close();
    if (!out) throw std::runtime_error("cannot write " + path);
}
