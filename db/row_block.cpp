#include "db/row_block.h"

#include <cstring>

const char* RowBlock::Slot(std::size_t row, std::size_t column) const {
    const Bound& bound = columns_[column];
    if (bound.indicator[row] == SQL_NULL_DATA) return nullptr;
    return bound.data.data() + row * bound.width;
}

std::optional<std::string_view> RowBlock::Text(std::size_t row, std::size_t column) const {
    const char* slot = Slot(row, column);
    if (slot == nullptr) return std::nullopt;
    // Result::RowsInBlocks hands on no block whose text was cut.
    return std::string_view(slot, static_cast<std::size_t>(columns_[column].indicator[row]));
}

std::optional<double> RowBlock::Number(std::size_t row, std::size_t column) const {
    const char* slot = Slot(row, column);
    if (slot == nullptr) return std::nullopt;
    double value = 0;
    std::memcpy(&value, slot, sizeof value);
    return value;
}

std::optional<WallClock> RowBlock::DateTime(std::size_t row, std::size_t column) const {
    const char* slot = Slot(row, column);
    if (slot == nullptr) return std::nullopt;
    SQL_TIMESTAMP_STRUCT stamp{};
    std::memcpy(&stamp, slot, sizeof stamp);
    // As Result::DateTime: fractions of a second dropped.
    return WallClock{stamp.year, stamp.month, stamp.day, stamp.hour, stamp.minute, stamp.second};
}
