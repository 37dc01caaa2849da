#include "sheetgrid.h"

#include <set>

namespace corvina::tableparser {

void SheetGrid::add(CellKey key, std::string text)
{
    const auto col = static_cast<std::uint32_t>(key);
    m_minCol = std::min(m_minCol, col);
    m_maxCol = std::max(m_maxCol, col);
    m_cells[key] = std::move(text);
}

void SheetGrid::appendTo(Rows &rows)
{
    if (m_cells.empty())
        return;

    std::set<std::uint32_t> visibleRows;
    for (const auto &[key, text] : m_cells) {
        if (!trimUnicode(text).empty())
            visibleRows.insert(static_cast<std::uint32_t>(key >> 32));
    }

    const std::size_t width = std::size_t{m_maxCol} - m_minCol + 1;
    std::size_t existing = 0;
    for (const Row &row : rows)
        existing += row.size();
    if (visibleRows.size() > (kMaxGridCells - std::min(existing, kMaxGridCells)) / width)
        return;

    auto it = m_cells.begin();
    for (const std::uint32_t r : visibleRows) {
        Row row(width);
        it = m_cells.lower_bound(cellKey(r, 0));
        for (; it != m_cells.end() && (it->first >> 32) == r; ++it)
            row[static_cast<std::uint32_t>(it->first) - m_minCol] = std::move(it->second);
        rows.push_back(std::move(row));
    }
}

} // namespace corvina::tableparser
