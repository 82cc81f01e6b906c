#include "station/catalogue_rows.h"

#include <charconv>

namespace catalogue {

std::string ShortestText(double value) {
    char buffer[32];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
    return std::string(buffer, end);
}

std::optional<WallClock> ParseWallClockText(std::string_view text) {
    // Digits, then the separator that must follow them, part by part.
    WallClock stamp;
    int* const parts[] = {&stamp.year, &stamp.month, &stamp.day, &stamp.hour, &stamp.minute, &stamp.second};
    constexpr char kAfter[] = {'-', '-', ' ', ':', ':', '\0'};
    const char* at = text.data();
    const char* const end = text.data() + text.size();
    for (std::size_t i = 0; i < std::size(parts); ++i) {
        const auto [next, error] = std::from_chars(at, end, *parts[i]);
        if (error != std::errc{} || next == at) return std::nullopt;
        at = next;
        if (kAfter[i] == '\0') break;
        if (at == end || *at != kAfter[i]) return std::nullopt;
        ++at;
    }
    if (at != end) return std::nullopt;
    return stamp;
}

}  // namespace catalogue
