// Reads every example statement end to end (file reader, line parser, merging and
// filtering with the default settings, the shipped word lists and names) and compares
// the payments found with the file's expected results. Prints the share of payments
// read fully right and every miss, and holds the share above a floor.

#include "common/testdata.h"
#include "config/configworker.h"
#include "config/util.h"
#include "parser/accountparser.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTest>

namespace {

const QString examplesDir = QStringLiteral(CORVINA_TEST_SOURCE_DIR "/examples/statements");

// Share of expected payments that must be read fully right; raised as the lists improve.
constexpr double accuracyFloor = 0.95;

struct Payment
{
    QByteArray date;   // yyyy-MM-dd
    qint64 price = 0;  // kuruş
    QByteArray name;
    qint64 ident = 0;
};

// Names compared by their words: the reader keeps letters and spaces only, so the dots
// of "LTD. STI." are no difference.
QByteArray normalisedName(const QString &text)
{
    QString name = util::latinized(text).toUpper();
    name.replace(QRegularExpression(QStringLiteral("[^A-Z0-9]+")), QStringLiteral(" "));
    return name.trimmed().toLatin1();
}

QByteArray isoDate(const QString &text)
{
    static const QRegularExpression dayFirst(QStringLiteral("^(\\d{1,2})[./-](\\d{1,2})[./-](\\d{4})"));
    static const QRegularExpression yearFirst(QStringLiteral("^(\\d{4})-(\\d{2})-(\\d{2})"));
    QRegularExpressionMatch m = yearFirst.match(text);
    if (m.hasMatch())
        return m.captured(0).toLatin1();
    m = dayFirst.match(text);
    if (!m.hasMatch())
        return QByteArray();
    return QStringLiteral("%1-%2-%3").arg(m.captured(3), m.captured(2).rightJustified(2, QLatin1Char('0')),
                                          m.captured(1).rightJustified(2, QLatin1Char('0'))).toLatin1();
}

// Tab-separated: date (yyyy-MM-dd), amount in kuruş, payer name (empty for card
// settlements, which carry none), identity number (0 for none); a header line first.
QList<Payment> readExpected(const QString &path)
{
    QList<Payment> payments;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return payments;
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        if (line.trimmed().isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const QStringList cells = line.split(QLatin1Char('\t'));
        Payment payment;
        payment.date = isoDate(cells.value(0).trimmed());
        if (payment.date.isEmpty())
            continue;   // header
        payment.price = cells.value(1).trimmed().toLongLong();
        payment.name = normalisedName(cells.value(2));
        payment.ident = cells.value(3).trimmed().toLongLong();
        payments.append(payment);
    }
    return payments;
}

QString describe(const Payment &p)
{
    return QStringLiteral("%1 %2 \"%3\" %4").arg(QString::fromLatin1(p.date)).arg(p.price / 100.0, 0, 'f', 2)
        .arg(QString::fromLatin1(p.name)).arg(p.ident);
}

QString describe(const Row &row)
{
    QStringList names;
    for (qsizetype k = 0; k < row.names.size(); ++k)
        names << QStringLiteral("%1:%2").arg(QString::fromLatin1(row.names.at(k))).arg(row.scores.value(k));
    return QStringLiteral("%1 %2 [%3] %4%5").arg(QString::fromLatin1(row.date)).arg(row.price / 100.0, 0, 'f', 2)
        .arg(names.join(QLatin1String(", "))).arg(row.ident())
        .arg(row.invalid ? QStringLiteral(" invalid") : QString());
}

bool usable(const Row &row)
{
    return !row.excluded && !row.invalid;
}

} // namespace

class tst_ExampleStatements : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readsExamples();
};

void tst_ExampleStatements::readsExamples()
{
    const QDir dir(examplesDir);
    const QStringList expectedFiles = dir.entryList({QStringLiteral("*.expected.tsv")}, QDir::Files, QDir::Name);
    if (expectedFiles.isEmpty())
        QSKIP("no example statements");

    TestDataDir data;
    RateTuning tuning = ConfigWorker::tuning();
    tuning.startThread = false;
    ConfigWorker::setTuning(tuning);
    Config config(false);
    QVERIFY(config.ok);
    User &user = config.localUser;

    int expectedTotal = 0;
    int fullyRight = 0;
    int dateAmountRight = 0;
    int nameRight = 0;
    int identRight = 0;
    int extraRows = 0;
    int namedTotal = 0;
    int namedRight = 0;
    for (const QString &expectedName : expectedFiles) {
        const QString stem = expectedName.chopped(int(qstrlen(".expected.tsv")));
        const QString statementPath = dir.filePath(stem);
        const QList<Payment> expected = readExpected(dir.filePath(expectedName));
        expectedTotal += int(expected.size());
        for (const Payment &payment : expected)
            namedTotal += payment.name.isEmpty() ? 0 : 1;
        if (!QFile::exists(statementPath)) {
            qWarning("%s: no statement file beside it", qPrintable(expectedName));
            continue;
        }

        QFile file(statementPath);
        QVERIFY(file.open(QIODevice::ReadOnly));
        AccountParser parser(&user);
        QList<Row> rows = parser.parseText(AccountParser::readTable(file));
        parser.combineRecords(rows);
        if (user.autofilter)
            autoFilterRows(rows, user.filters);

        QList<bool> used(rows.size(), false);
        for (const Payment &payment : expected) {
            // The row of this payment: same date and amount, not taken by another payment.
            qsizetype match = -1;
            for (qsizetype k = 0; k < rows.size() && match < 0; ++k) {
                if (!used.at(k) && rows.at(k).date == payment.date && rows.at(k).price == payment.price)
                    match = k;
            }
            if (match < 0) {
                qInfo("%s: MISSED %s", qPrintable(stem), qPrintable(describe(payment)));
                continue;
            }
            used[match] = true;
            const Row &row = rows.at(match);
            // A card settlement has no payer to read: finding it is all there is, and the
            // row stays invalid until someone names the buyer.
            const bool noPayer = payment.name.isEmpty();
            const bool nameOk = noPayer
                || (usable(row) && normalisedName(QString::fromLatin1(row.names.value(0))) == payment.name);
            const bool identOk = row.ident() == payment.ident && (noPayer || usable(row));
            ++dateAmountRight;
            nameRight += nameOk ? 1 : 0;
            identRight += identOk ? 1 : 0;
            if (nameOk && identOk) {
                ++fullyRight;
                namedRight += noPayer ? 0 : 1;
            } else {
                qInfo("%s: expected %s, read %s", qPrintable(stem), qPrintable(describe(payment)),
                      qPrintable(describe(row)));
            }
        }
        for (qsizetype k = 0; k < rows.size(); ++k) {
            if (!used.at(k) && usable(rows.at(k)) && rows.at(k).price > 0) {
                ++extraRows;
                qInfo("%s: EXTRA %s", qPrintable(stem), qPrintable(describe(rows.at(k))));
            }
        }
    }

    const double share = expectedTotal ? double(fullyRight) / expectedTotal : 0.0;
    qInfo("example statements: %d of %d payments fully right (%.1f%%), %d of %d with a named payer; "
          "date and amount %d, name %d, identity %d; %d usable rows that are no expected payment",
          fullyRight, expectedTotal, share * 100, namedRight, namedTotal, dateAmountRight, nameRight, identRight,
          extraRows);
    QVERIFY2(share >= accuracyFloor, qPrintable(QStringLiteral("share %1 below %2").arg(share).arg(accuracyFloor)));
}

QTEST_GUILESS_MAIN(tst_ExampleStatements)
#include "tst_examplestatements.moc"
