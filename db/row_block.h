#pragma once
// A block of fetched rows as bound arrays: each value read in place by row
// and column, NULL told apart, without a call to the driver per value.

#include <sql.h>
#include <sqlext.h>

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

#include "db/field_kind.h"
#include "db/wall_clock.h"

// The rows of the block the last fetch filled (see Result::RowsInBlocks).
// Rows and columns are numbered from 0; a value is read as the kind its
// column was bound as (an integer as a double). A text is valid until the
// next fetch.
class RowBlock {
public:
    std::size_t Rows() const { return rows_; }
    std::optional<std::string_view> Text(std::size_t row, std::size_t column) const;
    std::optional<double> Number(std::size_t row, std::size_t column) const;
    std::optional<WallClock> DateTime(std::size_t row, std::size_t column) const;

private:
    friend class Result;
    // One bound column: its slots of `width` bytes and their indicators.
    struct Bound {
        FieldKind kind = FieldKind::Text;
        std::size_t width = 0;
        std::vector<char> data;
        std::vector<SQLLEN> indicator;
    };
    // The slot of a value, or null for NULL.
    const char* Slot(std::size_t row, std::size_t column) const;

    std::vector<Bound> columns_;
    std::size_t rows_ = 0;
};
