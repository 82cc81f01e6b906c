#pragma once
// Building SQL text: the one quoting helper for text literals.

#include <string>
#include <string_view>

// The text as a single-quoted SQL literal, each single quote doubled:
// O'Brien becomes 'O''Brien'.
std::string SqlQuote(std::string_view text);
