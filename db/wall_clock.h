#pragma once
// A stored date and time as its wall-clock parts.

#include <compare>
#include <ctime>
#include <string>

// A date and time as the database stores it (years 1 to 9999), fractions of
// a second dropped. No time zone is applied: what is read is what is shown
// and what is written back.
struct WallClock {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    auto operator<=>(const WallClock&) const = default;
};

// The local wall-clock time of an instant.
WallClock LocalWallClock(std::time_t instant);
// The UTC wall-clock time of an instant, whatever the process's time zone.
WallClock UtcWallClock(std::time_t instant);

// "YYYY-MM-DD hh:mm:ss", the form's and the statements' date-time text.
std::string WallClockText(const WallClock& stamp);
