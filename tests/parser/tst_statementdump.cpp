// corvina-statement as support staff run it: a data directory, statement files, JSON out.

#include "common/testdata.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

namespace {

const QString tool = QStringLiteral(CORVINA_TEST_BIN_DIR "/corvina-statement");
const QString fixtures = QStringLiteral(CORVINA_TEST_SOURCE_DIR "/tests/data/statements/");

// The JSON objects the tool printed one after another.
QList<QJsonObject> reports(const QByteArray &output)
{
    QList<QJsonObject> objects;
    qsizetype start = 0;
    while (start < output.size()) {
        QJsonParseError error;
        // Each object ends with a closing brace alone on its line.
        const qsizetype end = output.indexOf("\n}\n", start);
        if (end < 0)
            break;
        const QJsonDocument doc = QJsonDocument::fromJson(output.mid(start, end + 3 - start), &error);
        if (error.error != QJsonParseError::NoError)
            break;
        objects.append(doc.object());
        start = end + 3;
    }
    return objects;
}

} // namespace

class tst_StatementDump : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void printsTextAndRows();
    void reportsUnreadableFiles();
    void refusesMissingDataDirectory();
};

void tst_StatementDump::printsTextAndRows()
{
    TestDataDir data;
    QProcess process;
    process.start(tool, {QStringLiteral("--data"), data.path, fixtures + QStringLiteral("statement.pdf"),
                         fixtures + QStringLiteral("encrypted.pdf")});
    QVERIFY(process.waitForFinished(60000));
    QCOMPARE(process.exitCode(), 0);
    const QList<QJsonObject> found = reports(process.readAllStandardOutput());
    QCOMPARE(found.size(), 2);

    const QJsonArray text = found.at(0).value(QStringLiteral("text")).toArray();
    QCOMPARE(text.size(), 3);
    QVERIFY(text.at(0).toString().startsWith(QStringLiteral("05.03.2024 GELEN FAST")));
    const QJsonArray rows = found.at(0).value(QStringLiteral("rows")).toArray();
    QCOMPARE(rows.size(), 3);
    QCOMPARE(rows.at(0).toObject().value(QStringLiteral("dt")).toString(), QStringLiteral("2024-03-05"));

    QVERIFY(found.at(1).value(QStringLiteral("rows")).toArray().isEmpty());
}

void tst_StatementDump::reportsUnreadableFiles()
{
    TestDataDir data;
    QProcess process;
    process.start(tool, {QStringLiteral("--data"), data.path, fixtures + QStringLiteral("no-such-file.pdf")});
    QVERIFY(process.waitForFinished(60000));
    QCOMPARE(process.exitCode(), 1);
    const QList<QJsonObject> found = reports(process.readAllStandardOutput());
    QCOMPARE(found.size(), 1);
    QVERIFY(found.at(0).contains(QStringLiteral("error")));
}

void tst_StatementDump::refusesMissingDataDirectory()
{
    QTemporaryDir empty;
    QProcess process;
    process.start(tool, {QStringLiteral("--data"), empty.path(), fixtures + QStringLiteral("statement.pdf")});
    QVERIFY(process.waitForFinished(60000));
    QCOMPARE(process.exitCode(), 1);
    QVERIFY(process.readAllStandardOutput().isEmpty());
}

QTEST_GUILESS_MAIN(tst_StatementDump)
#include "tst_statementdump.moc"
