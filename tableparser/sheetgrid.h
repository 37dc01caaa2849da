// Turns the sparse cells of one worksheet into rows of its used range.
#pragma once

#include "tablereaders.h"

#include <cstdint>
#include <map>

namespace corvina::tableparser {

using CellKey = std::uint64_t;

inline CellKey cellKey(std::int64_t row, std::int64_t col)
{
    return (static_cast<std::uint64_t>(row) << 32) | static_cast<std::uint32_t>(col);
}

class SheetGrid
{
public:
    void add(CellKey key, std::string text);

    // Appends every row of the used range (first to last used column) that
    // has a cell with visible text; other rows keep their empty cells. A sheet
    // that would push the result past kMaxGridCells is skipped.
    void appendTo(Rows &rows);

private:
    std::map<CellKey, std::string> m_cells; // ordered by row, then column
    std::uint32_t m_minCol = UINT32_MAX;
    std::uint32_t m_maxCol = 0;
};

} // namespace corvina::tableparser
