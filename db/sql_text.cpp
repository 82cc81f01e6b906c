#include "db/sql_text.h"

std::string SqlQuote(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    out.push_back('\'');
    for (char c : text) {
        if (c == '\'') out.push_back(c);
        out.push_back(c);
    }
    out.push_back('\'');
    return out;
}
