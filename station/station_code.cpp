#include "station/station_code.h"

#include <cstdio>

#include "text/text.h"

namespace {

// Decodes the UTF-8 code point at `i` and advances past it; nullopt for a
// malformed sequence.
std::optional<char32_t> NextCodePoint(std::string_view s, std::size_t& i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char lead = byte(i++);
    if (lead < 0x80) return lead;
    const std::size_t extra = lead >= 0xF8 ? 0 : lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
    if (extra == 0 || i + extra > s.size()) return std::nullopt;
    char32_t cp = lead & (0x3Fu >> extra);
    for (std::size_t k = 0; k < extra; ++k, ++i) {
        if ((byte(i) & 0xC0) != 0x80) return std::nullopt;
        cp = (cp << 6) | (byte(i) & 0x3Fu);
    }
    return cp;
}

bool IsControl(char32_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

// Space separators of Unicode, the byte-order mark and the zero-width space.
bool IsBlank(char32_t c) {
    return c == 0x20 || c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200B) || c == 0x2028 || c == 0x2029 ||
           c == 0x202F || c == 0x205F || c == 0x3000 || c == 0xFEFF;
}

// The code as a message shows it: control characters as \xNN.
std::string Shown(std::string_view code) {
    std::string shown;
    for (const char c : code) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            shown += escaped;
        } else {
            shown += c;
        }
    }
    return "'" + shown + "'";
}

}  // namespace

std::optional<std::string> CheckedStationCode(std::string_view typed, std::string& problem) {
    if (typed.empty()) {
        problem = "код станции пуст";
        return std::nullopt;
    }
    for (std::size_t i = 0; i < typed.size();) {
        const std::optional<char32_t> c = NextCodePoint(typed, i);
        const char* fault = !c               ? "байты не в UTF-8"
                            : IsBlank(*c)    ? "пробел"
                            : IsControl(*c)  ? "управляющий символ"
                                             : nullptr;
        if (fault) {
            problem = "код станции " + Shown(typed) + " содержит " + fault;
            return std::nullopt;
        }
    }
    if (text::CharCount(typed) > kStationCodeChars) {
        problem = "код станции " + Shown(typed) + " длиннее " + std::to_string(kStationCodeChars) +
                  " символов (столбец STA)";
        return std::nullopt;
    }
    return text::ToUpper(typed);
}
