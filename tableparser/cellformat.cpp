#include "tablereaders.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace corvina::tableparser {

namespace {

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's algorithm).
long long daysFromCivil(long long y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

void civilFromDays(long long z, long long &y, unsigned &m, unsigned &d)
{
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = static_cast<long long>(yoe) + era * 400 + (m <= 2);
}

} // namespace

std::string numberText(double value)
{
    if (value == 0.0)
        return "0"; // also for -0.0
    // Shortest round-trip digits in fixed notation; DBL_MAX needs 309 digits.
    char buf[400];
    const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed);
    if (res.ec != std::errc())
        return {};
    return std::string(buf, res.ptr);
}

std::string civilDateText(long long year, unsigned month, unsigned day)
{
    char buf[48];
    std::snprintf(buf, sizeof buf, "%04lld-%02u-%02u", year, month, day);
    return buf;
}

std::string serialDateText(double serial, bool date1904)
{
    // Up to 9999-12-31, the last day a spreadsheet can show.
    const double maxSerial = date1904 ? 2957004.0 : 2958466.0;
    if (!std::isfinite(serial) || serial < 0.0 || serial >= maxSerial)
        return numberText(serial);
    // Round to the millisecond first so 23:59:59.9999 stays on its day only
    // when the file meant it.
    const long long ms = std::llround(serial * 86400000.0);
    long long day = ms / 86400000;
    long long base;
    if (date1904) {
        base = daysFromCivil(1904, 1, 1);
    } else if (day < 60) {
        // Before the fictitious 1900-02-29 the serials are off by one.
        base = daysFromCivil(1899, 12, 31);
    } else {
        base = daysFromCivil(1899, 12, 30);
    }
    long long y;
    unsigned m, d;
    civilFromDays(base + day, y, m, d);
    return civilDateText(y, m, d);
}

bool isBuiltinDateFormat(std::size_t id)
{
    return (id >= 14 && id <= 22) || (id >= 45 && id <= 47);
}

namespace {

// Walks the first section of a number format code, skipping quoted text and
// escaped, padding and fill characters. `visit(position, text, bracketed)` sees
// each bracketed group ([Red], [h], [$-41F]) by its inside and every other
// character on its own; it returns false to stop. False when a bracket is
// never closed.
template <typename Visit>
bool walkFirstSection(std::string_view code, Visit &&visit)
{
    bool inQuote = false;
    for (std::size_t i = 0; i < code.size(); ++i) {
        const char c = code[i];
        if (inQuote) {
            if (c == '"')
                inQuote = false;
            continue;
        }
        switch (c) {
        case '"':
            inQuote = true;
            break;
        case '\\':
        case '_':
        case '*':
            ++i; // escaped, padding or fill character
            break;
        case '[': {
            const std::size_t close = code.find(']', i + 1);
            if (close == std::string_view::npos)
                return false;
            if (!visit(i, code.substr(i + 1, close - i - 1), true))
                return true;
            i = close;
            break;
        }
        case ';':
            return true; // only the first section decides
        default:
            if (!visit(i, code.substr(i, 1), false))
                return true;
            break;
        }
    }
    return true;
}

} // namespace

bool isDateFormatCode(std::string_view code)
{
    bool date = false;
    const bool closed = walkFirstSection(code, [&](std::size_t, std::string_view text, bool bracketed) {
        if (bracketed) {
            // [h], [mm] and [ss] are elapsed times; colours, conditions and
            // locales ([Red], [$-41F]) are not.
            bool elapsed = !text.empty();
            for (const char k : text) {
                const char l = static_cast<char>(k | 0x20);
                elapsed = elapsed && (l == 'h' || l == 'm' || l == 's');
            }
            date = elapsed;
        } else {
            const char l = static_cast<char>(text.front() | 0x20);
            date = l == 'y' || l == 'm' || l == 'd' || l == 'h' || l == 's';
        }
        return !date;
    });
    return closed && date;
}

bool isBuiltinDecimalFormat(std::size_t id)
{
    // 0.00, #,##0.00, 0.00% and the currency, bracketed and accounting
    // forms with decimals. 11 and 48 are scientific: a long identity number
    // may wear them.
    switch (id) {
    case 2:
    case 4:
    case 7:
    case 8:
    case 10:
    case 39:
    case 40:
    case 43:
    case 44:
        return true;
    default:
        return false;
    }
}

bool isDecimalFormatCode(std::string_view code)
{
    bool decimals = false;
    bool scientific = false;
    const auto next = [&](std::size_t i) { return i + 1 < code.size() ? code[i + 1] : '\0'; };
    const bool closed = walkFirstSection(code, [&](std::size_t i, std::string_view text, bool bracketed) {
        if (bracketed)
            return true;
        // "#,##0.##" hides the decimals of a whole amount but still marks the
        // column as money.
        if (text.front() == '.' && (next(i) == '0' || next(i) == '#' || next(i) == '?'))
            decimals = true;
        if ((text.front() == 'E' || text.front() == 'e') && (next(i) == '+' || next(i) == '-'))
            scientific = true;
        return !scientific;
    });
    return closed && !scientific && decimals;
}

std::string decimalNumberText(double value)
{
    std::string text = numberText(value);
    if (text.empty() || !std::isfinite(value))
        return text;
    const std::size_t dot = text.find('.');
    if (dot == std::string::npos)
        text += ".00";
    else if (text.size() - dot - 1 < 2)
        text.append(2 - (text.size() - dot - 1), '0');
    return text;
}

} // namespace corvina::tableparser
