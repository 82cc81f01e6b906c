#include "text/text.h"

#include <cstdint>
#include <vector>

namespace text {
namespace {

// Decodes one code point at `i`, advancing it; malformed bytes pass as themselves.
char32_t Decode(std::string_view s, size_t& i) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    size_t extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    if (extra == 0 || i + extra >= s.size()) {
        ++i;
        return c;
    }
    char32_t cp = c & (0x3Fu >> extra);
    for (size_t k = 1; k <= extra; ++k) {
        unsigned char cc = static_cast<unsigned char>(s[i + k]);
        if ((cc & 0xC0) != 0x80) {
            ++i;
            return c;
        }
        cp = (cp << 6) | (cc & 0x3Fu);
    }
    i += extra + 1;
    return cp;
}

void Encode(char32_t cp, std::string& out) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

char32_t UpperOf(char32_t c) {
    if (c >= U'a' && c <= U'z') return c - 32;
    if ((c >= 0xE0 && c <= 0xFE && c != 0xF7)) return c - 32;  // Latin-1
    if (c == 0xFF) return 0x178;
    if (c >= 0x100 && c <= 0x17F && c != 0x130 && c != 0x131 && c != 0x138 && c != 0x149) {
        // Latin Extended-A alternates capital/small, with two runs offset by one.
        bool oddRun = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        if (oddRun ? (c % 2 == 0) : (c % 2 == 1)) return c - 1;
        return c;
    }
    if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) return c - 32;  // Greek
    if (c >= 0x430 && c <= 0x44F) return c - 32;               // Cyrillic а..я
    if (c >= 0x450 && c <= 0x45F) return c - 80;               // ѐ..џ (ё)
    if (c >= 0x460 && c <= 0x4FF && (c % 2 == 1) && !(c >= 0x482 && c <= 0x489)) return c - 1;
    return c;
}

char32_t LowerOf(char32_t c) {
    if (c >= U'A' && c <= U'Z') return c + 32;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;
    if (c == 0x178) return 0xFF;
    if (c >= 0x100 && c <= 0x17F && c != 0x130 && c != 0x131 && c != 0x138 && c != 0x149) {
        bool oddRun = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        if (oddRun ? (c % 2 == 1) : (c % 2 == 0)) return c + 1;
        return c;
    }
    if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) return c + 32;
    if (c >= 0x410 && c <= 0x42F) return c + 32;
    if (c >= 0x400 && c <= 0x40F) return c + 80;
    if (c >= 0x460 && c <= 0x4FF && (c % 2 == 0) && !(c >= 0x482 && c <= 0x489)) return c + 1;
    return c;
}

template <typename Map>
std::string MapText(std::string_view s, Map map) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) Encode(map(Decode(s, i)), out);
    return out;
}

std::vector<char32_t> Folded(std::string_view s) {
    std::vector<char32_t> out;
    for (size_t i = 0; i < s.size();) out.push_back(UpperOf(Decode(s, i)));
    return out;
}

}  // namespace

size_t CharCount(std::string_view s) {
    size_t n = 0;
    for (size_t i = 0; i < s.size();) {
        Decode(s, i);
        ++n;
    }
    return n;
}

std::string Left(std::string_view s, size_t characters) {
    size_t i = 0;
    for (size_t n = 0; n < characters && i < s.size(); ++n) Decode(s, i);
    return std::string(s.substr(0, i));
}

std::string ToUpper(std::string_view s) { return MapText(s, UpperOf); }
std::string ToLower(std::string_view s) { return MapText(s, LowerOf); }

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
    std::vector<char32_t> a = Folded(s), b = Folded(prefix);
    if (b.size() > a.size()) return false;
    for (size_t k = 0; k < b.size(); ++k)
        if (a[k] != b[k]) return false;
    return true;
}

int CompareNoCase(std::string_view x, std::string_view y) {
    std::vector<char32_t> a = Folded(x), b = Folded(y);
    for (size_t k = 0; k < a.size() && k < b.size(); ++k)
        if (a[k] != b[k]) return a[k] < b[k] ? -1 : 1;
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

}  // namespace text
