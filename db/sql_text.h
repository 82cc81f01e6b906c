#pragma once
// Building SQL text: the one quoting helper for text literals.

#include <string>
#include <string_view>

// The text as a single-quoted SQL literal, each single quote doubled:
// O'Brien becomes 'O''Brien'. While a BackslashQuoting lives, each backslash
// is doubled too.
std::string SqlQuote(std::string_view text);

// Held by a session whose server reads a backslash inside a literal as an
// escape (a MySQL-kind server that would not take NO_BACKSLASH_ESCAPES): while
// one lives, SqlQuote doubles backslashes, so literals still read back as typed.
class BackslashQuoting {
public:
    BackslashQuoting();
    ~BackslashQuoting();
    BackslashQuoting(const BackslashQuoting&) = delete;
    BackslashQuoting& operator=(const BackslashQuoting&) = delete;
};
