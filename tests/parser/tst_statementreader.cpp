// The file readers: which table of a file is the statement, how its cells become one
// normalised line per entry, PDF text, and files that cannot be read.

#include "parser/accountparser.h"

#include <QBuffer>
#include <QFile>
#include <QRandomGenerator>
#include <QTest>

namespace {

const QString fixtures = QStringLiteral(CORVINA_TEST_SOURCE_DIR "/tests/data/statements/");
const QString tableFixtures = QStringLiteral(CORVINA_TEST_SOURCE_DIR "/tests/data/tables/");

// Rows of cells, '|' between cells and '#' between rows.
QByteArray htmlTable(const QByteArray &rows)
{
    QByteArray html = "<html><head><meta charset=\"utf-8\"></head><body><table>";
    for (const QByteArray &row : rows.split('#')) {
        html += "<tr>";
        for (const QByteArray &cell : row.split('|'))
            html += "<td>" + cell + "</td>";
        html += "</tr>";
    }
    return html + "</table></body></html>";
}

QByteArray read(const QByteArray &bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return AccountParser::readTable(buffer);
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("missing fixture %s", qPrintable(path));
    return file.readAll();
}

WordLists smallLists()
{
    WordLists lists;
    lists[EraseField] = {"GELEN FAST", "GELEN EFT", "GELEN HAVALE"};
    lists[SuspFields] = {"HAVALE", "SIPARIS"};
    return lists;
}

const QHash<QByteArray, NamePoints> names{
    {"AHMET", {9, 0}}, {"YILMAZ", {0, 9}}, {"AYSE", {9, 0}}, {"DEMIR", {0, 9}},
    {"MEHMET", {9, 0}}, {"KAYA", {0, 9}},
};

const QByteArray statementLine = "05.03.2024;GELEN FAST;AHMET YILMAZ;siparis;1.500,00;12.345,67\n";

} // namespace

class tst_StatementReader : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readTable_data();
    void readTable();
    void readPdf();
    void pdfRowsEndToEnd();
    void badInput_data();
    void badInput();
    void hugeText();
};

void tst_StatementReader::readTable_data()
{
    QTest::addColumn<QByteArray>("rows");
    QTest::addColumn<QByteArray>("text");

    const QByteArray entry = "|GELEN FAST|AHMET YILMAZ|1.500,00|12.345,67";
    const QByteArray line = "|GELEN FAST|AHMET YILMAZ|1.500,00|12.345,67\n";
    QTest::newRow("header skipped") << "Tarih|Aciklama|Ad|Tutar|Bakiye#05.03.2024" + entry
                                    << "05.03.2024" + line;
    QTest::newRow("date and time in one cell") << "2024-03-05 10:15" + entry << "05.03.2024" + line;
    QTest::newRow("date-time glued by dash") << "26/08/2026-14:58:47" + entry << "26.08.2026" + line;
    QTest::newRow("short date kept short") << "5/3/2024" + entry << "5.3.2024" + line;
    QTest::newRow("columns before the date dropped") << "17|05.03.2024" + entry << "05.03.2024" + line;
    QTest::newRow("empty cells skipped") << QByteArray("05.03.2024||GELEN FAST||AHMET YILMAZ|1.500,00|12.345,67")
                                         << "05.03.2024" + line;
    QTest::newRow("cell cleaning") << QByteArray("05.03.2024|Ahmet'in_ödemesi; sipariş|ŞÜKRÜ ÇAĞLAR|1.500,00|€ 7")
                                   << QByteArray("05.03.2024|Ahmet in odemesi|siparis|SUKRU CAGLAR|1.500,00|7\n");
    QTest::newRow("line break inside a cell") << QByteArray("05.03.2024|GELEN FAST<br>AHMET|x|1,00|2,00")
                                              << QByteArray("05.03.2024|GELEN FAST AHMET|x|1,00|2,00\n");
    QTest::newRow("larger table wins")
        << "05.03.2024" + entry + "#Devir#Ozet|a|b|c|d#06.03.2024" + entry + "#07.03.2024" + entry
        << "06.03.2024" + line + "07.03.2024" + line;
    QTest::newRow("equal areas, upper wins")
        << "05.03.2024" + entry + "#Devir#06.03.2024" + entry
        << "05.03.2024" + line;
    QTest::newRow("row without date ends the block")
        << "01.03.2024" + entry + "#Toplam|1|2|3|4#05.03.2024" + entry + "#06.03.2024" + entry
        << "05.03.2024" + line + "06.03.2024" + line;
    // Two downloads pasted one below the other: each under the same header,
    // both read in file order; an entry repeated by overlapping periods once.
    const QByteArray header = "Tarih|Aciklama|Ad|Tutar|Bakiye";
    QTest::newRow("same export pasted twice")
        << header + "#05.03.2024" + entry + "#06.03.2024" + entry + "#Toplam|1|2|3|4#Hesap#" + header
               + "#09.03.2024" + entry
        << "05.03.2024" + line + "06.03.2024" + line + "09.03.2024" + line;
    QTest::newRow("pasted exports overlap")
        << header + "#05.03.2024" + entry + "#06.03.2024|GELEN EFT|AYSE DEMIR|2,00|3,00#" + header
               + "#09.03.2024" + entry + "#06.03.2024|GELEN EFT|AYSE DEMIR|2,00|3,00"
        << "05.03.2024" + line + "06.03.2024|GELEN EFT|AYSE DEMIR|2,00|3,00\n" + "09.03.2024" + line;
    QTest::newRow("a table under another header is not the same export")
        << header + "#05.03.2024" + entry + "#06.03.2024" + entry + "#Kart|Islem|Ad|Tutar|Bakiye#09.03.2024"
               + entry
        << "05.03.2024" + line + "06.03.2024" + line;
    // General-format spreadsheet cells: a whole amount beside fractional ones
    // in its column is money; references, identity numbers and columns that
    // are not all numbers stay as written.
    QTest::newRow("whole amounts in a money column")
        << QByteArray("05.03.2024|GELEN FAST|AHMET YILMAZ|1500|12345.67|123456789012|10000000146"
                      "#06.03.2024|GELEN EFT|AYSE DEMIR|-2750.5|9595|123456789013|x")
        << QByteArray("05.03.2024|GELEN FAST|AHMET YILMAZ|1500.00|12345.67|123456789012|10000000146\n"
                      "06.03.2024|GELEN EFT|AYSE DEMIR|-2750.5|9595.00|123456789013|x\n");
    QTest::newRow("whole numbers only stay whole")
        << QByteArray("05.03.2024|GELEN FAST|AHMET YILMAZ|1500|12345#06.03.2024|GELEN EFT|AYSE DEMIR|2750|1.500,50")
        << QByteArray("05.03.2024|GELEN FAST|AHMET YILMAZ|1500|12345\n06.03.2024|GELEN EFT|AYSE DEMIR|2750|1.500,50\n");
    QTest::newRow("wider rows widen the block")
        << "05.03.2024" + entry + "#06.03.2024" + entry + "|TL"
        << "05.03.2024" + line + "06.03.2024|GELEN FAST|AHMET YILMAZ|1.500,00|12.345,67|TL\n";
    QTest::newRow("narrow table is no statement") << QByteArray("05.03.2024|1,00|2,00#06.03.2024|3,00|4,00")
                                                  << QByteArray();
    QTest::newRow("no dates") << QByteArray("Tarih|Aciklama|Ad|Tutar|Bakiye") << QByteArray();
    QTest::newRow("year outside 20xx") << QByteArray("05.03.1999|a|b|c|d") << QByteArray();
}

void tst_StatementReader::readTable()
{
    QFETCH(QByteArray, rows);
    QFETCH(QByteArray, text);
    QCOMPARE(read(htmlTable(rows)), text);
}

void tst_StatementReader::readPdf()
{
    // Heading up to the first entry dropped, a date after "label:" joined to its line,
    // a wrapped description joined to its entry, page text carried on.
    QCOMPARE(read(fileBytes(fixtures + "statement.pdf")),
             QByteArray("05.03.2024 GELEN FAST - AHMET YILMAZ - siparis 1.500,00 12.345,67\n"
                        "06.03.2024 GELEN EFT - AYSE DEMIR - 2.750,50 15.096,17 Sayfa 2\n"
                        "07.03.2024 GELEN HAVALE - MEHMET KAYA   bilezik bedeli 10.000,00 25.096,17 \n"));
}

void tst_StatementReader::pdfRowsEndToEnd()
{
    AccountParser parser(smallLists(), &names);
    const QList<Row> rows = parser.parseText(read(fileBytes(fixtures + "statement.pdf")));
    QCOMPARE(rows.size(), 3);
    QCOMPARE(rows.at(1).date, QByteArray("2024-03-06"));
    QCOMPARE(rows.at(1).price, 275050);
    QCOMPARE(rows.at(1).names.value(0), QByteArray("AYSE DEMIR"));
    QCOMPARE(rows.at(2).price, 1000000);
    QCOMPARE(rows.at(2).names.value(0), QByteArray("MEHMET KAYA"));
}

void tst_StatementReader::badInput_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("minimumRows");

    const QByteArray pdf = fileBytes(fixtures + "statement.pdf");
    const QByteArray xlsx = fileBytes(tableFixtures + "three_sheets.xlsx");
    QByteArray lockedWorkbook = fileBytes(tableFixtures + "sheets.xls");
    // A compound file without a workbook stream, as an encrypted workbook looks.
    lockedWorkbook.replace(QByteArray("W\0o\0r\0k\0b\0o\0o\0k\0", 16), QByteArray("E\0n\0c\0r\0P\0a\0c\0k\0", 16));

    QByteArray garbage(1 << 20, '\0');
    QRandomGenerator random(7);
    random.fillRange(reinterpret_cast<quint32 *>(garbage.data()), garbage.size() / 4);

    QByteArray nulCell = statementLine + statementLine;
    nulCell.replace("AHMET YILMAZ", QByteArray("AHMET\0YILMAZ", 12));

    QByteArray mixed = statementLine;
    mixed += QByteArray("06.03.2024;GELEN FAST;\xdd\xfeKR\xdc \xc7" "A\xd0LAR;siparis;2.000,00;14.345,67\n");
    mixed += QByteArray("07.03.2024;GELEN FAST;ŞÜKRÜ ÇAĞLAR;siparis;3.000,00;17.345,67\n");

    QTest::newRow("empty") << QByteArray() << 0;
    QTest::newRow("pdf signature only") << QByteArray("%PDF-") << 0;
    QTest::newRow("truncated pdf") << pdf.left(pdf.size() / 2) << 0;
    QTest::newRow("encrypted pdf") << fileBytes(fixtures + "encrypted.pdf") << 0;
    QTest::newRow("truncated workbook") << xlsx.left(xlsx.size() / 2) << 0;
    QTest::newRow("workbook without workbook stream") << lockedWorkbook << 0;
    QTest::newRow("opendocument") << fileBytes(tableFixtures + "spreadsheet.ods") << 0;
    QTest::newRow("binary garbage") << garbage << 0;
    QTest::newRow("zip signature and garbage") << "PK\x03\x04" + garbage << 0;
    // The table reader may refuse a text file holding NUL; it must not fail on it.
    QTest::newRow("NUL byte in a cell") << nulCell << 0;
    QTest::newRow("mixed encodings") << mixed << 2;
}

void tst_StatementReader::badInput()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, minimumRows);
    AccountParser parser(smallLists(), &names);
    const QList<Row> rows = parser.parseText(read(bytes));
    QVERIFY2(rows.size() >= minimumRows, qPrintable(QString::number(rows.size())));
}

void tst_StatementReader::hugeText()
{
    // 50 MB of statement lines: too many cells for the table reader (it gives nothing),
    // and, handed straight to the line parser, every line is read.
    QByteArray text;
    const int lines = 50 * 1024 * 1024 / statementLine.size();
    text.reserve(lines * statementLine.size());
    for (int k = 0; k < lines; ++k)
        text += statementLine;
    QVERIFY(read(text).size() < text.size());

    QByteArray normalised = text;
    normalised.replace(';', '|');
    AccountParser parser(smallLists(), &names);
    QCOMPARE(parser.parseText(normalised).size(), lines);
}

QTEST_GUILESS_MAIN(tst_StatementReader)
#include "tst_statementreader.moc"
