#include "tools/value_text.h"

#include <charconv>
#include <cstdio>
#include <ctime>
#include <optional>

#include "station/value_rules.h"

std::string NumberText(double value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::optional<std::string> UtcText(const WallClock& s) {
    if (!IsCalendarTime(s.year, s.month, s.day, s.hour, s.minute, s.second)) return std::nullopt;
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02dZ", s.year, s.month, s.day, s.hour, s.minute,
                  s.second);
    return text;
}

std::optional<std::time_t> UtcInstant(const WallClock& s) {
    if (!IsCalendarTime(s.year, s.month, s.day, s.hour, s.minute, s.second)) return std::nullopt;
    std::tm tm{};
    tm.tm_year = s.year - 1900;
    tm.tm_mon = s.month - 1;
    tm.tm_mday = s.day;
    tm.tm_hour = s.hour;
    tm.tm_min = s.minute;
    tm.tm_sec = s.second;
    return timegm(&tm);
}
