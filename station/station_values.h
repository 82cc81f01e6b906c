#pragma once
// A station to write, as plain values: what the form, or an import, hands
// to the station store.

#include <optional>
#include <string>
#include <vector>

// One SITECHAN row to write, keyed by the station, CHAN, NGROUP and CHANINDEX.
struct ChannelValues {
    std::string chan;
    int group = 1;      // NGROUP, 1 to 7
    int component = 0;  // CHANINDEX: 0 Z, 1 N, 2 E
    double sps = 0.0;
    std::string calibFile;   // CALIBFILE; empty is stored as NULL
    std::string locCode;     // LCODE
    std::string sensorType;  // DESCR
    // HANG, VANG, EDEPH, LAT, LON: written when given (an import); the form
    // leaves them unset, and then an insert starts HANG and VANG with the
    // orientation of the component and an update keeps what the row has.
    std::optional<double> hang = std::nullopt, vang = std::nullopt, edeph = std::nullopt, lat = std::nullopt,
                          lon = std::nullopt;
};

// The SITE row and the channel rows of one station.
struct StationValues {
    std::string code;  // STA
    int nindex = 0;    // 0 asks for one above the largest NINDEX
    int ngroups = 0;
    // LAT, LON, ELEV, DEAST, DNORTH: nullopt (a value an import's file does
    // not give) leaves the column as stored by an update and NULL by an
    // insert; the form gives every one.
    std::optional<double> lat = 0.0, lon = 0.0, elev = 0.0;
    std::string descr, staname, cod, refsta, underground;
    std::optional<double> deast = 0.0, dnorth = 0.0;
    // Normalised date texts ("YYYY-MM-DD hh:mm:ss"). nullopt leaves the
    // column as stored by an update and unnamed by an insert. A closing date
    // is written by an insert as offDate and by an update as offDateOnUpdate.
    std::optional<std::string> onDate, offDate, offDateOnUpdate;
    // When set, an update writes a date left nullopt as NULL instead of
    // leaving it: an import's station has no closing date when its epoch has
    // none, whatever was stored.
    bool datesAsGiven = false;
    // The rows to insert or update, in writing order.
    std::vector<ChannelValues> channels;
    // Other rows of the station in groups 1 to staleGroups, components Z, N
    // and E, whose name is not among `channels` or `keptChannels`, are deleted.
    int staleGroups = 0;
    std::vector<std::string> keptChannels;
};
