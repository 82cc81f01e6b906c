#include "station/number_text.h"

#include <charconv>
#include <cmath>
#include <system_error>

std::string FixedText(double value, int decimals) {
    // A double printed in fixed notation has at most 309 integer digits.
    std::string out(330 + static_cast<size_t>(decimals), '\0');
    auto [end, ec] = std::to_chars(out.data(), out.data() + out.size(), value, std::chars_format::fixed,
                                   decimals);
    if (ec != std::errc()) return "0";
    out.resize(static_cast<size_t>(end - out.data()));
    return out;
}

double LeadingNumber(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // from_chars takes no sign of its own here, so "+-1" and "--1" read as 0
    // just as atof reads them.
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) return 0.0;
    double value = 0.0;
    auto [ptr, ec] = std::from_chars(text.data() + i, text.data() + text.size(), value, std::chars_format::general);
    if (ec == std::errc::result_out_of_range) {
        value = HUGE_VAL;  // atof's overflow answer; underflow is rare enough to read as 0 below
        bool tiny = false;
        for (const char* p = text.data() + i; p < ptr; ++p) {
            if (*p == 'e' || *p == 'E') {
                tiny = p + 1 < ptr && p[1] == '-';
                break;
            }
        }
        if (tiny) value = 0.0;
    } else if (ec != std::errc()) {
        return 0.0;
    }
    return negative ? -value : value;
}

std::string SampleRateText(double samplesPerSecond) {
    const bool whole = samplesPerSecond - std::ceil(samplesPerSecond) == 0.0;
    return FixedText(samplesPerSecond, whole ? 0 : 4);
}
