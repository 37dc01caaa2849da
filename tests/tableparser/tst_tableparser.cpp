#include "tableparser/tableparser.h"
#include "tableparser/tablereaders.h"

#include <QDir>
#include <QFile>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTest>

#include <thread>
#include <vector>

using Rows = QList<QStringList>;

// FreeXL 1.0.6 over-reads a stack buffer into iconv and leaks on some damaged
// files (see tableparser/README.md); the regression inputs hit both, and a
// sanitizer build of this test must not count the library's own faults.
extern "C" const char *__asan_default_suppressions()
{
    return "interceptor_via_lib:libfreexl.so.1\n";
}

extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libfreexl.so\n";
}

namespace {

// A parsed grid as Qt values: each row holds its own cells (the padding is
// checked here, not returned).
struct Grid {
    Rows rows;
    int columns = 0;
    QString error; // broken grid invariants
};

Grid parse(const QByteArray &bytes)
{
    const TableData table =
        parseTableData(reinterpret_cast<const uint8_t *>(bytes.constData()), static_cast<size_t>(bytes.size()));
    Grid grid;
    const auto rowCount = static_cast<uint32_t>(table.shape & 0xFFFFFFFFu);
    grid.columns = static_cast<int>(table.shape >> 32);
    if ((table.cells == nullptr) != (table.shape == 0))
        grid.error = QStringLiteral("shape %1 with cells %2").arg(table.shape).arg(table.cells != nullptr);
    for (uint32_t r = 0; r < rowCount && table.cells != nullptr; ++r) {
        QStringList row;
        bool padding = false;
        for (int c = 0; c < grid.columns; ++c) {
            const char *cell = table.cells[r][c];
            if (cell == nullptr) {
                padding = true;
            } else if (padding) {
                grid.error = QStringLiteral("row %1: cell after null padding").arg(r);
            } else {
                row << QString::fromUtf8(cell);
            }
        }
        if (row.isEmpty())
            grid.error = QStringLiteral("row %1 has no cells").arg(r);
        grid.rows << row;
    }
    int widest = 0;
    for (const QStringList &row : std::as_const(grid.rows))
        widest = std::max(widest, static_cast<int>(row.size()));
    if (widest != grid.columns)
        grid.error = QStringLiteral("column count %1, widest row %2").arg(grid.columns).arg(widest);
    freeTableData(table.shape, table.cells);
    return grid;
}

QByteArray fixture(const QString &name)
{
    QFile file(QStringLiteral(TABLE_FIXTURES_DIR "/") + name);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("missing fixture %s", qPrintable(name));
    return file.readAll();
}

QByteArray encoded(const QString &text, QStringConverter::Encoding encoding)
{
    QStringEncoder encoder(encoding, QStringConverter::Flag::WriteBom);
    return encoder.encode(text);
}

// The same Turkish statement line in every encoding the reader must accept.
const QString kTurkishCsv = QStringLiteral("İşlem;Açıklama;Tutar;;\nGönd: ŞÜKRÜ ĞÖÇ;ığüşöç;1.500,00;;\n");
const Rows kTurkishRows = {{"İşlem", "Açıklama", "Tutar", "", ""}, {"Gönd: ŞÜKRÜ ĞÖÇ", "ığüşöç", "1.500,00", "", ""}};

} // namespace

class TstTableParser : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void text_data();
    void text();
    void html_data();
    void html();
    void workbooks_data();
    void workbooks();
    void damagedInput_data();
    void damagedInput();
    void regressions_data();
    void regressions();
    void formatCodes_data();
    void formatCodes();
    void emptyArguments();
    void freeIgnoresEmptyGrids();
    void parallelCallsAgree();
};

void TstTableParser::text_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<Rows>("expected");

    QTest::newRow("six semicolons are read, first line is data")
        << QByteArray("a;b;c;d\n1;2;3;4\n") << Rows{{"a", "b", "c", "d"}, {"1", "2", "3", "4"}};
    QTest::newRow("five semicolons are not") << QByteArray("a;b;c\n1;2;3\n") << Rows{};
    QTest::newRow("comma-separated is not read")
        << QByteArray("a,b,c,d\n1,2,3,4\n5,6,7,8\n9,0,1,2\n") << Rows{};
    QTest::newRow("tabs as many as semicolons: ';' wins")
        << QByteArray("a\tb;c\td;e\tf;g\th;i\tj;k\tl;m\n")
        << Rows{{"a\tb", "c\td", "e\tf", "g\th", "i\tj", "k\tl", "m"}};
    QTest::newRow("more tabs than semicolons")
        << QByteArray("a;b\tc\td\n1\t2\t3;4\n5\t6\t7\t8\n")
        << Rows{{"a;b", "c", "d"}, {"1", "2", "3;4"}, {"5", "6", "7", "8"}};
    QTest::newRow("pipes must beat both others")
        << QByteArray("a|b|c|d;x\n1|2|3|4\n5|6|7|8\n") << Rows{{"a", "b", "c", "d;x"}, {"1", "2", "3", "4"}, {"5", "6", "7", "8"}};
    QTest::newRow("pipes tied with semicolons")
        << QByteArray("a|b|c|d;e;f;g\n1|2|3|4;5;6;7\n")
        << Rows{{"a|b|c|d", "e", "f", "g"}, {"1|2|3|4", "5", "6", "7"}};
    QTest::newRow("quoted delimiter, doubled quote, line break in quotes")
        << QByteArray("\"x;y\";\"say \"\"hi\"\"\";\"two\nlines\";d\n1;2;3;4\n")
        << Rows{{"x;y", "say \"hi\"", "two\nlines", "d"}, {"1", "2", "3", "4"}};
    QTest::newRow("short rows are padded, trailing delimiter kept")
        << QByteArray("Zincir No;İşyeri No;Tutar;;;;\nx\n") << Rows{{"Zincir No", "İşyeri No", "Tutar", "", "", "", ""}, {"x"}};
    QTest::newRow("records of empty fields are dropped, CRLF lines")
        << QByteArray("a;b;c;d\r\n;;;\r\n\r\n1;2;3;4\r\n") << Rows{{"a", "b", "c", "d"}, {"1", "2", "3", "4"}};
    QTest::newRow("cells trimmed of Unicode white space")
        << QByteArray("  a ;\xC2\xA0" "b\xE2\x80\x83;\t c\t;d\n1;2;3;4\n") << Rows{{"a", "b", "c", "d"}, {"1", "2", "3", "4"}};
    QTest::newRow("NUL inside a cell empties the grid")
        << QByteArray("a;b;c;d\n1;2\0003;4;5\n", 19) << Rows{};
    QTest::newRow("UTF-8 byte-order mark does not stick to the first date")
        << QByteArray("\xEF\xBB\xBF" "05.03.2024;a;b;c\n1;2;3;4\n") << Rows{{"05.03.2024", "a", "b", "c"}, {"1", "2", "3", "4"}};
    QTest::newRow("UTF-8 used as is") << kTurkishCsv.toUtf8() << kTurkishRows;
    QTest::newRow("windows-1254")
        << QByteArray("\xDD\xFElem;A\xE7\xFDklama;Tutar;;\nG\xF6nd: \xDE\xDCKR\xDC \xD0\xD6\xC7;\xFD\xF0\xFC\xFE\xF6\xE7;1.500,00;;\n")
        << kTurkishRows;
    QTest::newRow("UTF-16LE with BOM") << encoded(kTurkishCsv, QStringConverter::Utf16LE) << kTurkishRows;
    QTest::newRow("UTF-16BE with BOM") << encoded(kTurkishCsv, QStringConverter::Utf16BE) << kTurkishRows;
    QTest::newRow("UTF-16LE odd trailing byte")
        << encoded(QStringLiteral("a;b;c;d;e;f;g"), QStringConverter::Utf16LE) + 'x'
        << Rows{{"a", "b", "c", "d", "e", "f", QStringLiteral("g\uFFFD")}};
    QTest::newRow("broken UTF-8 after a BOM gets replacement characters")
        << QByteArray("\xEF\xBB\xBF" "a;b\xFF;c;d;e;f;g\n") << Rows{{"a", QStringLiteral("b\uFFFD"), "c", "d", "e", "f", "g"}};
    QTest::newRow("windows-1254 holes become replacement characters")
        << QByteArray("a\x81;b;c;d;e;f;g\n") << Rows{{QStringLiteral("a\uFFFD"), "b", "c", "d", "e", "f", "g"}};
}

void TstTableParser::text()
{
    QFETCH(QByteArray, input);
    QFETCH(Rows, expected);
    const Grid grid = parse(input);
    QVERIFY2(grid.error.isEmpty(), qPrintable(grid.error));
    QCOMPARE(grid.rows, expected);
}

void TstTableParser::html_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<Rows>("expected");

    QTest::newRow("th and td cells, pieces joined by spaces")
        << QByteArray("<html><body><p>Hesap</p><table><tr><th>Tarih</th><th>Tutar</th></tr>"
                      "<tr><td>05.03.2024</td><td>1.500,<b>00</b> TL</td></tr></table></body></html>")
        << Rows{{"Tarih", "Tutar"}, {"05.03.2024", "1.500, 00  TL"}};
    QTest::newRow("upper-case tags")
        << QByteArray("<TABLE><TR><TD>a</TD><TD> b </TD></TR></TABLE>") << Rows{{"a", "b"}};
    QTest::newRow("row without cells dropped, row of empty cells kept")
        << QByteArray("<table><tr></tr><tr><td></td><td> </td></tr><tr><td>x</td></tr></table>")
        << Rows{{"", ""}, {"x"}};
    QTest::newRow("nested table rows appear twice")
        << QByteArray("<table><tr><td>out</td><td><table><tr><td>in</td></tr></table></td></tr></table>")
        << Rows{{"out", "in", "in"}, {"in"}, {"in"}};
    QTest::newRow("unclosed markup as browsers repair it")
        << QByteArray("<table><tr><td>a<td>b</tr><tr><td>c</td></table>") << Rows{{"a", "b"}, {"c"}};
    QTest::newRow("th-only page is read as text, not HTML")
        << QByteArray("<table><tr><th>a;b;c;d;e;f;g</th></tr></table>")
        << Rows{{"<table><tr><th>a", "b", "c", "d", "e", "f", "g</th></tr></table>"}};
    QTest::newRow("windows-1254 page")
        << QByteArray("<table><tr><td>\xDD\xFElem</td><td>\xD0\xFC\xE7</td></tr></table>") << Rows{{"İşlem", "Ğüç"}};
    QTest::newRow("page without any table") << QByteArray("<div></tr></td></div>") << Rows{};
    // gumbo's time grows with the square of the depth; such pages are refused.
    QTest::newRow("absurdly deep nesting is refused")
        << QByteArray("<table><tr><td>x</td></tr></table>") + QByteArray("<div>").repeated(20000) << Rows{};
    QTest::newRow("deep but plausible nesting is read")
        << QByteArray("<div>").repeated(200) + "<table><tr><td>x</td></tr></table>" << Rows{{"x"}};
}

void TstTableParser::html()
{
    QFETCH(QByteArray, input);
    QFETCH(Rows, expected);
    const Grid grid = parse(input);
    QVERIFY2(grid.error.isEmpty(), qPrintable(grid.error));
    QCOMPARE(grid.rows, expected);
}

void TstTableParser::workbooks_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<Rows>("expected");

    // openpyxl: dates, a date-time late in the day, whole and fractional
    // numbers in the General format, a money format with optional decimals
    // (a number, no date), booleans, an error cell, empty rows, and sheets
    // whose used range starts further right.
    QTest::newRow("xlsx, three sheets in order") << "three_sheets.xlsx"
        << Rows{{"Tarih", "Açıklama", "İşlem Tutarı", "Onay"},
                {"2024-03-05", "GELEN FAST - Gizem Erkoç - aidat", "1500", "true"},
                {"2024-03-06", "Gönd: SELİN AYDOĞAN", "1500.5", "false"},
                {"", "BLOKE BAKİYESİ", "-417.85", ""},
                {"2024-03-06", "", "12340.00", "#N/A"},
                {"ikinci", "2"},
                {"üçüncü"}};
    QTest::newRow("xlsx, 1904 date system") << "date1904.xlsx" << Rows{{"2024-03-05", "1904"}};
    QTest::newRow("xlsx from a non-Excel exporter") << "exporter_style.xlsx"
        << Rows{{"Sayın AYŞE YILMAZ", "", "", ""},
                {"Tarih", "Fiş No", "Açıklama", "İşlem Tutarı"},
                {"14.10.2025", "F04321", "Gönd: SELİN AYDOĞAN kira 0064-Türkiye İş Bankası A.Ş. FAST işlemi", "12340"},
                {"SATIŞ IADE UYEISYERI:é(5)", "", "", ""}};
    // The amount column holds fractions, so its whole 1500 is money too.
    QTest::newRow("xls, three sheets in order") << "sheets.xls"
        << Rows{{"Tarih", "Açıklama", "İşlem Tutarı"},
                {"2024-03-05", "GELEN HAVALE -BURCU ERENLER -kira mayıs", "1500.00"},
                {"2024-03-06", "ığüşöç İĞÜŞÖÇ", "1500.5"},
                {"", "", "-417.85"},
                {"ikinci sayfa"},
                {"üçüncü sayfa"}};
    // A whole amount must still read as money, while references, receipt and
    // identity numbers keep their plain digits. XLSX: the cell's number format
    // decides (decimal places, even optional ones, mark money; General, "0",
    // "#,##0", literals and scientific formats do not).
    QTest::newRow("xlsx, number formats of amounts and identifiers") << "number_formats.xlsx"
        << Rows{{"Tarih", "Fiş No", "Açıklama", "İşlem Tutarı", "Bakiye", "Referans No"},
                {"14.10.2025", "F04321", "Gönd: SELİN AYDOĞAN kira", "1500.00", "12340.00", "123456789012"},
                {"13.10.2025", "7001234", "GELEN FAST - Gizem Erkoç - TCKN 10000000146", "-417.85", "10840.00",
                 "10000000146"},
                {"12.10.2025", "42", "NEMA FON SATIŞ - FİYAT", "2500.00", "1.304417", "12345678901"},
                {"2025-10-11", "F04322", "GELEN HAVALE -BURCU ERENLER -", "750.00", "1500.50", "1500"}};
    // XLS: FreeXL gives no formats, so a column with fractional numbers on
    // the same sheet marks money; whole-only columns (references, identity
    // numbers, the summary sheet's total) keep their digits.
    QTest::newRow("xls, amount columns judged by their values") << "number_columns.xls"
        << Rows{{"Tarih", "Saat", "Referans No", "Açıklama", "İşlem Tutarı", "Bakiye", "Müşteri No"},
                {"01/10/2025", "09:15:02", "123456789012", "GELEN FAST - Gizem Erkoç - aidat", "1500.00", "10000.00",
                 "10000000146"},
                {"02/10/2025", "11:40:51", "123456789013", "GİDEN FAST - Kemal Yurtsever", "-417.85", "9582.15", ""},
                {"03/10/2025", "", "123456789014", "GELEN HAVALE -BURCU ERENLER -kira", "7500.00", "17082.15", ""},
                {"Toplam Alacak", "9000"}};
    QTest::newRow("OpenDocument is a ZIP but no workbook") << "spreadsheet.ods" << Rows{};
}

void TstTableParser::workbooks()
{
    QFETCH(QString, file);
    QFETCH(Rows, expected);
    const Grid grid = parse(fixture(file));
    QVERIFY2(grid.error.isEmpty(), qPrintable(grid.error));
    QCOMPARE(grid.rows, expected);
}

void TstTableParser::damagedInput_data()
{
    QTest::addColumn<QByteArray>("input");

    const QByteArray xlsx = fixture("three_sheets.xlsx");
    const QByteArray xls = fixture("sheets.xls");
    QTest::newRow("PK alone") << QByteArray("PK");
    QTest::newRow("xlsx cut in half") << xlsx.left(xlsx.size() / 2);
    QTest::newRow("xlsx without its central directory") << xlsx.left(xlsx.size() - 200);
    // A part that claims to inflate to 200 MiB (a ZIP bomb's shape) makes the
    // whole archive unreadable instead of being inflated into memory.
    QByteArray bomb = xlsx;
    const QByteArray part = "xl/worksheets/sheet1.xml";
    for (qsizetype at = bomb.indexOf("PK\x01\x02"); at >= 0; at = bomb.indexOf("PK\x01\x02", at + 4)) {
        if (bomb.mid(at + 46, part.size()) == part) {
            const quint32 claimed = 200u << 20;
            for (int k = 0; k < 4; ++k)
                bomb[at + 24 + k] = static_cast<char>((claimed >> (8 * k)) & 0xFF);
        }
    }
    QVERIFY(bomb != xlsx);
    QTest::newRow("xlsx part claiming 200 MiB") << bomb;
    QTest::newRow("compound signature alone") << QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1");
    QTest::newRow("xls cut in half") << xls.left(xls.size() / 2);
    QByteArray garbled = xls;
    for (qsizetype i = 512; i < garbled.size(); i += 7)
        garbled[i] = static_cast<char>(garbled[i] ^ 0x5A);
    QTest::newRow("xls with garbled records") << garbled;
}

void TstTableParser::damagedInput()
{
    QFETCH(QByteArray, input);
    const Grid grid = parse(input);
    QVERIFY2(grid.error.isEmpty(), qPrintable(grid.error));
    QCOMPARE(grid.rows, Rows{});
}

void TstTableParser::regressions_data()
{
    QTest::addColumn<QString>("file");
    const QDir dir(QStringLiteral(TABLE_FIXTURES_DIR "/regress"));
    for (const QString &name : dir.entryList(QDir::Files, QDir::Name))
        QTest::newRow(qPrintable(name)) << QStringLiteral("regress/") + name;
}

// Inputs that once crashed or tripped a sanitizer; they must parse to a
// well-formed grid (usually empty).
void TstTableParser::regressions()
{
    QFETCH(QString, file);
    const Grid grid = parse(fixture(file));
    QVERIFY2(grid.error.isEmpty(), qPrintable(grid.error));
}

void TstTableParser::emptyArguments()
{
    const uint8_t byte = ';';
    const TableData fromNull = parseTableData(nullptr, 10);
    QCOMPARE(fromNull.shape, uint64_t{0});
    QVERIFY(fromNull.cells == nullptr);
    const TableData fromEmpty = parseTableData(&byte, 0);
    QCOMPARE(fromEmpty.shape, uint64_t{0});
    QVERIFY(fromEmpty.cells == nullptr);
}

void TstTableParser::freeIgnoresEmptyGrids()
{
    // Any touch of these pointers would crash or trip the allocator.
    char *cell = nullptr;
    char **row = &cell;
    freeTableData(0, nullptr);
    freeTableData(uint64_t{3} | (uint64_t{2} << 32), nullptr);
    freeTableData(uint64_t{0} | (uint64_t{2} << 32), &row);
    freeTableData(uint64_t{0xFFFFFFFFu} | (uint64_t{2} << 32), &row); // row count -1
    QVERIFY(cell == nullptr);
}

void TstTableParser::parallelCallsAgree()
{
    const QList<QByteArray> inputs = {fixture("three_sheets.xlsx"), fixture("sheets.xls"),
                                      fixture("exporter_style.xlsx"), kTurkishCsv.toUtf8(),
                                      QByteArray("<table><tr><td>a</td></tr></table>"),
                                      QByteArray("\xDD\xFElem;a;b;c;d;e;f\n")};
    QList<Rows> serial;
    for (const QByteArray &input : inputs)
        serial << parse(input).rows;

    constexpr int threadCount = 4;
    std::vector<QList<Rows>> results(threadCount);
    std::vector<std::thread> threads;
    for (int t = 0; t < threadCount; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 10; ++round) {
                for (const QByteArray &input : inputs)
                    results[t] << parse(input).rows;
            }
        });
    }
    for (std::thread &thread : threads)
        thread.join();
    for (const QList<Rows> &result : results) {
        for (qsizetype i = 0; i < result.size(); ++i)
            QCOMPARE(result[i], serial[i % serial.size()]);
    }
}

void TstTableParser::formatCodes_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<bool>("date");
    QTest::addColumn<bool>("decimal");
    QTest::newRow("general") << "General" << false << false;
    QTest::newRow("grouped integer") << "#,##0" << false << false;
    QTest::newRow("two decimals") << "#,##0.00" << false << true;
    QTest::newRow("optional decimals") << "#,##0.##" << false << true;
    QTest::newRow("colour and decimals") << "[Red]#,##0.00" << false << true;
    QTest::newRow("quoted text with letters") << "\"Tutar: \"0.00" << false << true;
    QTest::newRow("escaped d") << "\\d0" << false << false;
    QTest::newRow("scientific") << "0.00E+00" << false << false;
    QTest::newRow("decimals only in the second section") << "0;-0.00" << false << false;
    QTest::newRow("unclosed bracket") << "0.00[Red" << false << false;
    QTest::newRow("day first date") << "dd.mm.yyyy" << true << false;
    QTest::newRow("locale then date") << "[$-41F]dd/mm/yyyy" << true << false;
    QTest::newRow("elapsed hours") << "[h]:mm" << true << false;
    QTest::newRow("colour is no date") << "[Red]0" << false << false;
    QTest::newRow("time with decimals") << "hh:mm:ss.00" << true << true;
}

void TstTableParser::formatCodes()
{
    QFETCH(QString, code);
    QFETCH(bool, date);
    QFETCH(bool, decimal);
    const std::string bytes = code.toStdString();
    QCOMPARE(corvina::tableparser::isDateFormatCode(bytes), date);
    QCOMPARE(corvina::tableparser::isDecimalFormatCode(bytes), decimal);
}

QTEST_GUILESS_MAIN(TstTableParser)
#include "tst_tableparser.moc"
