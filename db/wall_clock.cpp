#include "db/wall_clock.h"

#include <array>
#include <cstdio>

WallClock LocalWallClock(std::time_t instant) {
    std::tm tm{};
    localtime_r(&instant, &tm);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

WallClock UtcWallClock(std::time_t instant) {
    std::tm tm{};
    gmtime_r(&instant, &tm);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

std::string WallClockText(const WallClock& s) {
    // Six parts of at most eleven characters each cannot overrun 80 bytes.
    std::array<char, 80> text{};
    const int n = std::snprintf(text.data(), text.size(), "%04d-%02d-%02d %02d:%02d:%02d", s.year, s.month, s.day,
                                s.hour, s.minute, s.second);
    return n < 0 ? std::string() : std::string(text.data());
}
