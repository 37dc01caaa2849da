// Internal interface shared by the format readers. Not installed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace corvina::tableparser {

using Row = std::vector<std::string>;
using Rows = std::vector<Row>;

// Upper bound on rows x columns of one result. Statement files hold a few
// thousand rows; a damaged or hostile workbook can claim a million rows by
// 16384 columns, which must not turn into gigabytes of empty cells.
constexpr std::size_t kMaxGridCells = 4'000'000;

// Each reader appends what it can read; a reader never throws for bad input
// but may let std::bad_alloc through (caught at the C boundary).
void readXlsx(std::string_view bytes, Rows &rows);
void readXls(std::string_view bytes, Rows &rows);
void readHtml(std::string_view bytes, Rows &rows);
void readDelimited(std::string_view bytes, Rows &rows);

// Text decoding shared by the HTML and delimited readers: valid UTF-8 is kept
// (minus a leading byte-order mark), otherwise a BOM selects UTF-8 / UTF-16,
// and anything else is read as windows-1254. Malformed input becomes U+FFFD.
std::string decodeText(std::string_view bytes);

bool isValidUtf8(std::string_view s);
// Replaces every malformed UTF-8 sequence with U+FFFD.
std::string sanitizeUtf8(std::string_view s);
// Strips leading and trailing Unicode White_Space.
std::string_view trimUnicode(std::string_view s);

// Cell texts for spreadsheet values.
std::string numberText(double value);
// Date of a spreadsheet serial in the 1900 (Excel) or 1904 system, as
// yyyy-mm-dd; falls back to numberText when the value is no calendar date.
std::string serialDateText(double serial, bool date1904);
std::string civilDateText(long long year, unsigned month, unsigned day);
// True for a number format whose first section shows a date or a time.
bool isDateFormatCode(std::string_view code);
bool isBuiltinDateFormat(std::size_t id);
// True for a number format whose first section shows decimal places
// ("#,##0.00", "#,##0.##"); scientific formats do not count.
bool isDecimalFormatCode(std::string_view code);
bool isBuiltinDecimalFormat(std::size_t id);
// A number shown with decimal places: at least two of them, more when the
// value has them (1500 -> "1500.00", 1.304417 -> "1.304417"). A whole amount
// written "1500" would not read as money further on.
std::string decimalNumberText(double value);

} // namespace corvina::tableparser
