// Feeds arbitrary bytes to the table reader and walks the whole grid, so a
// malformed result (short row, dangling pointer) shows up under ASan.
#include "tableparser/tableparser.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

// Known faults of the uninstrumented FreeXL 1.0.6 that the library contains
// but cannot fix: a stack over-read handed to iconv (run on a padded thread,
// see tableparser/xlsreader.cpp) and small leaks on damaged files.
extern "C" const char *__asan_default_suppressions()
{
    return "interceptor_via_lib:libfreexl.so.1\n";
}

extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libfreexl.so\n";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const TableData table = parseTableData(data, size);
    const uint32_t rows = static_cast<uint32_t>(table.shape & 0xFFFFFFFFu);
    const uint32_t cols = static_cast<uint32_t>(table.shape >> 32);
    if ((table.cells == nullptr) != (table.shape == 0))
        std::abort();
    size_t total = 0;
    for (uint32_t r = 0; r < rows; ++r) {
        char **row = table.cells[r];
        if (row == nullptr)
            std::abort();
        bool padding = false;
        for (uint32_t c = 0; c < cols; ++c) {
            if (row[c] == nullptr) {
                padding = true;
                continue;
            }
            if (padding) // a cell after padding means the row length is wrong
                std::abort();
            total += std::strlen(row[c]);
        }
    }
    freeTableData(table.shape, table.cells);
    return total == SIZE_MAX ? 1 : 0;
}
