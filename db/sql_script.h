#pragma once
// Splitting a file of SQL statements into the single statements it holds.

#include <string>
#include <vector>

// The statements of a script, each without its terminating ';' and trimmed of
// surrounding white space. A ';' inside a single-quoted literal does not end a
// statement; "--" starts a comment up to the line end outside literals. Empty
// statements are dropped. Text after the last ';' counts as a statement too.
std::vector<std::string> SplitSqlStatements(const std::string& script);
