#include "db/sql_text.h"

#include <atomic>

namespace {
// The number of BackslashQuoting objects alive.
std::atomic<int> backslashSessions{0};
}  // namespace

BackslashQuoting::BackslashQuoting() { ++backslashSessions; }
BackslashQuoting::~BackslashQuoting() { --backslashSessions; }

std::string SqlQuote(std::string_view text) {
    const bool doubleBackslashes = backslashSessions.load() > 0;
    std::string out;
    out.reserve(text.size() + 2);
    out.push_back('\'');
    for (char c : text) {
        if (c == '\'' || (c == '\\' && doubleBackslashes)) out.push_back(c);
        out.push_back(c);
    }
    out.push_back('\'');
    return out;
}
