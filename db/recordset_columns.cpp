// Reading one text column of a record set's whole result in blocks of rows,
// for lists that need a single column of many rows.

#include <algorithm>
#include <vector>

#include "db/odbc_handle.h"
#include "db/recordset.h"
#include "db/statement.h"

namespace {

// Rows fetched per call; large enough that per-call costs vanish, small
// enough that the buffers stay modest for long columns.
constexpr SQLULEN kBlockRows = 1024;
// Bytes a character can take in UTF-8.
constexpr SQLULEN kBytesPerChar = 4;
// The described size is trusted up to this many characters for the first
// buffers; a longer text widens them.
constexpr SQLULEN kFirstWidthChars = 1024;

}  // namespace

std::vector<std::string> CRecordset::ReadTextColumn(std::size_t fieldIndex) {
    Close();
    if (session_ == nullptr || !session_->IsOpen()) throw CDBException::Layer(LayerError::NoStatementHandle);
    selectText_ = ComposeSelectText();
    Statement stmt(*session_);
    auto check = [&](SQLRETURN r) { stmt.Check(r); };
    // The same cursor Open asks for.
    const Statement::Setup cursor = [](Statement& s) {
        s.Check(SQLSetStmtAttr(s.get(), SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(SQL_CURSOR_STATIC), 0));
        s.Check(SQLSetStmtAttr(s.get(), SQL_ATTR_CONCURRENCY, reinterpret_cast<SQLPOINTER>(SQL_CONCUR_READ_ONLY), 0));
    };
    stmt.Execute(selectText_, cursor);

    const auto column = static_cast<SQLUSMALLINT>(fieldIndex + 1);
    SQLSMALLINT dataType = 0, decimals = 0, nullable = 0;
    SQLULEN size = 0;
    check(SQLDescribeCol(stmt.get(), column, nullptr, 0, nullptr, &dataType, &size, &decimals, &nullable));
    SQLULEN width = std::clamp<SQLULEN>(size, 1, kFirstWidthChars) * kBytesPerChar + 1;

    SQLULEN fetched = 0;
    std::vector<SQLUSMALLINT> status(kBlockRows);
    check(SQLSetStmtAttr(stmt.get(), SQL_ATTR_ROW_BIND_TYPE, reinterpret_cast<SQLPOINTER>(SQL_BIND_BY_COLUMN), 0));
    check(SQLSetStmtAttr(stmt.get(), SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(kBlockRows), 0));
    check(SQLSetStmtAttr(stmt.get(), SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0));
    check(SQLSetStmtAttr(stmt.get(), SQL_ATTR_ROW_STATUS_PTR, status.data(), 0));
    for (;;) {
        std::vector<char> buffer(kBlockRows * width);
        std::vector<SQLLEN> indicator(kBlockRows);
        check(SQLBindCol(stmt.get(), column, SQL_C_CHAR, buffer.data(), static_cast<SQLLEN>(width), indicator.data()));
        std::vector<std::string> texts;
        SQLULEN needed = 0;  // bytes a cut text needs, 0 while none was cut
        for (;;) {
            if (stmt.Fetch() == SQL_NO_DATA) break;
            for (SQLULEN row = 0; row < fetched; ++row) {
                if (status[row] == SQL_ROW_ERROR) throw CDBException::Layer(LayerError::RowError);
                const SQLLEN length = indicator[row];
                if (length == SQL_NULL_DATA) {
                    texts.emplace_back();
                } else if (length == SQL_NO_TOTAL || length < 0 || static_cast<SQLULEN>(length) >= width) {
                    needed = std::max(needed, length >= 0 ? static_cast<SQLULEN>(length) + 1 : width * 2);
                } else {
                    texts.emplace_back(buffer.data() + row * width, static_cast<std::size_t>(length));
                }
            }
        }
        if (needed == 0) return texts;
        // A text longer than its column's described size (SQLite does not
        // enforce declared lengths): read again with buffers that hold it.
        width = needed;
        stmt.CloseCursor();
        stmt.Execute(selectText_, cursor);
    }
}
