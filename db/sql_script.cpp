#include "db/sql_script.h"

namespace {

std::string Trimmed(const std::string& text) {
    const char* blanks = " \t\r\n";
    const auto first = text.find_first_not_of(blanks);
    if (first == std::string::npos) return {};
    const auto last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

}  // namespace

std::vector<std::string> SplitSqlStatements(const std::string& script) {
    std::vector<std::string> statements;
    std::string current;
    bool inLiteral = false;
    const auto finish = [&] {
        std::string statement = Trimmed(current);
        if (!statement.empty()) statements.push_back(std::move(statement));
        current.clear();
    };
    for (std::size_t i = 0; i < script.size(); ++i) {
        const char c = script[i];
        if (inLiteral) {
            // A doubled quote inside a literal is an escaped quote and simply
            // toggles twice, which leaves the state as it was.
            current += c;
            if (c == '\'') inLiteral = false;
            continue;
        }
        if (c == '\'') {
            inLiteral = true;
            current += c;
        } else if (c == '-' && i + 1 < script.size() && script[i + 1] == '-') {
            const auto end = script.find('\n', i);
            if (end == std::string::npos) break;
            i = end;  // the line feed itself is dropped with the comment
            current += '\n';
        } else if (c == ';') {
            finish();
        } else {
            current += c;
        }
    }
    finish();
    return statements;
}
