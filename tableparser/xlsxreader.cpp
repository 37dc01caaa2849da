// Excel 2007+ workbooks: the ZIP container is opened with liborcus's
// zip_archive (from memory) and every XML part is read with libxml2's
// streaming reader. The SpreadsheetML semantics live here because orcus 0.17's
// own xlsx filter loses whole sheets when a workbook lists them by absolute
// part names (as openpyxl and several bank exporters do), ignores inline
// strings and cells without an "r" address, and drops boolean and error
// formula results.
#include "sheetgrid.h"
#include "tablereaders.h"

#include <orcus/zip_archive.hpp>
#include <orcus/zip_archive_stream.hpp>

#include <libxml/globals.h>
#include <libxml/xmlerror.h>
#include <libxml/xmlreader.h>

#include <charconv>
#include <mutex>
#include <optional>
#include <unordered_map>

namespace corvina::tableparser {

namespace {

// --- XML ------------------------------------------------------------------

void initLibxml()
{
    static std::once_flag once;
    std::call_once(once, [] { xmlInitParser(); });
}

void ignoreXmlError(void *, const char *, ...) {}
void ignoreStructuredXmlError(void *, xmlErrorPtr) {}

// Some libxml2 errors (encoding conversion, I/O) bypass XML_PARSE_NOERROR and
// go to the thread's generic handler, which prints to stderr. The handlers
// are per thread in libxml2; the caller's are put back afterwards.
class QuietLibxml
{
public:
    QuietLibxml()
        : m_generic(xmlGenericError), m_genericContext(xmlGenericErrorContext),
          m_structured(xmlStructuredError), m_structuredContext(xmlStructuredErrorContext)
    {
        xmlSetGenericErrorFunc(nullptr, ignoreXmlError);
        xmlSetStructuredErrorFunc(nullptr, ignoreStructuredXmlError);
    }
    ~QuietLibxml()
    {
        xmlSetGenericErrorFunc(m_genericContext, m_generic);
        xmlSetStructuredErrorFunc(m_structuredContext, m_structured);
    }
    QuietLibxml(const QuietLibxml &) = delete;
    QuietLibxml &operator=(const QuietLibxml &) = delete;

private:
    xmlGenericErrorFunc m_generic;
    void *m_genericContext;
    xmlStructuredErrorFunc m_structured;
    void *m_structuredContext;
};

// Thin pull-reader over one part. Names are compared without their prefix:
// some exporters write every element as <x:row>, <x:c>.
class XmlPart
{
public:
    explicit XmlPart(const std::vector<unsigned char> &data)
    {
        initLibxml();
        if (data.size() > static_cast<std::size_t>(INT32_MAX))
            return;
        m_reader = xmlReaderForMemory(reinterpret_cast<const char *>(data.data()), static_cast<int>(data.size()),
                                      nullptr, nullptr, XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    }
    ~XmlPart()
    {
        if (m_reader != nullptr)
            xmlFreeTextReader(m_reader);
    }
    XmlPart(const XmlPart &) = delete;
    XmlPart &operator=(const XmlPart &) = delete;

    // Advances to the next node; false at the end or on malformed XML.
    bool next()
    {
        if (m_reader == nullptr || m_failed)
            return false;
        const int rc = xmlTextReaderRead(m_reader);
        if (rc < 0)
            m_failed = true;
        return rc == 1;
    }
    bool failed() const { return m_reader == nullptr || m_failed; }

    int type() const { return xmlTextReaderNodeType(m_reader); }
    bool isStart() const { return type() == XML_READER_TYPE_ELEMENT; }
    bool isEnd() const { return type() == XML_READER_TYPE_END_ELEMENT || (isStart() && isEmptyElement()); }
    bool isEmptyElement() const { return xmlTextReaderIsEmptyElement(m_reader) == 1; }
    bool isText() const
    {
        const int t = type();
        return t == XML_READER_TYPE_TEXT || t == XML_READER_TYPE_CDATA || t == XML_READER_TYPE_WHITESPACE
            || t == XML_READER_TYPE_SIGNIFICANT_WHITESPACE;
    }
    std::string_view name() const { return view(xmlTextReaderConstLocalName(m_reader)); }
    std::string_view value() const { return view(xmlTextReaderConstValue(m_reader)); }

    // Attribute by local name, whatever its prefix.
    std::optional<std::string> attribute(std::string_view localName, bool namespaced = false)
    {
        std::optional<std::string> result;
        if (xmlTextReaderMoveToFirstAttribute(m_reader) != 1)
            return result;
        do {
            if (view(xmlTextReaderConstLocalName(m_reader)) != localName)
                continue;
            if (namespaced && xmlTextReaderConstNamespaceUri(m_reader) == nullptr)
                continue;
            result = std::string(view(xmlTextReaderConstValue(m_reader)));
            break;
        } while (xmlTextReaderMoveToNextAttribute(m_reader) == 1);
        xmlTextReaderMoveToElement(m_reader);
        return result;
    }

private:
    static std::string_view view(const xmlChar *s)
    {
        return s != nullptr ? std::string_view(reinterpret_cast<const char *>(s)) : std::string_view();
    }

    xmlTextReaderPtr m_reader = nullptr;
    bool m_failed = false;
};

bool ends_with(std::string_view s, std::string_view suffix)
{
    return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// --- Package --------------------------------------------------------------

std::string asciiLower(std::string_view s)
{
    std::string out(s);
    for (char &c : out) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

std::string normalizePartName(std::string_view name)
{
    std::string path(name);
    for (char &c : path) {
        if (c == '\\')
            c = '/';
    }
    // Resolve "." and ".." segments; a leading "/" means the package root.
    std::vector<std::string> segments;
    std::size_t pos = 0;
    while (pos <= path.size()) {
        const std::size_t slash = std::min(path.find('/', pos), path.size());
        const std::string segment = path.substr(pos, slash - pos);
        if (segment == "..") {
            if (!segments.empty())
                segments.pop_back();
        } else if (!segment.empty() && segment != ".") {
            segments.push_back(segment);
        }
        pos = slash + 1;
    }
    std::string out;
    for (const std::string &segment : segments) {
        if (!out.empty())
            out += '/';
        out += segment;
    }
    return out;
}

std::string directoryOf(const std::string &part)
{
    const auto slash = part.rfind('/');
    return slash == std::string::npos ? std::string() : part.substr(0, slash + 1);
}

std::uint32_t le32(std::string_view b, std::size_t at)
{
    return static_cast<std::uint32_t>(static_cast<unsigned char>(b[at]))
        | static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 1])) << 8
        | static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 2])) << 16
        | static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 3])) << 24;
}

std::uint16_t le16(std::string_view b, std::size_t at)
{
    return static_cast<std::uint16_t>(static_cast<unsigned char>(b[at])
                                      | static_cast<unsigned char>(b[at + 1]) << 8);
}

// orcus inflates every entry it reads completely into memory, sized by the
// central directory. A few hundred KiB of deflated blanks can claim gigabytes,
// so the claimed sizes are checked first (ZIP64 archives are refused: no
// statement comes near 4 GiB).
bool archiveSizesPlausible(std::string_view zip)
{
    constexpr std::uint64_t maxEntry = 128u << 20;
    constexpr std::uint64_t maxTotal = 512u << 20;
    constexpr std::size_t eocdSize = 22;
    if (zip.size() < eocdSize)
        return false;
    // The end record sits in the last 64 KiB + 22 bytes (after an optional comment).
    const std::size_t lowest = zip.size() > eocdSize + 0xFFFF ? zip.size() - eocdSize - 0xFFFF : 0;
    std::size_t eocd = zip.size() - eocdSize;
    while (le32(zip, eocd) != 0x06054b50) {
        if (eocd == lowest)
            return false;
        --eocd;
    }
    const std::size_t entries = le16(zip, eocd + 10);
    std::size_t pos = le32(zip, eocd + 16);
    std::uint64_t total = 0;
    for (std::size_t i = 0; i < entries; ++i) {
        if (pos > zip.size() || zip.size() - pos < 46 || le32(zip, pos) != 0x02014b50)
            return false;
        // orcus sizes its read buffer by the compressed size, so a damaged
        // one claiming gigabytes must not get that far either.
        const std::uint64_t compressed = le32(zip, pos + 20);
        const std::uint64_t size = le32(zip, pos + 24);
        if (size > maxEntry || compressed > zip.size())
            return false;
        total += size;
        if (total > maxTotal)
            return false;
        pos += 46 + std::size_t{le16(zip, pos + 28)} + le16(zip, pos + 30) + le16(zip, pos + 32);
    }
    return true;
}

class Package
{
public:
    explicit Package(std::string_view bytes)
        : m_stream(reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size()), m_zip(&m_stream)
    {
        m_zip.load();
        const std::size_t count = m_zip.get_file_entry_count();
        for (std::size_t i = 0; i < count; ++i) {
            const std::string_view entry = m_zip.get_file_entry_name(i);
            m_entries.emplace(asciiLower(normalizePartName(entry)), std::string(entry));
        }
    }

    // Part names are matched case-insensitively, as the packaging rules say.
    bool read(const std::string &partName, std::vector<unsigned char> &data) const
    {
        const auto it = m_entries.find(asciiLower(normalizePartName(partName)));
        if (it == m_entries.end())
            return false;
        if (!m_zip.read_file_entry(it->second, data))
            return false;
        // orcus hands the entry back with a terminating NUL, which an XML
        // parser would reject as content after the document.
        if (!data.empty() && data.back() == 0)
            data.pop_back();
        return true;
    }

    bool has(const std::string &partName) const
    {
        return m_entries.count(asciiLower(normalizePartName(partName))) != 0;
    }

private:
    orcus::zip_archive_stream_blob m_stream;
    orcus::zip_archive m_zip;
    std::unordered_map<std::string, std::string> m_entries;
};

struct Relationship {
    std::string type;
    std::string target; // resolved part name
};

// Relationships of `part`, by id. Targets are resolved against the part's
// folder; absolute targets against the package root.
std::unordered_map<std::string, Relationship> readRelationships(const Package &package, const std::string &part)
{
    std::unordered_map<std::string, Relationship> rels;
    const std::string dir = directoryOf(part);
    const std::string file = part.substr(dir.size());
    std::vector<unsigned char> data;
    if (!package.read(dir + "_rels/" + file + ".rels", data))
        return rels;
    XmlPart xml(data);
    while (xml.next()) {
        if (!xml.isStart() || xml.name() != "Relationship")
            continue;
        const auto id = xml.attribute("Id");
        const auto target = xml.attribute("Target");
        if (!id || !target)
            continue;
        if (const auto mode = xml.attribute("TargetMode"); mode && *mode == "External")
            continue;
        Relationship rel;
        rel.type = xml.attribute("Type").value_or(std::string());
        rel.target = normalizePartName(!target->empty() && (*target)[0] == '/' ? *target : dir + *target);
        rels.emplace(*id, std::move(rel));
    }
    return rels;
}

std::optional<std::string> findByType(const std::unordered_map<std::string, Relationship> &rels,
                                      std::string_view typeSuffix)
{
    for (const auto &[id, rel] : rels) {
        if (ends_with(rel.type, typeSuffix))
            return rel.target;
    }
    return std::nullopt;
}

// --- Parts ------------------------------------------------------------------

struct SheetRef {
    std::string name;
    std::string part;
};

struct WorkbookInfo {
    std::vector<SheetRef> sheets;
    bool date1904 = false;
    std::string sharedStringsPart;
    std::string stylesPart;
};

bool isTrue(const std::optional<std::string> &value)
{
    return value && (*value == "1" || *value == "true");
}

bool readWorkbook(const Package &package, WorkbookInfo &info)
{
    const auto rootRels = readRelationships(package, "");
    std::string workbookPart = findByType(rootRels, "/officeDocument").value_or("xl/workbook.xml");
    std::vector<unsigned char> data;
    if (!package.read(workbookPart, data))
        return false;

    const auto rels = readRelationships(package, workbookPart);
    XmlPart xml(data);
    while (xml.next()) {
        if (!xml.isStart())
            continue;
        if (xml.name() == "workbookPr") {
            info.date1904 = isTrue(xml.attribute("date1904"));
        } else if (xml.name() == "sheet") {
            const auto id = xml.attribute("id", true);
            if (!id)
                continue;
            const auto rel = rels.find(*id);
            if (rel == rels.end() || !ends_with(rel->second.type, "/worksheet"))
                continue; // chart sheets and dialog sheets hold no cells
            info.sheets.push_back({xml.attribute("name").value_or(std::string()), rel->second.target});
        }
    }
    if (xml.failed())
        return false;

    const std::string dir = directoryOf(workbookPart);
    info.sharedStringsPart = findByType(rels, "/sharedStrings").value_or(dir + "sharedStrings.xml");
    info.stylesPart = findByType(rels, "/styles").value_or(dir + "styles.xml");
    return true;
}

// Text of an <si> or <is> element: its <t> pieces, leaving out the phonetic
// reading runs (<rPh>). Called on the start tag; returns after the end tag.
std::string readRichText(XmlPart &xml)
{
    std::string text;
    if (xml.isEmptyElement())
        return text;
    int depth = 0;
    int inT = 0;
    int inPhonetic = 0;
    while (xml.next()) {
        if (xml.isStart()) {
            const bool empty = xml.isEmptyElement();
            if (!empty) {
                ++depth;
                if (xml.name() == "t")
                    ++inT;
                else if (xml.name() == "rPh")
                    ++inPhonetic;
            }
        } else if (xml.type() == XML_READER_TYPE_END_ELEMENT) {
            if (depth == 0)
                break;
            --depth;
            if (xml.name() == "t" && inT > 0)
                --inT;
            else if (xml.name() == "rPh" && inPhonetic > 0)
                --inPhonetic;
        } else if (xml.isText() && inT > 0 && inPhonetic == 0) {
            text += xml.value();
        }
    }
    return text;
}

std::vector<std::string> readSharedStrings(const Package &package, const std::string &part)
{
    std::vector<std::string> strings;
    std::vector<unsigned char> data;
    if (!package.read(part, data))
        return strings;
    XmlPart xml(data);
    while (xml.next()) {
        if (xml.isStart() && xml.name() == "si")
            strings.push_back(readRichText(xml));
    }
    return strings; // a damaged tail keeps the strings read so far
}

// What the number format of each cell style (cellXfs entry) says about the
// value: a date, a decimal quantity (money), or nothing special.
class NumberStyles
{
public:
    enum Kind : unsigned char { Plain, Date, Decimal };

    void read(const Package &package, const std::string &part)
    {
        std::vector<unsigned char> data;
        if (!package.read(part, data))
            return;
        std::unordered_map<std::size_t, std::string> codes;
        std::vector<std::size_t> xfFormats;
        bool inCellXfs = false;
        XmlPart xml(data);
        while (xml.next()) {
            const std::string_view name = xml.name();
            if (xml.isStart() && name == "numFmt") {
                const auto id = number(xml.attribute("numFmtId"));
                if (id)
                    codes[*id] = xml.attribute("formatCode").value_or(std::string());
            } else if (xml.isStart() && name == "cellXfs") {
                inCellXfs = !xml.isEmptyElement();
            } else if (xml.type() == XML_READER_TYPE_END_ELEMENT && name == "cellXfs") {
                inCellXfs = false;
            } else if (xml.isStart() && name == "xf" && inCellXfs) {
                xfFormats.push_back(number(xml.attribute("numFmtId")).value_or(0));
            }
        }
        m_kinds.reserve(xfFormats.size());
        for (const std::size_t id : xfFormats) {
            const auto code = codes.find(id);
            if (code != codes.end())
                m_kinds.push_back(isDateFormatCode(code->second)      ? Date
                                  : isDecimalFormatCode(code->second) ? Decimal
                                                                      : Plain);
            else
                m_kinds.push_back(isBuiltinDateFormat(id)      ? Date
                                  : isBuiltinDecimalFormat(id) ? Decimal
                                                               : Plain);
        }
    }

    Kind kind(std::size_t xf) const { return xf < m_kinds.size() ? m_kinds[xf] : Plain; }

    static std::optional<std::size_t> number(const std::optional<std::string> &text)
    {
        if (!text)
            return std::nullopt;
        std::size_t value = 0;
        const auto res = std::from_chars(text->data(), text->data() + text->size(), value);
        if (res.ec != std::errc() || res.ptr != text->data() + text->size())
            return std::nullopt;
        return value;
    }

private:
    std::vector<Kind> m_kinds;
};

// "B12" -> column 1 and row 11; false for anything else.
bool parseCellReference(std::string_view ref, std::int64_t &row, std::int64_t &col)
{
    std::size_t i = 0;
    std::int64_t c = 0;
    for (; i < ref.size() && i < 4; ++i) {
        const char ch = static_cast<char>(ref[i] & ~0x20);
        if (ch < 'A' || ch > 'Z')
            break;
        c = c * 26 + (ch - 'A' + 1);
    }
    if (i == 0)
        return false;
    std::int64_t r = 0;
    const std::size_t digitsStart = i;
    for (; i < ref.size() && i - digitsStart < 8; ++i) {
        if (ref[i] < '0' || ref[i] > '9')
            return false;
        r = r * 10 + (ref[i] - '0');
    }
    if (i != ref.size() || i == digitsStart || r < 1 || r > 1048576 || c > 16384)
        return false;
    row = r - 1;
    col = c - 1;
    return true;
}

struct SheetContext {
    const std::vector<std::string> &sharedStrings;
    const NumberStyles &styles;
    bool date1904;
};

std::string numberCellText(std::string_view raw, const std::optional<std::size_t> &xf, const SheetContext &ctx)
{
    const std::string_view trimmed = trimUnicode(raw);
    double value = 0;
    const auto res = std::from_chars(trimmed.data(), trimmed.data() + trimmed.size(), value);
    if (res.ec != std::errc() || res.ptr != trimmed.data() + trimmed.size())
        return std::string(raw); // not a number after all: keep what was written
    switch (xf ? ctx.styles.kind(*xf) : NumberStyles::Plain) {
    case NumberStyles::Date:
        return serialDateText(value, ctx.date1904);
    case NumberStyles::Decimal:
        return decimalNumberText(value);
    case NumberStyles::Plain:
        break;
    }
    // General and whole-number formats: identity, reference and receipt
    // numbers live here and must keep their plain digits.
    return numberText(value);
}

// Reads one <c> element (called on its start tag). Returns false when the
// cell holds no value.
bool readCell(XmlPart &xml, const SheetContext &ctx, std::string &text)
{
    const std::string type = xml.attribute("t").value_or("n");
    const auto xf = NumberStyles::number(xml.attribute("s"));
    std::optional<std::string> v;
    std::optional<std::string> inlineText;
    if (!xml.isEmptyElement()) {
        int depth = 0;
        bool inV = false;
        while (xml.next()) {
            if (xml.isStart()) {
                if (xml.name() == "is") {
                    inlineText = readRichText(xml);
                    continue;
                }
                if (xml.isEmptyElement())
                    continue;
                ++depth;
                inV = depth == 1 && xml.name() == "v";
                if (inV && !v)
                    v.emplace();
            } else if (xml.type() == XML_READER_TYPE_END_ELEMENT) {
                if (depth == 0)
                    break;
                --depth;
                inV = false;
            } else if (inV && xml.isText()) {
                *v += xml.value();
            }
        }
    }

    if (type == "inlineStr" || (inlineText && !v)) {
        if (!inlineText)
            return false;
        text = std::move(*inlineText);
        return true;
    }
    if (!v)
        return false;
    if (type == "s") {
        const auto index = NumberStyles::number(std::string(trimUnicode(*v)));
        if (!index || *index >= ctx.sharedStrings.size())
            return false;
        text = ctx.sharedStrings[*index];
    } else if (type == "b") {
        const std::string_view b = trimUnicode(*v);
        text = (b == "1" || b == "true") ? "true" : "false";
    } else if (type == "str" || type == "e" || type == "d") {
        text = std::move(*v); // formula text, error text ("#N/A") or ISO date, as written
    } else {
        if (trimUnicode(*v).empty())
            return false;
        text = numberCellText(*v, xf, ctx);
    }
    return true;
}

// Cells of one worksheet part; false when the part is missing or malformed.
bool readSheet(const Package &package, const std::string &part, const SheetContext &ctx, SheetGrid &grid)
{
    std::vector<unsigned char> data;
    if (!package.read(part, data))
        return false;
    XmlPart xml(data);
    std::int64_t row = -1;
    std::int64_t col = -1;
    bool inSheetData = false;
    while (xml.next()) {
        if (xml.type() == XML_READER_TYPE_END_ELEMENT && xml.name() == "sheetData") {
            inSheetData = false;
            continue;
        }
        if (!xml.isStart())
            continue;
        const std::string_view name = xml.name();
        if (name == "sheetData") {
            inSheetData = !xml.isEmptyElement();
        } else if (inSheetData && name == "row") {
            // Without "r" a row follows the previous one.
            const auto r = NumberStyles::number(xml.attribute("r"));
            row = (r && *r >= 1 && *r <= 1048576) ? static_cast<std::int64_t>(*r) - 1 : row + 1;
            col = -1;
        } else if (inSheetData && name == "c") {
            std::int64_t cellRow = row < 0 ? 0 : row;
            std::int64_t cellCol = col + 1;
            if (const auto ref = xml.attribute("r"))
                parseCellReference(*ref, cellRow, cellCol);
            if (cellRow > 1048575 || cellCol > 16383)
                return false;
            row = cellRow;
            col = cellCol;
            std::string text;
            if (readCell(xml, ctx, text))
                grid.add(cellKey(cellRow, cellCol), std::move(text));
        }
    }
    return !xml.failed();
}

} // namespace

void readXlsx(std::string_view bytes, Rows &rows)
{
    initLibxml();
    const QuietLibxml quiet;
    if (!archiveSizesPlausible(bytes))
        return;
    std::optional<Package> package;
    try {
        package.emplace(bytes);
    } catch (const std::bad_alloc &) {
        throw;
    } catch (...) {
        return; // orcus throws zip_error for a damaged archive
    }

    WorkbookInfo info;
    if (!readWorkbook(*package, info))
        return; // an OpenDocument file or any other ZIP lands here

    const std::vector<std::string> sharedStrings = readSharedStrings(*package, info.sharedStringsPart);
    NumberStyles styles;
    styles.read(*package, info.stylesPart);
    const SheetContext ctx{sharedStrings, styles, info.date1904};

    for (const SheetRef &sheet : info.sheets) {
        SheetGrid grid;
        if (readSheet(*package, sheet.part, ctx, grid))
            grid.appendTo(rows);
    }
}

} // namespace corvina::tableparser
