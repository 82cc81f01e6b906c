#include "form/field_syntax.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>
#include <system_error>

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The text without its leading and trailing blanks and tabs.
std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

// Length of the run of digits at the start of the text.
std::size_t DigitRun(std::string_view text) {
    std::size_t n = 0;
    while (n < text.size() && IsDigit(text[n])) ++n;
    return n;
}

// Whether the text is exactly one decimal floating-point number: sign,
// digits with an optional point (at least one digit), optional exponent.
bool IsDecimalNumber(std::string_view s) {
    std::size_t pos = 0;
    if (pos < s.size() && (s[pos] == '+' || s[pos] == '-')) ++pos;
    const std::size_t whole = DigitRun(s.substr(pos));
    pos += whole;
    std::size_t fraction = 0;
    if (pos < s.size() && s[pos] == '.') {
        ++pos;
        fraction = DigitRun(s.substr(pos));
        pos += fraction;
    }
    if (whole + fraction == 0) return false;
    if (pos < s.size() && (s[pos] == 'e' || s[pos] == 'E')) {
        ++pos;
        if (pos < s.size() && (s[pos] == '+' || s[pos] == '-')) ++pos;
        const std::size_t exponent = DigitRun(s.substr(pos));
        if (exponent == 0) return false;
        pos += exponent;
    }
    return pos == s.size();
}

}  // namespace

std::string FloatFieldText(double value) {
    // A stored negative zero shows as 0: "-0" would not pass the read-back.
    if (value == 0.0) return "0";
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 6);
    return std::string(buffer, result.ptr);
}

std::optional<int> ReadIntegerField(std::string_view text) {
    const std::string_view s = Trimmed(text);
    std::size_t pos = 0;
    bool negative = false;
    if (pos < s.size() && (s[pos] == '+' || s[pos] == '-')) negative = s[pos++] == '-';
    const std::string_view digits = s.substr(pos);
    if (digits.empty() || DigitRun(digits) != digits.size()) return std::nullopt;
    long long value = 0;
    for (char c : digits) {
        value = value * 10 + (c - '0');
        if (value > static_cast<long long>(std::numeric_limits<int>::max()) + 1) return std::nullopt;
    }
    if (negative) value = -value;
    if (value > std::numeric_limits<int>::max() || value < std::numeric_limits<int>::min()) return std::nullopt;
    if (value == 0 && s.front() != '0') return std::nullopt;
    return static_cast<int>(value);
}

std::optional<double> ReadFloatField(std::string_view text) {
    // A decimal comma, as a Russian keyboard types it, is a decimal point.
    std::string pointed(Trimmed(text));
    if (const std::size_t comma = pointed.find(','); comma != std::string::npos && pointed.find('.') == std::string::npos)
        pointed[comma] = '.';
    const std::string_view s = pointed;
    if (!IsDecimalNumber(s)) return std::nullopt;
    // from_chars takes no leading '+'.
    const std::string_view unsigned_part = s.front() == '+' ? s.substr(1) : s;
    double value = 0.0;
    const auto result = std::from_chars(unsigned_part.data(), unsigned_part.data() + unsigned_part.size(), value);
    // A value beyond what a double holds, either way, is refused.
    if (result.ec != std::errc() || result.ptr != unsigned_part.data() + unsigned_part.size()) return std::nullopt;
    if (value == 0.0 && s.front() != '0') return std::nullopt;
    if (std::fabs(value) > static_cast<double>(std::numeric_limits<float>::max())) return std::nullopt;
    return value;
}

double NumberTextValue(std::string_view text) { return ReadFloatField(text).value_or(0.0); }
