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

std::string SampleRateText(double samplesPerSecond) {
    const bool whole = samplesPerSecond - std::ceil(samplesPerSecond) == 0.0;
    return FixedText(samplesPerSecond, whole ? 0 : 4);
}
