#include "db/result.h"

#include <algorithm>

#include "db/connection.h"
#include "db/odbc_handle.h"

namespace {

// A text column is read in pieces of this many bytes, as long as it is.
constexpr std::size_t kTextPieceBytes = 1024;

SQLUSMALLINT ColumnNumber(int column) { return static_cast<SQLUSMALLINT>(column); }

}  // namespace

void Result::Check(SQLRETURN rc) const {
    if (!OdbcOk(rc)) throw MakeDbException(rc, session_->ConnectionHandle(), stmt_);
}

long long Result::AffectedRows() const {
    SQLLEN rows = -1;
    if (!OdbcOk(SQLRowCount(stmt_, &rows))) return -1;
    return static_cast<long long>(rows);
}

int Result::ColumnCount() const {
    SQLSMALLINT columns = 0;
    Check(SQLNumResultCols(stmt_, &columns));
    return columns;
}

DescribedColumn Result::Describe(int column) const {
    DescribedColumn d;
    SQLCHAR name[128] = {};
    SQLSMALLINT nameLength = 0, nullable = 0;
    Check(SQLDescribeCol(stmt_, ColumnNumber(column), name, sizeof name, &nameLength, &d.dataType,
                               &d.size, &d.decimals, &nullable));
    SQLCHAR typeName[128] = {};
    SQLSMALLINT typeNameLength = 0;
    Check(SQLColAttribute(stmt_, ColumnNumber(column), SQL_DESC_TYPE_NAME, typeName, sizeof typeName,
                                &typeNameLength, nullptr));
    d.typeName = reinterpret_cast<const char*>(typeName);
    SQLLEN isUnsigned = SQL_FALSE;
    Check(SQLColAttribute(stmt_, ColumnNumber(column), SQL_DESC_UNSIGNED, nullptr, 0, nullptr,
                                &isUnsigned));
    d.isUnsigned = isUnsigned != SQL_FALSE;
    return d;
}

bool Result::Next() {
    lastFetch_ = RetryWhileExecuting([&] { return SQLFetch(stmt_); });
    if (lastFetch_ == SQL_NO_DATA) return false;
    Check(lastFetch_);
    return true;
}

std::optional<CDBException> Result::FetchWarnings() const {
    if (lastFetch_ != SQL_SUCCESS_WITH_INFO) return std::nullopt;
    return MakeDbException(lastFetch_, session_->ConnectionHandle(), stmt_);
}

bool Result::NextResult() {
    const SQLRETURN rc = RetryWhileExecuting([&] { return SQLMoreResults(stmt_); });
    if (rc == SQL_NO_DATA) return false;
    Check(rc);
    return true;
}

void Result::Discard() {
    for (;;) {
        SQLSMALLINT columns = 0;
        if (OdbcOk(SQLNumResultCols(stmt_, &columns)) && columns > 0) {
            while (OdbcOk(RetryWhileExecuting([&] { return SQLFetch(stmt_); }))) {
            }
        }
        if (!OdbcOk(RetryWhileExecuting([&] { return SQLMoreResults(stmt_); }))) break;
    }
}

std::optional<std::string> Result::Text(int column) {
    std::string text;
    std::vector<char> piece(kTextPieceBytes + 1);
    for (;;) {
        SQLLEN indicator = 0;
        const SQLRETURN rc = RetryWhileExecuting([&] {
            return SQLGetData(stmt_, ColumnNumber(column), SQL_C_CHAR, piece.data(),
                              static_cast<SQLLEN>(piece.size()), &indicator);
        });
        if (rc == SQL_NO_DATA) break;  // the previous piece was the last
        Check(rc);
        if (indicator == SQL_NULL_DATA) return std::nullopt;
        // A full piece (more follows) holds its size less the terminating
        // zero; the last one holds what the indicator says.
        const bool more = indicator == SQL_NO_TOTAL || indicator >= static_cast<SQLLEN>(piece.size());
        const std::size_t got = more ? piece.size() - 1 : static_cast<std::size_t>(indicator);
        text.append(piece.data(), got);
        if (!more) break;
    }
    return text;
}

bool Result::Fixed(int column, SQLSMALLINT cType, void* value, SQLLEN size) {
    SQLLEN indicator = 0;
    const SQLRETURN rc =
        RetryWhileExecuting([&] { return SQLGetData(stmt_, ColumnNumber(column), cType, value, size, &indicator); });
    Check(rc);
    if (rc == SQL_SUCCESS_WITH_INFO &&
        MakeDbException(rc, session_->ConnectionHandle(), stmt_).HasState("01004"))
        throw CDBException::Layer(LayerError::DataTruncated);
    return indicator != SQL_NULL_DATA;
}

std::optional<long long> Result::Int64(int column) {
    SQLBIGINT value = 0;
    if (!Fixed(column, SQL_C_SBIGINT, &value, sizeof value)) return std::nullopt;
    return static_cast<long long>(value);
}

std::optional<int> Result::Int32(int column) {
    SQLINTEGER value = 0;
    if (!Fixed(column, SQL_C_SLONG, &value, sizeof value)) return std::nullopt;
    return static_cast<int>(value);
}

std::optional<double> Result::Number(int column) {
    double value = 0;
    if (!Fixed(column, SQL_C_DOUBLE, &value, sizeof value)) return std::nullopt;
    return value;
}

std::optional<WallClock> Result::DateTime(int column) {
    SQL_TIMESTAMP_STRUCT stamp{};
    if (!Fixed(column, SQL_C_TYPE_TIMESTAMP, &stamp, sizeof stamp)) return std::nullopt;
    // Every year the columns hold (1 to 9999) reads as stored.
    return WallClock{stamp.year, stamp.month, stamp.day, stamp.hour, stamp.minute, stamp.second};
}

ColumnTexts Result::TextsInBlocks(int column, std::size_t width, std::size_t blockRows) {
    ColumnTexts out;
    out.needed = RowsInBlocks({FieldKind::Text}, {width}, blockRows,
                              [&](const RowBlock& block) {
                                  for (std::size_t row = 0; row < block.Rows(); ++row)
                                      out.texts.emplace_back(block.Text(row, 0).value_or(std::string_view()));
                              },
                              column)
                     .front();
    return out;
}

std::vector<std::size_t> Result::RowsInBlocks(const std::vector<FieldKind>& kinds,
                                              const std::vector<std::size_t>& widths, std::size_t blockRows,
                                              const std::function<void(const RowBlock&)>& take, int firstColumn) {
    const SQLHSTMT h = stmt_;
    SQLULEN fetched = 0;
    std::vector<SQLUSMALLINT> status(blockRows);
    RowBlock block;
    block.columns_.resize(kinds.size());
    Check(SQLSetStmtAttr(h, SQL_ATTR_ROW_BIND_TYPE, reinterpret_cast<SQLPOINTER>(SQL_BIND_BY_COLUMN), 0));
    Check(SQLSetStmtAttr(h, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(SQLULEN{blockRows}), 0));
    Check(SQLSetStmtAttr(h, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0));
    Check(SQLSetStmtAttr(h, SQL_ATTR_ROW_STATUS_PTR, status.data(), 0));
    for (std::size_t i = 0; i < kinds.size(); ++i) {
        RowBlock::Bound& bound = block.columns_[i];
        bound.kind = kinds[i];
        SQLSMALLINT cType = SQL_C_CHAR;
        switch (bound.kind) {
            case FieldKind::Text: bound.width = std::max<std::size_t>(widths[i], 1); break;
            case FieldKind::Integer:
            case FieldKind::Floating: cType = SQL_C_DOUBLE, bound.width = sizeof(double); break;
            case FieldKind::DateTime: cType = SQL_C_TYPE_TIMESTAMP, bound.width = sizeof(SQL_TIMESTAMP_STRUCT); break;
        }
        bound.data.resize(blockRows * bound.width);
        bound.indicator.resize(blockRows);
        Check(SQLBindCol(h, ColumnNumber(firstColumn + static_cast<int>(i)), cType, bound.data.data(),
                         static_cast<SQLLEN>(bound.width), bound.indicator.data()));
    }
    std::vector<std::size_t> needed(kinds.size(), 0);
    bool cut = false;
    // The buffers go with this call: nothing stays bound to them, however it ends.
    struct Unbind {
        SQLHSTMT h;
        ~Unbind() {
            SQLFreeStmt(h, SQL_UNBIND);
            SQLSetStmtAttr(h, SQL_ATTR_ROWS_FETCHED_PTR, nullptr, 0);
            SQLSetStmtAttr(h, SQL_ATTR_ROW_STATUS_PTR, nullptr, 0);
            SQLSetStmtAttr(h, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(SQLULEN{1}), 0);
        }
    } unbind{h};
    while (Next()) {
        bool textCut = false;
        for (SQLULEN row = 0; row < fetched; ++row) {
            if (status[row] == SQL_ROW_ERROR) throw CDBException::Layer(LayerError::RowError);
            for (std::size_t i = 0; i < kinds.size(); ++i) {
                const RowBlock::Bound& bound = block.columns_[i];
                if (bound.kind != FieldKind::Text) continue;
                const SQLLEN length = bound.indicator[row];
                if (length == SQL_NULL_DATA) continue;
                if (length == SQL_NO_TOTAL || length < 0 || static_cast<std::size_t>(length) >= bound.width) {
                    needed[i] = std::max(needed[i], length >= 0 ? static_cast<std::size_t>(length) + 1 : bound.width * 2);
                    textCut = true;
                }
            }
        }
        if (!textCut && lastFetch_ == SQL_SUCCESS_WITH_INFO && FetchWarnings()->HasState("01004"))
            throw CDBException::Layer(LayerError::DataTruncated);
        cut = cut || textCut;
        if (cut) continue;
        block.rows_ = static_cast<std::size_t>(fetched);
        take(block);
    }
    return needed;
}
