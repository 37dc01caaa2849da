// File readers: a statement file in, normalised text out (one line per entry, the
// entry's date first as d.m.yyyy, fields separated by '|', Latin letters only).

#include "accountparser.h"

#include "config/util.h"
#include "tableparser/tableparser.h"

#include <QBuffer>
#include <QIODevice>
#include <QPdfDocument>
#include <QPdfSelection>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>

namespace {

// Multi-line cells ("05.03.2024\n10:15") are dates too, hence '.' matches line breaks.
const QRegularExpression &dayFirstCell()
{
    static const QRegularExpression re(
        QStringLiteral("^\\s*([0-9]{1,2})([./-])([0-9]{1,2})\\2(20[0-9]{2})\\b.*$"),
        QRegularExpression::DotMatchesEverythingOption);
    return re;
}

const QRegularExpression &yearFirstCell()
{
    static const QRegularExpression re(
        QStringLiteral("^\\s*(20[0-9]{2})([./-])([0-9]{1,2})\\2([0-9]{1,2})\\b.*$"),
        QRegularExpression::DotMatchesEverythingOption);
    return re;
}

// In PDF text '@' marks a line break; a line that starts with a date starts an entry.
const QRegularExpression &dayFirstLine()
{
    static const QRegularExpression re(
        QStringLiteral("\\s*@\\s*([0-9]{1,2})([./-])([0-9]{1,2})\\2(20[0-9]{2})\\b"));
    return re;
}

const QRegularExpression &yearFirstLine()
{
    static const QRegularExpression re(
        QStringLiteral("\\s*@\\s*(20[0-9]{2})([./-])([0-9]{1,2})\\2([0-9]{1,2})\\b"));
    return re;
}

// A date right after a "label:" is a value of the label, not the start of an entry.
const QRegularExpression &labelledDate()
{
    static const QRegularExpression re(QStringLiteral("\\s*[:=]\\s*;"));
    return re;
}

bool isDateCell(const QString &cell)
{
    return dayFirstCell().match(cell).hasMatch() || yearFirstCell().match(cell).hasMatch();
}

// A run of grid rows whose first date cell lies in the same column.
struct Block
{
    int dateColumn = 0;
    int lastColumn = -1;
    int firstRow = 0;
    int lastRow = -1;

    qint64 width() const { return qint64(lastColumn) - dateColumn + 1; }
    qint64 area() const { return width() * (qint64(lastRow) - firstRow + 1); }
};

class Grid
{
public:
    explicit Grid(const QByteArray &bytes)
        : data(parseTableData(reinterpret_cast<const uint8_t *>(bytes.constData()), size_t(bytes.size())))
    {
        rowCount = data.cells ? int(data.shape & 0xffffffffu) : 0;
        columnCount = data.cells ? int(data.shape >> 32) : 0;
    }
    ~Grid() { freeTableData(data.shape, data.cells); }
    Grid(const Grid &) = delete;
    Grid &operator=(const Grid &) = delete;

    bool empty() const { return rowCount <= 0 || columnCount <= 0; }
    const char *raw(int r, int c) const
    {
        const char *cell = data.cells[r] ? data.cells[r][c] : nullptr;
        return cell ? cell : "";
    }
    bool filled(int r, int c) const { return *raw(r, c) != '\0'; }
    QString text(int r, int c) const { return QString::fromUtf8(raw(r, c)); }

    int rowCount = 0;
    int columnCount = 0;

private:
    TableData data;
};

QList<Block> findBlocks(const Grid &grid)
{
    QList<Block> stored;
    Block current;
    for (int r = 0; r < grid.rowCount; ++r) {
        int dateColumn = grid.columnCount;
        for (int c = 0; c < grid.columnCount; ++c) {
            if (grid.filled(r, c) && isDateCell(grid.text(r, c))) {
                dateColumn = c;
                break;
            }
        }
        int lastColumn = 0;
        for (int c = grid.columnCount - 1; c >= 1; --c) {
            if (grid.filled(r, c)) {
                lastColumn = c;
                break;
            }
        }
        if (dateColumn == current.dateColumn && current.width() > 3) {
            current.lastColumn = std::max(current.lastColumn, lastColumn);
            current.lastRow = r;
        } else {
            if (current.width() > 3)
                stored.append(current);
            current = Block{dateColumn, lastColumn, r, r};
        }
    }
    if (current.width() > 3)
        stored.append(current);
    return stored;
}

// Cells of a grid row as one comparable value.
QStringList rowTexts(const Grid &grid, int r)
{
    QStringList cells;
    for (int c = 0; c < grid.columnCount; ++c)
        cells << grid.text(r, c);
    while (!cells.isEmpty() && cells.last().isEmpty())
        cells.removeLast();
    return cells;
}

// Another block belongs to the chosen table when it is the same export again
// (two downloads pasted one below the other): its dates stand in the same
// column and the row right above it is the same header row, word for word.
// Separate tables of one file (summaries, card totals) have headers of their own.
bool sameExport(const Grid &grid, const Block &block, const Block &chosen)
{
    if (block.dateColumn != chosen.dateColumn || block.firstRow < 1 || chosen.firstRow < 1)
        return false;
    const QStringList header = rowTexts(grid, chosen.firstRow - 1);
    if (header.isEmpty())
        return false;
    for (const QString &cell : header) {
        if (isDateCell(cell))
            return false;
    }
    return rowTexts(grid, block.firstRow - 1) == header;
}

// Numeric cells as the table reader writes them: digits, a sign, a decimal point.
const QRegularExpression &plainNumber()
{
    static const QRegularExpression re(QStringLiteral("^[+-]?[0-9]+(\\.[0-9]+)?$"));
    return re;
}

// Spreadsheets in the General format store a whole amount as "1500", which
// reads as no amount at all. Within a block, a column holding numbers only,
// at least one of them with a fraction, is a money column: its whole numbers
// are amounts too. Reference and identity columns never hold a fraction.
QList<bool> moneyColumns(const Grid &grid, const Block &block)
{
    QList<bool> money(grid.columnCount, false);
    for (int c = block.dateColumn + 1; c <= block.lastColumn && c < grid.columnCount; ++c) {
        bool numbers = true;
        bool fraction = false;
        for (int r = block.firstRow; r <= block.lastRow && numbers; ++r) {
            if (!grid.filled(r, c))
                continue;
            const QString cell = grid.text(r, c);
            numbers = plainNumber().match(cell).hasMatch();
            fraction = fraction || cell.contains(QLatin1Char('.'));
        }
        money[c] = numbers && fraction;
    }
    return money;
}

QString cleanCell(QString cell)
{
    for (QChar &ch : cell) {
        if (ch == QLatin1Char('\n') || ch == QLatin1Char('\r') || ch == QLatin1Char('\'') || ch == QLatin1Char('_'))
            ch = QLatin1Char(' ');
        else if (ch == QLatin1Char(';'))
            ch = QLatin1Char('|');
    }
    return cell;
}

QString dateOfCell(const QString &cell)
{
    QString text = cell;
    if (dayFirstCell().match(text).hasMatch())
        text.replace(dayFirstCell(), QStringLiteral("\\1.\\3.\\4"));
    else
        text.replace(yearFirstCell(), QStringLiteral("\\4.\\3.\\1"));
    return text;
}

// Separators, line ends and Latin-1: the common tail of both readers.
QByteArray finishText(QString &text)
{
    text.replace(util::fieldSep(), QStringLiteral("|"));
    if (!text.isEmpty() && !text.endsWith(QLatin1Char(';')))
        text.append(QLatin1Char(';'));
    text.replace(QLatin1Char(';'), QLatin1Char('\n'));
    return text.toLatin1();
}

} // namespace

QByteArray AccountParser::readTable(QIODevice &device)
{
    if (device.peek(5) == QByteArrayLiteral("%PDF-"))
        return readPDF(device);

    const QByteArray bytes = device.readAll();
    device.close();
    const Grid grid(bytes);
    if (grid.empty())
        return QByteArray();

    const QList<Block> blocks = findBlocks(grid);
    if (blocks.isEmpty())
        return QByteArray();
    Block chosen = blocks.first();
    for (const Block &block : blocks) {
        if (block.area() > chosen.area())
            chosen = block;
    }

    QString text;
    QSet<QString> earlierLines;
    for (const Block &block : blocks) {
        if (block.firstRow != chosen.firstRow && !sameExport(grid, block, chosen))
            continue;
        // Pasted exports of overlapping periods repeat whole entries; an entry
        // identical in every cell (balance and receipt number included) is
        // the same booking.
        const QList<bool> money = moneyColumns(grid, block);
        QSet<QString> blockLines;
        for (int r = block.firstRow; r <= block.lastRow; ++r) {
            QString line = dateOfCell(grid.text(r, block.dateColumn));
            line += QLatin1Char('|');
            for (int c = block.dateColumn + 1; c <= block.lastColumn && c < grid.columnCount; ++c) {
                if (!grid.filled(r, c))
                    continue;
                line += cleanCell(grid.text(r, c));
                if (money.at(c) && !grid.text(r, c).contains(QLatin1Char('.')))
                    line += QLatin1String(".00");
                line += QLatin1Char('|');
            }
            line[line.size() - 1] = QLatin1Char(';');
            if (earlierLines.contains(line))
                continue;
            blockLines.insert(line);
            text += line;
        }
        earlierLines.unite(blockLines);
    }
    util::latinize(text);
    return finishText(text);
}

QByteArray AccountParser::readPDF(QIODevice &device)
{
    // Qt loads from a random-access device at once; a buffer guarantees that.
    QBuffer buffer;
    buffer.setData(device.readAll());
    device.close();
    buffer.open(QIODevice::ReadOnly);

    QPdfDocument document;
    document.load(&buffer);
    QString text;
    if (document.status() == QPdfDocument::Status::Ready) {
        for (int page = 0; page < document.pageCount(); ++page) {
            QString pageText = document.getAllText(page).text();
            for (QChar &ch : pageText) {
                switch (ch.unicode()) {
                case '\'': case '\r': case '_': ch = QLatin1Char(' '); break;
                case '@': case ';': ch = QLatin1Char('|'); break;
                case '\n': ch = QLatin1Char('@'); break;
                default: break;
                }
            }
            text += pageText;
            text += QLatin1Char('@');
        }
    }
    document.close();

    util::latinize(text);
    text.replace(dayFirstLine(), QStringLiteral(";\\1.\\3.\\4"));
    text.replace(yearFirstLine(), QStringLiteral(";\\4.\\3.\\1"));
    text.replace(labelledDate(), QStringLiteral("|"));
    text.replace(QLatin1Char('@'), QLatin1Char(' '));
    text.replace(util::fieldSep(), QStringLiteral("|"));
    const qsizetype start = text.indexOf(QLatin1Char(';'));
    if (start >= 0)
        text.remove(0, start + 1);
    if (!text.endsWith(QLatin1Char(';')))
        text.append(QLatin1Char(';'));
    text.replace(QLatin1Char(';'), QLatin1Char('\n'));
    return text.toLatin1();
}
