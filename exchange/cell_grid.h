#pragma once
// The cells of a grid around one cell, for searches of points near a point:
// the import's near de-duplication and the map's moved cameras.

#include <algorithm>
#include <cstdint>

namespace korvel {

/// Calls `visit(column, row)` for the rows one below `row` to one above it,
/// and in each for the columns `reach` to the left of `column_at(that row)`
/// to `reach` to the right, row by row from the lowest, each from the left.
/// Cells before column or row 0, or past the largest 32-bit value, are left
/// out. For grids whose columns differ in width from row to row.
template <typename ColumnAt, typename Visit>
void ForNeighbourCellsBy(std::uint32_t row, std::uint32_t reach, ColumnAt column_at, Visit visit) {
  constexpr std::uint64_t kLast = 0xFFFFFFFFu;
  const std::uint64_t first_row = row == 0 ? 0 : row - 1;
  const std::uint64_t last_row = std::min<std::uint64_t>(std::uint64_t{row} + 1, kLast);
  for (std::uint64_t r = first_row; r <= last_row; ++r) {
    const std::uint32_t column = column_at(static_cast<std::uint32_t>(r));
    const std::uint64_t first_column = column < reach ? 0 : column - reach;
    const std::uint64_t last_column = std::min<std::uint64_t>(std::uint64_t{column} + reach, kLast);
    for (std::uint64_t c = first_column; c <= last_column; ++c) {
      visit(static_cast<std::uint32_t>(c), static_cast<std::uint32_t>(r));
    }
  }
}

/// The same for a square grid: the cell (column, row) and, with reach 1, its
/// eight neighbours.
template <typename Visit>
void ForNeighbourCells(std::uint32_t column, std::uint32_t row, std::uint32_t reach, Visit visit) {
  ForNeighbourCellsBy(
      row, reach, [column](std::uint32_t) { return column; }, visit);
}

}  // namespace korvel
