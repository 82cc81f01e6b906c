#include "tools/value_text.h"

#include <charconv>
#include <cstdio>
#include <ctime>
#include <optional>

std::string NumberText(double value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::optional<std::string> UtcText(const WallClock& s) {
    const std::optional<std::time_t> instant = LocalInstant(s);
    std::tm utc{};
    if (!instant || !gmtime_r(&*instant, &utc)) return std::nullopt;
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02dZ", utc.tm_year + 1900, utc.tm_mon + 1,
                  utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec);
    return text;
}
