// Delimiter-separated text through libcsv (standard double-quote rules,
// records of differing length, no header handling of its own).
#include "tablereaders.h"

#include <csv.h>

#include <algorithm>
#include <new>

namespace corvina::tableparser {

namespace {

struct Collector {
    Rows *rows;
    Row current;
    bool anyText = false;
    // Exceptions must not cross libcsv's C frames.
    bool outOfMemory = false;
};

void onField(void *data, std::size_t len, void *context)
{
    auto &c = *static_cast<Collector *>(context);
    try {
        if (data == nullptr)
            c.current.emplace_back();
        else
            c.current.emplace_back(static_cast<const char *>(data), len);
        c.anyText = c.anyText || len > 0;
    } catch (...) {
        c.outOfMemory = true;
    }
}

void onRecord(int, void *context)
{
    auto &c = *static_cast<Collector *>(context);
    try {
        if (c.anyText)
            c.rows->push_back(std::move(c.current));
    } catch (...) {
        c.outOfMemory = true;
    }
    c.current.clear();
    c.anyText = false;
}

// libcsv skips blanks around unquoted fields; a tab must not count as blank
// when it is the delimiter.
int isBlank(unsigned char c) { return c == ' ' || c == '\t'; }
int isSpaceOnly(unsigned char c) { return c == ' '; }

} // namespace

void readDelimited(std::string_view bytes, Rows &rows)
{
    const std::string text = decodeText(bytes);
    const auto semicolons = std::count(text.begin(), text.end(), ';');
    const auto tabs = std::count(text.begin(), text.end(), '\t');
    const auto pipes = std::count(text.begin(), text.end(), '|');
    if (semicolons < 6 && tabs < 6 && pipes < 6)
        return; // also rules out comma-separated files

    unsigned char delimiter = ';';
    if (pipes > semicolons && pipes > tabs)
        delimiter = '|';
    else if (tabs > semicolons)
        delimiter = '\t';

    csv_parser parser;
    if (csv_init(&parser, 0) != 0)
        return;
    struct Freer {
        csv_parser *p;
        ~Freer() { csv_free(p); }
    } freer{&parser};
    csv_set_delim(&parser, delimiter);
    csv_set_space_func(&parser, delimiter == '\t' ? isSpaceOnly : isBlank);

    Rows found;
    Collector collector{&found, {}, false, false};
    const bool parsed = csv_parse(&parser, text.data(), text.size(), onField, onRecord, &collector) == text.size()
        && csv_fini(&parser, onField, onRecord, &collector) == 0;
    if (collector.outOfMemory)
        throw std::bad_alloc();
    if (!parsed)
        return;
    for (Row &row : found)
        rows.push_back(std::move(row));
}

} // namespace corvina::tableparser
