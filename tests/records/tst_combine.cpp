#include "records/combinator.h"

#include <QRandomGenerator>
#include <QtTest>

namespace {

const qint64 ayse = 10000000146;   // valid personal numbers
const qint64 ali = 10000000078;

Row payment(const QByteArray &date, const QByteArray &name, qint64 price, qint64 nationalNo = 0)
{
    Row row;
    row.date = date;
    row.names = {name};
    row.scores = {0};
    row.price = price;
    row.nationalNo = nationalNo;
    row.raw = date + '|' + name;
    return row;
}

QList<qint64> prices(const QList<Row> &rows)
{
    QList<qint64> result;
    for (const Row &row : rows)
        result.append(row.price);
    return result;
}

} // namespace

class TestCombine : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void sameDayMode();
    void allDaysMode();
    void offMode();
    void spacesShareOneKey();
    void nameDifferences_data();
    void nameDifferences();
    void typingErrorsMergeByNumber();
    void noNumberMergesByNameOnly();
    void invalidAndLockedRowsStayOut();
    void absorbedRowNeverAbsorbs();
    void randomPaymentsCountOnce();
    void autoFilter_data();
    void autoFilter();
};

void TestCombine::sameDayMode()
{
    QList<Row> rows{
        payment("2024-03-05", "AYSE KAYA", 100000, ayse),
        payment("2024-03-06", "AYSE KAYA", 200000, ayse),
        payment("2024-03-05", "ALI VELI", 50000, ali),
        payment("2024-03-05", "AYSE KAYA", 300000, ayse),
    };
    combineRecords(rows, 2);
    QCOMPARE(prices(rows), QList<qint64>({400000, 200000, 50000}));
    QVERIFY(rows[0].combined);
    QVERIFY(!rows[1].combined);
    QCOMPARE(rows[0].raw, QByteArray("2024-03-05|AYSE KAYA\n2024-03-05|AYSE KAYA"));
}

void TestCombine::allDaysMode()
{
    QList<Row> rows{
        payment("2024-03-06", "AYSE KAYA", 200000, ayse),
        payment("2024-03-05", "ALI VELI", 50000, ali),
        payment("2024-03-09", "AYSE KAYA", 100000, ayse),
        payment("2024-03-07", "AYSE KAYA", 300000, ayse),
    };
    combineRecords(rows, 1);
    QCOMPARE(prices(rows), QList<qint64>({600000, 50000}));
    QCOMPARE(rows[0].date, QByteArray("2024-03-09"));   // the latest date
    QCOMPARE(rows[0].raw.count('\n'), 2);
}

void TestCombine::offMode()
{
    QList<Row> rows{payment("2024-03-05", "AYSE KAYA", 1000, ayse), payment("2024-03-05", "AYSE KAYA", 1000, ayse)};
    combineRecords(rows, 0);
    QCOMPARE(rows.size(), 2);
    combineRecords(rows, 7);
    QCOMPARE(rows.size(), 2);
}

void TestCombine::spacesShareOneKey()
{
    QList<Row> rows{
        payment("2024-03-05", "AYSEKAYA", 100000),
        payment("2024-03-05", "AYSE KAYA", 200000),
    };
    combineRecords(rows, 2);
    QCOMPARE(prices(rows), QList<qint64>({300000}));
    QCOMPARE(rows[0].names.first(), QByteArray("AYSE KAYA"));   // the longer spelling
}

void TestCombine::nameDifferences_data()
{
    QTest::addColumn<QByteArray>("s");
    QTest::addColumn<QByteArray>("t");
    QTest::addColumn<int>("differences");
    QTest::newRow("same") << QByteArray("AYSE KAYA") << QByteArray("AYSE KAYA") << 0;
    QTest::newRow("prefix") << QByteArray("AYSE") << QByteArray("AYSE KAYA") << 0;
    QTest::newRow("one changed") << QByteArray("AYSE KAYA") << QByteArray("AYSE KAIA") << 1;
    QTest::newRow("one missing") << QByteArray("AYSE KAYA") << QByteArray("AYSE KYA") << 1;
    QTest::newRow("one extra") << QByteArray("AYSE KAYA") << QByteArray("AYSSE KAYA") << 1;
    QTest::newRow("swapped pair") << QByteArray("AYSE KAYA") << QByteArray("AYES KAYA") << 2;
    QTest::newRow("different") << QByteArray("AYSE KAYA") << QByteArray("MEHMET OZ") << 7;
    QTest::newRow("empty") << QByteArray() << QByteArray("AYSE") << 0;
}

void TestCombine::nameDifferences()
{
    QFETCH(QByteArray, s);
    QFETCH(QByteArray, t);
    QTEST(Combinator::nameDifferences(s, t), "differences");
}

void TestCombine::typingErrorsMergeByNumber()
{
    QList<Row> rows{
        payment("2024-03-05", "AYSE KAYA", 100000, ayse),
        payment("2024-03-05", "AYSE KAIA", 200000, ayse),      // one typing error
        payment("2024-03-05", "AYSE KAYA BANK", 400000, ayse), // prefix
        payment("2024-03-05", "MEHMET OZ", 800000, ayse),      // same number, another person's name
    };
    combineRecords(rows, 2);
    QCOMPARE(prices(rows), QList<qint64>({700000, 800000}));
    QCOMPARE(rows[0].names.first(), QByteArray("AYSE KAYA BANK"));
}

void TestCombine::noNumberMergesByNameOnly()
{
    QList<Row> rows{
        payment("2024-03-05", "AYSE KAYA", 100000),
        payment("2024-03-05", "AYSE KAIA", 200000),   // another key: no number to link them
        payment("2024-03-05", "AYSE KAYA", 400000),
    };
    combineRecords(rows, 2);
    QCOMPARE(prices(rows), QList<qint64>({500000, 200000}));
}

void TestCombine::invalidAndLockedRowsStayOut()
{
    QList<Row> rows{
        payment("2024-03-05", "AYSE KAYA", 500, ayse),
        payment("2024-03-05", "AYSE KAYA", 100000, ayse),
        payment("2024-03-05", "AYSE KAYA", 200000, ayse),
        payment("2024-03-05", "AYSE KAYA", 400000, ayse),
    };
    rows[0].invalid = true;
    rows[2].draftId = "D-1";
    combineRecords(rows, 2);
    QCOMPARE(prices(rows), QList<qint64>({500, 500000, 200000}));
    QVERIFY(!rows[0].combined && !rows[2].combined);
}

void TestCombine::absorbedRowNeverAbsorbs()
{
    // "ALI VELIX" is absorbed through its number by "ALI VELI" but stays indexed under its own
    // name; the next "ALI VELIX" payment must not be added to that absorbed row (and vanish with it).
    QList<Row> rows{
        payment("2024-03-05", "ALI VELI", 100000, ali),
        payment("2024-03-05", "ALI VELIX", 200000, ali),
        payment("2024-03-05", "ALI VELIX", 400000, ali),
    };
    combineRecords(rows, 2);
    QCOMPARE(prices(rows), QList<qint64>({700000}));

    // The first row of a name is absorbed by a later one that brought the number; a third
    // payment of the name finds the absorbed row first in the name's index.
    QList<Row> second{
        payment("2024-03-05", "AYSE KAYA", 100000),
        payment("2024-03-05", "AYSE KAYA", 200000, ayse),
        payment("2024-03-05", "AYSE KAYA", 400000, ali),
        payment("2024-03-05", "AYSE KAYA", 800000),
    };
    combineRecords(second, 2);
    qint64 total = 0;
    for (const Row &row : second) {
        QVERIFY(!row.excluded);
        total += row.price;
    }
    QCOMPARE(total, 1500000);
}

void TestCombine::randomPaymentsCountOnce()
{
    // Whatever merges, every payment ends up in exactly one remaining row.
    static const QByteArray names[] = {"AYSE KAYA", "AYSE KAIA", "AYSEKAYA", "AYSE KAYA AS", "ALI VELI",
                                       "ALI VELIX", "MEHMET OZ", "", "KAYA AYSE"};
    static const qint64 numbers[] = {0, 0, ayse, ali, 10000000210, 1234567890};
    QRandomGenerator random(7);
    for (int round = 0; round < 2000; ++round) {
        QList<Row> rows;
        qint64 total = 0;
        const int count = 2 + random.bounded(12);
        for (int i = 0; i < count; ++i) {
            Row row = payment("2024-03-0" + QByteArray::number(1 + random.bounded(3)),
                              names[random.bounded(9)], qint64(1) << random.bounded(40));
            const qint64 number = numbers[random.bounded(6)];
            (number < 10000000000 ? row.taxNo : row.nationalNo) = number;
            if (random.bounded(10) == 0)
                row.names.append("OTHER");
            if (row.names.size() == 2)
                row.scores.append(0);
            row.raw = QByteArray::number(i);
            total += row.price;
            rows.append(row);
        }
        combineRecords(rows, 1 + random.bounded(2));
        qint64 after = 0;
        QList<QByteArray> lines;
        for (const Row &row : std::as_const(rows)) {
            QVERIFY(!row.excluded);
            after += row.price;
            lines += row.raw.split('\n');
        }
        QCOMPARE(after, total);
        QCOMPARE(lines.size(), count);   // each statement line kept by exactly one row
        QCOMPARE(QSet<QByteArray>(lines.begin(), lines.end()).size(), count);
    }
}

void TestCombine::autoFilter_data()
{
    QTest::addColumn<QList<QByteArray>>("names");
    QTest::addColumn<QStringList>("words");
    QTest::addColumn<bool>("filtered");
    const QStringList shop{"ALTIN", "KUYUMCULUK"};
    QTest::newRow("word at the end") << QList<QByteArray>{"KAYA KUYUMCULUK"} << shop << true;
    QTest::newRow("word at the start") << QList<QByteArray>{"ALTIN DUNYASI"} << shop << true;
    QTest::newRow("word alone") << QList<QByteArray>{"ALTIN"} << shop << true;
    QTest::newRow("only a word's beginning") << QList<QByteArray>{"ALTINBAS AHMET"} << shop << false;
    QTest::newRow("inside, then whole") << QList<QByteArray>{"SALTIN ALTIN"} << shop << true;
    QTest::newRow("case-sensitive") << QList<QByteArray>{"KAYA KUYUMCULUK"} << QStringList{"kuyumculuk"} << false;
    QTest::newRow("two names never") << QList<QByteArray>{"KAYA KUYUMCULUK", "KAYA"} << shop << false;
    QTest::newRow("no words") << QList<QByteArray>{"ALTIN"} << QStringList{} << false;
    QTest::newRow("blank word") << QList<QByteArray>{""} << QStringList{""} << false;
}

void TestCombine::autoFilter()
{
    QFETCH(QList<QByteArray>, names);
    QFETCH(QStringList, words);
    QList<Row> rows{payment("2024-03-05", "X", 100000)};
    rows[0].names = names;
    autoFilterRows(rows, words);
    QTEST(rows[0].filtered, "filtered");
    QTEST(rows[0].excluded, "filtered");

    QList<Row> locked{payment("2024-03-05", "ALTIN", 100000), payment("2024-03-05", "ALTIN", 100)};
    locked[0].draftId = "D-1";
    locked[1].invalid = true;
    autoFilterRows(locked, {"ALTIN"});
    QVERIFY(!locked[0].filtered && !locked[1].filtered);
}

QTEST_APPLESS_MAIN(TestCombine)
#include "tst_combine.moc"
