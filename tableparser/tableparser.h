/*
 * Table file reader: turns the bytes of a spreadsheet, HTML page or
 * delimiter-separated text file into a grid of UTF-8 cell texts.
 *
 * Plain C interface so that any language can call it. The functions keep no
 * state and may be called from several threads at once.
 */
#ifndef CORVINA_TABLEPARSER_H
#define CORVINA_TABLEPARSER_H

#include <stddef.h>
#include <stdint.h>

#if defined(__GNUC__)
#define CORVINA_TABLEPARSER_API __attribute__((visibility("default")))
#else
#define CORVINA_TABLEPARSER_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/*
 * shape: row count in the low 32 bits, column count in the high 32 bits.
 * cells: row-count pointers, each to column-count cell pointers. A row
 * shorter than the widest row is padded with null pointers; inside a row's
 * own length every cell is a NUL-terminated UTF-8 string.
 * The empty result is shape 0 and cells null.
 */
typedef struct TableData {
    uint64_t shape;
    char ***cells;
} TableData;

/*
 * Reads the whole file content. Anything that cannot be read gives the empty
 * result; nothing is reported. The result must be handed to freeTableData
 * exactly once.
 */
CORVINA_TABLEPARSER_API TableData parseTableData(const uint8_t *data, size_t length);

/* Frees a result of parseTableData. Null cells or a row count <= 0 is a no-op. */
CORVINA_TABLEPARSER_API void freeTableData(uint64_t shape, char ***cells);

#ifdef __cplusplus
}
#endif

#endif
