// Reading one text column of a record set's whole result in blocks of rows,
// for lists that need a single column of many rows.

#include <algorithm>
#include <vector>

#include "db/recordset.h"
#include "db/result.h"
#include "db/statement.h"

namespace {

// Rows fetched per call; large enough that per-call costs vanish, small
// enough that the buffers stay modest for long columns.
constexpr std::size_t kBlockRows = 1024;
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
    // The same cursor Open asks for.
    const Statement::Setup cursor = [](Statement& s) { s.UseStaticReadOnlyCursor(); };
    Result result = stmt.Execute(selectText_, cursor);

    const int column = static_cast<int>(fieldIndex + 1);
    const SQLULEN size = result.Describe(column).size;
    std::size_t width = std::clamp<SQLULEN>(size, 1, kFirstWidthChars) * kBytesPerChar + 1;
    for (;;) {
        ColumnTexts read = result.TextsInBlocks(column, width, kBlockRows);
        if (read.needed == 0) return std::move(read.texts);
        // A text longer than its column's described size (SQLite does not
        // enforce declared lengths): read again with buffers that hold it.
        width = read.needed;
        stmt.CloseCursor();
        result = stmt.Execute(selectText_, cursor);
    }
}
