#include "tableparser.h"
#include "tablereaders.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

namespace corvina::tableparser {

namespace {

bool startsWith(std::string_view s, std::string_view prefix)
{
    return s.size() >= prefix.size() && s.compare(0, prefix.size(), prefix) == 0;
}

bool contains(std::string_view s, std::string_view needle)
{
    return s.find(needle) != std::string_view::npos;
}

Rows readRows(std::string_view bytes)
{
    Rows rows;
    if (bytes.size() > 1 && startsWith(bytes, "PK"))
        readXlsx(bytes, rows);
    else if (bytes.size() > 7 && startsWith(bytes, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"))
        readXls(bytes, rows);
    else if ((contains(bytes, "</tr>") || contains(bytes, "</TR>")) && (contains(bytes, "</td>") || contains(bytes, "</TD>")))
        readHtml(bytes, rows);
    else
        readDelimited(bytes, rows);
    return rows;
}

// Owns a grid under construction; releases it unless taken.
class GridBuilder
{
public:
    GridBuilder(std::size_t rowCount, std::size_t colCount) : m_rowCount(rowCount), m_colCount(colCount)
    {
        m_cells = static_cast<char ***>(std::calloc(rowCount, sizeof(char **)));
        if (m_cells == nullptr)
            throw std::bad_alloc();
    }
    ~GridBuilder()
    {
        if (m_cells != nullptr)
            freeTableData(shape(), m_cells);
    }
    GridBuilder(const GridBuilder &) = delete;
    GridBuilder &operator=(const GridBuilder &) = delete;

    // Cells of row r; unset entries stay null, which is the padding.
    char **row(std::size_t r)
    {
        m_cells[r] = static_cast<char **>(std::calloc(m_colCount, sizeof(char *)));
        if (m_cells[r] == nullptr)
            throw std::bad_alloc();
        return m_cells[r];
    }

    uint64_t shape() const { return static_cast<uint64_t>(m_rowCount) | (static_cast<uint64_t>(m_colCount) << 32); }

    char ***take()
    {
        char ***cells = m_cells;
        m_cells = nullptr;
        return cells;
    }

private:
    std::size_t m_rowCount;
    std::size_t m_colCount;
    char ***m_cells = nullptr;
};

char *copyCell(std::string_view text)
{
    auto *copy = static_cast<char *>(std::malloc(text.size() + 1));
    if (copy == nullptr)
        throw std::bad_alloc();
    std::memcpy(copy, text.data(), text.size());
    copy[text.size()] = '\0';
    return copy;
}

TableData parse(const uint8_t *data, size_t length)
{
    if (data == nullptr || length == 0)
        return {0, nullptr};

    Rows rows = readRows(std::string_view(reinterpret_cast<const char *>(data), length));
    if (rows.empty())
        return {0, nullptr};

    std::size_t colCount = 0;
    for (const Row &row : rows)
        colCount = std::max(colCount, row.size());
    if (colCount == 0 || rows.size() > UINT32_MAX || colCount > UINT32_MAX || rows.size() > kMaxGridCells / colCount)
        return {0, nullptr};

    for (Row &row : rows) {
        for (std::string &cell : row) {
            if (cell.find('\0') != std::string::npos)
                return {0, nullptr};
            if (!isValidUtf8(cell))
                cell = sanitizeUtf8(cell);
        }
    }

    GridBuilder grid(rows.size(), colCount);
    for (std::size_t r = 0; r < rows.size(); ++r) {
        char **cells = grid.row(r);
        for (std::size_t c = 0; c < rows[r].size(); ++c)
            cells[c] = copyCell(trimUnicode(rows[r][c]));
        Row().swap(rows[r]); // keep the peak at one copy of the texts
    }
    const uint64_t shape = grid.shape();
    return {shape, grid.take()};
}

} // namespace

} // namespace corvina::tableparser

extern "C" TableData parseTableData(const uint8_t *data, size_t length)
{
    try {
        return corvina::tableparser::parse(data, length);
    } catch (...) {
        return {0, nullptr};
    }
}

extern "C" void freeTableData(uint64_t shape, char ***cells)
{
    const auto rowCount = static_cast<int32_t>(static_cast<uint32_t>(shape & 0xFFFFFFFFu));
    const auto colCount = static_cast<uint32_t>(shape >> 32);
    if (cells == nullptr || rowCount <= 0)
        return;
    for (int32_t r = 0; r < rowCount; ++r) {
        char **row = cells[r];
        if (row == nullptr)
            continue;
        for (uint32_t c = 0; c < colCount; ++c)
            std::free(row[c]);
        std::free(row);
    }
    std::free(cells);
}
