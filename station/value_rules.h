#pragma once
// The values the catalogue can mean: one table of ranges and the date rules,
// judged alike by the form's save, the import and station-check.

#include <optional>
#include <string>

#include "db/wall_clock.h"

// A quantity of the catalogue, as the file gives it or as it is stored.
enum class Quantity {
    Latitude,    // LAT of a station or a channel, degrees
    Longitude,   // LON, degrees
    Elevation,   // ELEV, metres above sea level
    Depth,       // EDEPH, metres below the surface
    Azimuth,     // a file's azimuth, degrees from north
    Hang,        // HANG as stored: an azimuth, or -1 "not applicable" on a vertical
    Dip,         // a file's dip, degrees below the horizontal
    Vang,        // VANG as stored: dip + 90
    SampleRate,  // SPS, samples per second
};

// A quantity's closed range and its name in messages (Russian).
struct ValueRange {
    Quantity quantity;
    const char* name;
    double low, high;
};
const ValueRange& RangeOf(Quantity quantity);

// nullopt when the value is finite and within its quantity's range; else
// the reason (Russian), naming the quantity and the value.
std::optional<std::string> ValueProblem(Quantity quantity, double value);

// The largest offset from UTC a time may name, in minutes (+-14:00).
inline constexpr int kMaxUtcOffsetMinutes = 14 * 60;

// Whether the date exists in the (proleptic Gregorian) calendar, in years 1
// to 9999, and the time of day lies within 00:00:00..23:59:59.
bool IsCalendarTime(int year, int month, int day, int hour, int minute, int second);

// nullopt when the stored date is a calendar time (above); else the reason
// (Russian), naming `column`.
std::optional<std::string> DateProblem(const char* column, const WallClock& stamp);

// nullopt unless both dates are given and the closing one is before the
// opening one; else the reason (Russian).
std::optional<std::string> DateOrderProblem(const std::optional<WallClock>& onDate,
                                            const std::optional<WallClock>& offDate);
