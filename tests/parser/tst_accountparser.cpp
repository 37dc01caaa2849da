// Field classification and line parsing on small word lists and a small name table,
// so that each case shows which list entry or name point decides it.

#include "parser/accountparser.h"

#include <QDir>
#include <QFile>
#include <QTest>

namespace {

QList<QByteArray> words(const char *text)
{
    QList<QByteArray> list = QByteArray(text).split(':');
    list.removeAll(QByteArray());
    return list;
}

WordLists testLists()
{
    WordLists lists;
    lists[FilterWord] = words("IADE:IPTAL*:HESAPLAR ARASI:KREDI KARTI*");
    lists[SelectNext] = words("GONDEREN:GONDEREN ADI");
    lists[SelectPrev] = words("*TARAFINDAN:*TARAFINDAN GONDERILEN");
    lists[IgnoreNext] = words("ACIKLAMA:REFERANS NO");
    lists[CompFields] = words("LTD:STI:KUYUMCULUK:TIC:VE:SAN.:A.S.");
    lists[SuspFields] = words("HAVALE:EFT:ODEME:BANKASI");
    lists[EraseField] = words("SAYIN:FAST*:KAYA:GELEN FAST");
    return lists;
}

const QHash<QByteArray, NamePoints> &testNames()
{
    static const QHash<QByteArray, NamePoints> names{
        {"AHMET", {9, 0}}, {"YILMAZ", {0, 9}}, {"AYSE", {9, 0}}, {"DEMIR", {0, 9}},
        {"MEHMET", {9, 0}}, {"KAYA", {0, 9}}, {"ALI", {9, 0}}, {"VELI", {9, 0}},
        {"OZTURK", {0, 9}}, {"CAN", {5, 5}}, {"ELIF", {9, 0}}, {"ARSLAN", {3, 9}},
    };
    return names;
}

QList<QByteArray> tokensOf(const char *joined)
{
    if (!*joined)
        return {};
    return QByteArray(joined).split('|');
}

// The row the way the tests compare it: date|price|first name|score|ident|invalid.
QByteArray describe(const Row &row)
{
    return row.date + '|' + QByteArray::number(row.price) + '|' + row.names.value(0) + '|'
        + QByteArray::number(row.scores.value(0)) + '|' + QByteArray::number(row.ident()) + '|'
        + (row.invalid ? "invalid" : "valid");
}

// Separator counts and positions the way the line walk records them.
void feedNumber(AccountParser &parser, QByteArray field)
{
    int commas = 0, lastComma = -1, dots = 0, lastDot = -1;
    for (int k = 1; k + 1 < field.size(); ++k) {
        const bool between = isdigit(uchar(field.at(k - 1))) && isdigit(uchar(field.at(k + 1)));
        if (between && field.at(k) == ',') {
            ++commas;
            lastComma = k;
        } else if (between && field.at(k) == '.') {
            ++dots;
            lastDot = k;
        }
    }
    parser.formatNumber(field, lastComma, commas, lastDot, dots);
}

} // namespace

class tst_AccountParser : public QObject
{
    Q_OBJECT

private:
    AccountParser parser{testLists(), &testNames()};

private Q_SLOTS:
    void init() { parser.clearRow(); }

    void checkWord_data();
    void checkWord();
    void formatWord_data();
    void formatWord();
    void suspectWordsFromLists();
    void splitField_data();
    void splitField();
    void formatField_data();
    void formatField();
    void formatNumber_data();
    void formatNumber();
    void formatDate_data();
    void formatDate();
    void checkName_data();
    void checkName();
    void saveName_data();
    void saveName();
    void parseText_data();
    void parseText();
    void parseTextIsRepeatable();
    void fuzzRegressions_data();
    void fuzzRegressions();
};

void tst_AccountParser::checkWord_data()
{
    QTest::addColumn<QByteArray>("word");
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("code");
    QTest::addColumn<QByteArray>("result");

    QTest::newRow("marker stays") << QByteArray("<") << 0 << 5 << QByteArray("<");
    QTest::newRow("other single letter") << QByteArray("B") << 1 << 1 << QByteArray("@");
    QTest::newRow("filter word anywhere") << QByteArray("IADE") << 3 << 2 << QByteArray("?");
    QTest::newRow("select next") << QByteArray("GONDEREN") << 1 << 4 << QByteArray("=");
    QTest::newRow("leading star matches at end") << QByteArray("TARAFINDAN") << 2 << 5 << QByteArray("<");
    QTest::newRow("leading star not at start") << QByteArray("TARAFINDAN") << 1 << 0 << QByteArray("TARAFINDAN");
    QTest::newRow("trailing star at start") << QByteArray("FAST") << 1 << 1 << QByteArray("@");
    QTest::newRow("trailing star not at end") << QByteArray("FAST") << 2 << 0 << QByteArray("FAST");
    QTest::newRow("trailing star as whole field") << QByteArray("FAST") << 0 << 1 << QByteArray("@");
    QTest::newRow("surname in list kept at end") << QByteArray("KAYA") << 2 << 0 << QByteArray("KAYA");
    QTest::newRow("surname in list kept inside") << QByteArray("KAYA") << 3 << 0 << QByteArray("KAYA");
    QTest::newRow("surname in list erased at start") << QByteArray("KAYA") << 1 << 1 << QByteArray("@");
    QTest::newRow("X without vowel") << QByteArray("XYZ") << 1 << 1 << QByteArray("@");
    QTest::newRow("W with vowel") << QByteArray("WATSON") << 1 << 0 << QByteArray("WATSON");
    QTest::newRow("two letters without vowel") << QByteArray("BK") << 3 << 1 << QByteArray("@");
    QTest::newRow("two letters with vowel") << QByteArray("AK") << 3 << 0 << QByteArray("AK");
    QTest::newRow("long word without vowel") << QByteArray("SRTK") << 3 << 0 << QByteArray("SRTK");
}

void tst_AccountParser::checkWord()
{
    QFETCH(QByteArray, word);
    QFETCH(int, position);
    QFETCH(int, code);
    QFETCH(QByteArray, result);
    QCOMPARE(parser.checkWord(word, position), code);
    QCOMPARE(word, result);
}

void tst_AccountParser::formatWord_data()
{
    QTest::addColumn<QByteArray>("word");
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("code");

    // FAST may only begin a text, TARAFINDAN only end one.
    QTest::newRow("only word") << QByteArray("TARAFINDAN") << 0 << 1 << 5;
    QTest::newRow("first of three") << QByteArray("FAST") << 0 << 3 << 1;
    QTest::newRow("last of three, start-only word") << QByteArray("FAST") << 2 << 3 << 0;
    QTest::newRow("last of three") << QByteArray("TARAFINDAN") << 2 << 3 << 5;
    QTest::newRow("middle of three") << QByteArray("TARAFINDAN") << 1 << 3 << 0;
    QTest::newRow("last of two") << QByteArray("TARAFINDAN") << 1 << 2 << 5;
}

void tst_AccountParser::formatWord()
{
    QFETCH(QByteArray, word);
    QFETCH(int, index);
    QFETCH(int, count);
    QFETCH(int, code);
    QCOMPARE(parser.formatWord(word, index, count), code);
}

void tst_AccountParser::suspectWordsFromLists()
{
    // Words restricted to one end of a text doubt a name; plain non-name words do not.
    const QSet<QByteArray> &suspects = parser.suspectSet();
    QVERIFY(suspects.contains("HAVALE"));
    QVERIFY(suspects.contains("FAST"));
    QVERIFY(suspects.contains("TARAFINDAN"));
    QVERIFY(suspects.contains("KAYA"));
    QVERIFY(!suspects.contains("IADE"));
    QVERIFY(!suspects.contains("SAYIN"));
}

void tst_AccountParser::splitField_data()
{
    QTest::addColumn<QByteArray>("field");
    QTest::addColumn<QByteArray>("previous");
    QTest::addColumn<QByteArray>("tokens");   // joined by '|'
    QTest::addColumn<QByteArray>("name");

    QTest::newRow("currency TL") << QByteArray("TL") << QByteArray() << QByteArray() << QByteArray();
    QTest::newRow("currency TRY") << QByteArray("TRY") << QByteArray() << QByteArray() << QByteArray();
    QTest::newRow("single letter") << QByteArray("Q") << QByteArray() << QByteArray("@") << QByteArray();
    QTest::newRow("single marker") << QByteArray("=") << QByteArray() << QByteArray("=") << QByteArray();
    QTest::newRow("filter phrase whole") << QByteArray("HESAPLAR ARASI") << QByteArray() << QByteArray("?") << QByteArray();
    QTest::newRow("filter phrase inside") << QByteArray("AHMET HESAPLAR ARASI VIRMAN") << QByteArray()
                                          << QByteArray("?") << QByteArray();
    QTest::newRow("filter phrase glued is no match") << QByteArray("AHMET HESAPLAR ARASIX") << QByteArray()
                                                     << QByteArray("AHMET HESAPLAR ARASIX") << QByteArray();
    QTest::newRow("trailing star phrase at start") << QByteArray("KREDI KARTI BORCU") << QByteArray()
                                                   << QByteArray("?") << QByteArray();
    QTest::newRow("trailing star phrase not at end") << QByteArray("BORCU KREDI KARTI") << QByteArray()
                                                     << QByteArray("BORCU KREDI KARTI") << QByteArray();
    QTest::newRow("select prev at end") << QByteArray("AHMET YILMAZ TARAFINDAN GONDERILEN") << QByteArray()
                                        << QByteArray(">") << QByteArray("AHMET YILMAZ");
    QTest::newRow("select prev at end, no name") << QByteArray("SIPARIS TARAFINDAN GONDERILEN") << QByteArray()
                                                 << QByteArray("SIPARIS|@") << QByteArray();
    QTest::newRow("select prev whole takes previous") << QByteArray("TARAFINDAN GONDERILEN") << QByteArray("AYSE DEMIR")
                                                      << QByteArray(">") << QByteArray("AYSE DEMIR");
    QTest::newRow("select next whole") << QByteArray("GONDEREN ADI") << QByteArray() << QByteArray("=") << QByteArray();
    QTest::newRow("select next at start") << QByteArray("GONDEREN ADI AYSE DEMIR") << QByteArray()
                                          << QByteArray(">") << QByteArray("AYSE DEMIR");
    QTest::newRow("select next at start, no name") << QByteArray("GONDEREN ADI SIPARIS NOTU") << QByteArray()
                                                   << QByteArray("@|SIPARIS NOTU") << QByteArray();
    QTest::newRow("select next at end") << QByteArray("HAVALE GONDEREN ADI") << QByteArray()
                                        << QByteArray("HAVALE|=") << QByteArray();
    QTest::newRow("select next inside") << QByteArray("HAVALE GONDEREN ADI AHMET YILMAZ") << QByteArray()
                                        << QByteArray("HAVALE|>") << QByteArray("AHMET YILMAZ");
    QTest::newRow("ignore phrase at start") << QByteArray("REFERANS NO ABC") << QByteArray()
                                            << QByteArray(">") << QByteArray();
    QTest::newRow("ignore phrase at end") << QByteArray("SIPARIS REFERANS NO") << QByteArray()
                                          << QByteArray("SIPARIS|>") << QByteArray();
    QTest::newRow("erase phrase whole") << QByteArray("GELEN FAST") << QByteArray() << QByteArray("@") << QByteArray();
    QTest::newRow("erase phrase at start") << QByteArray("GELEN FAST AHMET YILMAZ") << QByteArray()
                                           << QByteArray("@|AHMET YILMAZ") << QByteArray();
    QTest::newRow("erase phrase inside") << QByteArray("AHMET GELEN FAST YILMAZ") << QByteArray()
                                         << QByteArray("AHMET|@|YILMAZ") << QByteArray();
    QTest::newRow("plain text") << QByteArray("AHMET YILMAZ") << QByteArray() << QByteArray("AHMET YILMAZ")
                                << QByteArray();
}

void tst_AccountParser::splitField()
{
    QFETCH(QByteArray, field);
    QFETCH(QByteArray, previous);
    QFETCH(QByteArray, tokens);
    QFETCH(QByteArray, name);
    QCOMPARE(parser.splitField(field, previous), tokensOf(tokens));
    QCOMPARE(parser.currentRow().names.value(0), name);
}

void tst_AccountParser::formatField_data()
{
    QTest::addColumn<QByteArray>("field");
    QTest::addColumn<QByteArray>("previous");
    QTest::addColumn<QByteArray>("tokens");
    QTest::addColumn<QByteArray>("name");

    QTest::newRow("name written twice") << QByteArray("AHMET YILMAZ AHMET YILMAZ") << QByteArray()
                                        << QByteArray() << QByteArray("AHMET YILMAZ");
    QTest::newRow("repeat must reach the end") << QByteArray("AHMET YILMAZ AHMET YILMAZ SIPARIS") << QByteArray()
                                               << QByteArray("AHMET YILMAZ AHMET YILMAZ SIPARIS") << QByteArray();
    QTest::newRow("erase word at start") << QByteArray("SAYIN AHMET YILMAZ") << QByteArray()
                                         << QByteArray("@|AHMET YILMAZ") << QByteArray();
    QTest::newRow("name after select word") << QByteArray("GONDEREN AHMET YILMAZ") << QByteArray()
                                            << QByteArray(">") << QByteArray("AHMET YILMAZ");
    QTest::newRow("select word alone waits") << QByteArray("GONDEREN") << QByteArray() << QByteArray("=")
                                             << QByteArray();
    QTest::newRow("name before select prev word") << QByteArray("AHMET YILMAZ TARAFINDAN") << QByteArray()
                                                  << QByteArray(">") << QByteArray("AHMET YILMAZ");
    QTest::newRow("select prev word takes previous field") << QByteArray("TARAFINDAN") << QByteArray("AYSE DEMIR")
                                                           << QByteArray(">") << QByteArray("AYSE DEMIR");
    QTest::newRow("trailing star filter at start") << QByteArray("IPTAL AHMET YILMAZ") << QByteArray()
                                                   << QByteArray("?") << QByteArray();
    QTest::newRow("trailing star filter not at end") << QByteArray("AHMET YILMAZ IPTAL") << QByteArray()
                                                     << QByteArray("AHMET YILMAZ IPTAL") << QByteArray();
    QTest::newRow("plain filter at end") << QByteArray("AHMET YILMAZ IADE") << QByteArray()
                                         << QByteArray("AHMET YILMAZ|?") << QByteArray();
    QTest::newRow("surname erase word kept at end") << QByteArray("MEHMET KAYA") << QByteArray()
                                                    << QByteArray("MEHMET KAYA") << QByteArray();
    QTest::newRow("foreign word erased") << QByteArray("XQZ AHMET YILMAZ") << QByteArray()
                                         << QByteArray("@|AHMET YILMAZ") << QByteArray();
    QTest::newRow("ignore word ends the field") << QByteArray("AHMET ACIKLAMA SIPARIS") << QByteArray()
                                                << QByteArray("AHMET|>") << QByteArray();
}

void tst_AccountParser::formatField()
{
    QFETCH(QByteArray, field);
    QFETCH(QByteArray, previous);
    QFETCH(QByteArray, tokens);
    QFETCH(QByteArray, name);
    QCOMPARE(parser.formatField(field, previous), tokensOf(tokens));
    QCOMPARE(parser.currentRow().names.value(0), name);
}

void tst_AccountParser::formatNumber_data()
{
    QTest::addColumn<QByteArray>("fields");   // number fields of one line, '|'-separated
    QTest::addColumn<qint64>("price");
    QTest::addColumn<QByteArray>("tokens");
    QTest::addColumn<qint64>("nationalNo");
    QTest::addColumn<qint64>("taxNo");

    QTest::newRow("amount then balance") << QByteArray("1.500,00|12.345,67") << qint64(150000) << QByteArray("")
                                         << qint64(0) << qint64(0);
    QTest::newRow("lone amount waits") << QByteArray("1.500,00") << qint64(0) << QByteArray("|1500.00")
                                       << qint64(0) << qint64(0);
    QTest::newRow("comma decimals") << QByteArray("19,99|5,00") << qint64(1999) << QByteArray("")
                                    << qint64(0) << qint64(0);
    QTest::newRow("dot decimals, comma thousands") << QByteArray("1,234.56|1.00") << qint64(123456)
                                                   << QByteArray("") << qint64(0) << qint64(0);
    QTest::newRow("plain dot decimals") << QByteArray("1500.00|2000.00") << qint64(150000) << QByteArray("")
                                        << qint64(0) << qint64(0);
    QTest::newRow("one decimal") << QByteArray("4125.6|1,00") << qint64(412560) << QByteArray("")
                                 << qint64(0) << qint64(0);
    QTest::newRow("negative amount") << QByteArray("-2.500,00|1.000,00") << qint64(-250000) << QByteArray("")
                                     << qint64(0) << qint64(0);
    QTest::newRow("millions") << QByteArray("1.234.567,89|0,00") << qint64(123456789) << QByteArray("")
                              << qint64(0) << qint64(0);
    QTest::newRow("more decimals are cut") << QByteArray("1.500,009|1,00") << qint64(150000) << QByteArray("")
                                           << qint64(0) << qint64(0);
    QTest::newRow("third number ignored") << QByteArray("1.500,00|12.345,67|99,00") << qint64(150000)
                                          << QByteArray("") << qint64(0) << qint64(0);
    QTest::newRow("comma list") << QByteArray("12,345,67") << qint64(0) << QByteArray("") << qint64(0)
                                << qint64(0);
    QTest::newRow("two dots, no comma") << QByteArray("1.2.3") << qint64(0) << QByteArray("") << qint64(0)
                                        << qint64(0);
    QTest::newRow("personal number") << QByteArray("60020359274") << qint64(0) << QByteArray("")
                                     << qint64(60020359274) << qint64(0);
    QTest::newRow("second personal number ignored") << QByteArray("60020359274|12345678950") << qint64(0)
                                                    << QByteArray("") << qint64(60020359274) << qint64(0);
    QTest::newRow("tax number") << QByteArray("7475530314") << qint64(0) << QByteArray("") << qint64(0)
                                << qint64(7475530314);
    QTest::newRow("check digit wrong") << QByteArray("60020359275|7475530315") << qint64(0) << QByteArray("")
                                       << qint64(0) << qint64(0);
    QTest::newRow("signed twelve characters") << QByteArray("-60020359274") << qint64(0) << QByteArray("")
                                              << qint64(60020359274) << qint64(0);
    QTest::newRow("twelve digits") << QByteArray("560020359274") << qint64(0) << QByteArray("") << qint64(0)
                                   << qint64(0);
    QTest::newRow("leading zero") << QByteArray("07475530314") << qint64(0) << QByteArray("") << qint64(0)
                                  << qint64(0);
    QTest::newRow("not all digits") << QByteArray("74755+30314") << qint64(0) << QByteArray("") << qint64(0)
                                    << qint64(0);
}

void tst_AccountParser::formatNumber()
{
    QFETCH(QByteArray, fields);
    QFETCH(qint64, price);
    QFETCH(QByteArray, tokens);
    QFETCH(qint64, nationalNo);
    QFETCH(qint64, taxNo);

    for (const QByteArray &field : fields.split('|'))
        feedNumber(parser, field);
    const Row &row = parser.currentRow();
    QCOMPARE(row.price, price);
    QCOMPARE(row.tokens, QByteArray(tokens).split('|'));
    QCOMPARE(row.nationalNo, nationalNo);
    QCOMPARE(row.taxNo, taxNo);
}

void tst_AccountParser::formatDate_data()
{
    QTest::addColumn<QByteArray>("field");
    QTest::addColumn<QByteArray>("date");

    QTest::newRow("full") << QByteArray("05.03.2024") << QByteArray("2024-03-05");
    QTest::newRow("short day and month") << QByteArray("5.3.2024") << QByteArray("2024-03-05");
    QTest::newRow("short month") << QByteArray("15.3.2024") << QByteArray("2024-03-15");
    QTest::newRow("short day") << QByteArray("5.12.2024") << QByteArray("2024-12-05");
    QTest::newRow("too short") << QByteArray("5") << QByteArray("--5");
}

void tst_AccountParser::formatDate()
{
    QFETCH(QByteArray, field);
    QFETCH(QByteArray, date);
    parser.formatDate(field);
    QCOMPARE(parser.currentRow().date, date);
}

void tst_AccountParser::checkName_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<int>("score");

    QTest::newRow("four letters") << QByteArray("ALIK") << -1;
    QTest::newRow("single word") << QByteArray("AHMET") << 10;
    QTest::newRow("first name and surname") << QByteArray("AHMET YILMAZ") << 55;
    QTest::newRow("double surname") << QByteArray("AYSE DEMIR OZTURK") << 55;
    // KAYA stands in an erase list, restricted to the start of a text: it doubts a name.
    QTest::newRow("surname that is also an erase word") << QByteArray("MEHMET KAYA") << 44;
    QTest::newRow("two first names and surname") << QByteArray("ALI VELI OZTURK") << 55;
    QTest::newRow("first name and unknown word") << QByteArray("AHMET SIPARIS") << 44;
    QTest::newRow("first name and doubtful word") << QByteArray("AHMET HAVALE") << 33;
    QTest::newRow("only doubtful words") << QByteArray("HAVALE EFT ODEME") << 0;
    QTest::newRow("all company words") << QByteArray("KUYUMCULUK LTD STI") << 10;
    QTest::newRow("company with name word") << QByteArray("ZUMRUT KUYUMCULUK TIC LTD STI") << 50;
    QTest::newRow("short company") << QByteArray("ZUMRUT KUYUMCULUK") << 30;
    QTest::newRow("unknown words") << QByteArray("SIPARIS NOTU") << 20;
    QTest::newRow("empty") << QByteArray() << -1;
}

void tst_AccountParser::checkName()
{
    QFETCH(QByteArray, name);
    QFETCH(int, score);
    QCOMPARE(parser.checkName(name), score);
}

void tst_AccountParser::saveName_data()
{
    QTest::addColumn<QByteArrayList>("offers");   // "NAME@level"
    QTest::addColumn<QByteArray>("accepted");     // one character per offer: 1 or 0
    QTest::addColumn<QByteArrayList>("names");

    QTest::newRow("level too high") << QByteArrayList{"AHMET SIPARIS@5"} << QByteArray("0") << QByteArrayList{};
    QTest::newRow("same name once") << QByteArrayList{"AHMET YILMAZ@5", "AHMET YILMAZ@5"} << QByteArray("11")
                                    << QByteArrayList{"AHMET YILMAZ"};
    QTest::newRow("far weaker refused") << QByteArrayList{"AHMET YILMAZ@5", "SIPARIS NOTU@1"} << QByteArray("10")
                                        << QByteArrayList{"AHMET YILMAZ"};
    QTest::newRow("word after phrase refused") << QByteArrayList{"AHMET YILMAZ@5", "MEHMET@1"} << QByteArray("10")
                                               << QByteArrayList{"AHMET YILMAZ"};
    QTest::newRow("close candidates kept") << QByteArrayList{"AHMET YILMAZ@5", "AHMET SIPARIS@1"}
                                           << QByteArray("11") << QByteArrayList{"AHMET YILMAZ", "AHMET SIPARIS"};
    QTest::newRow("fourth far weaker refused")
        << QByteArrayList{"AHMET YILMAZ@1", "AYSE DEMIR@1", "ALI VELI OZTURK@1", "SIPARIS NOTU@1"}
        << QByteArray("1110") << QByteArrayList{"AHMET YILMAZ", "AYSE DEMIR", "ALI VELI OZTURK"};
    // A cut sender field, then the full name: the legal form completes it, a note does not.
    QTest::newRow("full company name replaces its cut form")
        << QByteArrayList{"BOZTEPE KUYUMCULUK@1", "BOZTEPE KUYUMCULUK TIC LTD STI@1"} << QByteArray("11")
        << QByteArrayList{"BOZTEPE KUYUMCULUK TIC LTD STI"};
    QTest::newRow("longer text with a note is another candidate")
        << QByteArrayList{"AHMET YILMAZ@1", "AHMET YILMAZ SIPARIS@1"} << QByteArray("11")
        << QByteArrayList{"AHMET YILMAZ", "AHMET YILMAZ SIPARIS"};
    QByteArrayList ten;
    QByteArrayList nine;
    for (const char *name : {"AHMET YILMAZ", "AYSE DEMIR", "MEHMET KAYA", "ALI OZTURK", "VELI YILMAZ",
                             "ELIF DEMIR", "AHMET KAYA", "AYSE OZTURK", "MEHMET YILMAZ", "ELIF KAYA"}) {
        ten << QByteArray(name) + "@1";
        if (nine.size() < 9)
            nine << name;
    }
    QTest::newRow("tenth never stored") << ten << QByteArray("1111111111") << nine;
}

void tst_AccountParser::saveName()
{
    QFETCH(QByteArrayList, offers);
    QFETCH(QByteArray, accepted);
    QFETCH(QByteArrayList, names);
    QByteArray results;
    for (const QByteArray &offer : offers) {
        const qsizetype at = offer.lastIndexOf('@');
        results += parser.saveName(offer.left(at), offer.mid(at + 1).toInt()) ? '1' : '0';
    }
    QCOMPARE(results, accepted);
    QCOMPARE(parser.currentRow().names, names);
    QCOMPARE(parser.currentRow().scores.size(), names.size());
}

void tst_AccountParser::parseText_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArrayList>("rows");

    const QByteArray tail = "|1.500,00|12.345,67\n";
    QTest::newRow("too short") << QByteArray("05.03.2024|AHMET YILMAZ|1,00\n") << QByteArrayList{};
    QTest::newRow("transfer") << "05.03.2024|GELEN FAST|AHMET YILMAZ|siparis" + tail
                              << QByteArrayList{"2024-03-05|150000|AHMET YILMAZ|55|0|valid"};
    QTest::newRow("short date padded") << "5.3.2024|AHMET YILMAZ" + tail
                                       << QByteArrayList{"2024-03-05|150000|AHMET YILMAZ|55|0|valid"};
    QTest::newRow("upper-case repair") << "05.03.2024|ALi VELi OZTURK" + tail
                                       << QByteArrayList{"2024-03-05|150000|ALI VELI OZTURK|55|0|valid"};
    QTest::newRow("capitalised words glued") << "05.03.2024|AhmetYilmaz siparis" + tail
                                             << QByteArrayList{"2024-03-05|150000|AHMET YILMAZ|55|0|valid"};
    QTest::newRow("name glued to channel") << "05.03.2024|Ahmet YilmazFAST islemi" + tail
                                           << QByteArrayList{"2024-03-05|150000|AHMET YILMAZ|55|0|valid"};
    QTest::newRow("dash separates, sign stays") << QByteArray("05.03.2024|GELEN FAST - AHMET-YILMAZ|-1.500,00|2,00\n")
                                                << QByteArrayList{"2024-03-05|-150000|AHMET|10|0|invalid"};
    QTest::newRow("identity number") << "07.03.2024|GELEN EFT|AYSE DEMIR|60020359274" + tail
                                     << QByteArrayList{"2024-03-07|150000|AYSE DEMIR|55|60020359274|valid"};
    QTest::newRow("filter word invalidates") << "05.03.2024|IADE|AHMET YILMAZ" + tail
                                             << QByteArrayList{"2024-03-05|150000|AHMET YILMAZ|0|0|invalid"};
    QTest::newRow("ignore marker drops the rest") << "05.03.2024|ACIKLAMA|AHMET YILMAZ" + tail
                                                  << QByteArrayList{"2024-03-05|150000|AHMET YILMAZ|0|0|invalid"};
    QTest::newRow("repeated field is the name") << "05.03.2024|AYSE DEMIR|HAVALE|AYSE DEMIR" + tail
                                                << QByteArrayList{"2024-03-05|150000|AYSE DEMIR|55|0|valid"};
    QTest::newRow("doubtful word dropped") << "05.03.2024|HAVALE|AHMET" + tail
                                           << QByteArrayList{"2024-03-05|150000|AHMET|10|0|valid"};
    QTest::newRow("number then text is no amount")
        << QByteArray("05.03.2024|AHMET YILMAZ|1.500,00|SIPARIS|12.345,67|1,00\n")
        << QByteArrayList{"2024-03-05|1234567|AHMET YILMAZ|55|0|valid"};
    QTest::newRow("blank lines collapse, unfinished line dropped")
        << "05.03.2024|AHMET YILMAZ" + tail + "\n\n06.03.2024|AYSE DEMIR" + tail + "07.03.2024|MEHMET KAYA|1,00|2,00"
        << QByteArrayList{"2024-03-05|150000|AHMET YILMAZ|55|0|valid", "2024-03-06|150000|AYSE DEMIR|55|0|valid"};
    // Abbreviation dots of a company's legal form do not cut its name short;
    // any other dot before a space still ends the field.
    QTest::newRow("company suffixes with dots")
        << "05.03.2024|GELEN FAST|BOZTEPE KUYUMCULUK SAN. VE TIC. LTD. STI." + tail
        << QByteArrayList{"2024-03-05|150000|BOZTEPE KUYUMCULUK SAN VE TIC LTD STI|50|0|valid"};
    QTest::newRow("company suffix over a wrapped PDF line")
        << "05.03.2024|GELEN EFT - BOZTEPE KUYUMCULUK SAN.  VE TIC. LTD. STI. - siparis" + tail
        << QByteArrayList{"2024-03-05|150000|BOZTEPE KUYUMCULUK SAN VE TIC LTD STI|50|0|valid"};
    QTest::newRow("A.S. stays with the name")
        << "05.03.2024|EFT|MAVIKUM KUYUMCULUK TIC. A.S." + tail
        << QByteArrayList{"2024-03-05|150000|MAVIKUM KUYUMCULUK TIC A S|50|0|valid"};
    QTest::newRow("dot after a company word before a note")
        << "05.03.2024|EFT|MAVIKUM KUYUMCULUK LTD. SIPARIS" + tail
        << QByteArrayList{"2024-03-05|150000|MAVIKUM KUYUMCULUK LTD|40|0|valid"};
    QTest::newRow("line without amount or comma dropped")
        << QByteArray("05.03.2024|Sayfa 2 / 3 toplam sayfa\n06.03.2024|AYSE DEMIR") + tail
        << QByteArrayList{"2024-03-06|150000|AYSE DEMIR|55|0|valid"};
}

void tst_AccountParser::parseText()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArrayList, rows);
    QByteArrayList found;
    for (const Row &row : parser.parseText(text))
        found << describe(row);
    QCOMPARE(found, rows);
}

void tst_AccountParser::parseTextIsRepeatable()
{
    const QByteArray text = "05.03.2024|GELEN FAST|AHMET YILMAZ|1.500,00|12.345,67\n";
    QCOMPARE(parser.parseText(text).size(), 1);
    QCOMPARE(parser.parseText(text).size(), 1);
}

void tst_AccountParser::fuzzRegressions_data()
{
    QTest::addColumn<QString>("path");
    const QDir dir(QStringLiteral(CORVINA_TEST_SOURCE_DIR "/tests/data/parsetext"));
    const QStringList files = dir.entryList(QDir::Files);
    if (files.isEmpty())
        QTest::newRow("none") << QString();
    for (const QString &file : files)
        QTest::newRow(qPrintable(file)) << dir.filePath(file);
}

void tst_AccountParser::fuzzRegressions()
{
    QFETCH(QString, path);
    if (path.isEmpty())
        QSKIP("no regression inputs");
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<Row> rows = parser.parseText(file.readAll());
    for (const Row &row : rows) {
        QVERIFY(row.names.size() <= 9);
        QCOMPARE(row.scores.size(), row.names.size());
    }
}

QTEST_GUILESS_MAIN(tst_AccountParser)
#include "tst_accountparser.moc"
