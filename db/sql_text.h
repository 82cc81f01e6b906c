#pragma once
// Building SQL text: the one quoting helper for text literals.

#include <string>
#include <string_view>

// The text as a single-quoted SQL literal, each single quote doubled:
// O'Brien becomes 'O''Brien'. A backslash stays as it is: a session whose
// server reads it as an escape doubles it when it sends the statement.
std::string SqlQuote(std::string_view text);
