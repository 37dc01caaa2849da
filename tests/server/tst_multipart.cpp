#include "server/multipart.h"

#include <QtTest>

using Files = QList<QPair<QString, QByteArray>>;
Q_DECLARE_METATYPE(Files)

class TestMultipart : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void split_data();
    void split();
};

void TestMultipart::split_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("boundary");
    QTest::addColumn<Files>("files");

    const QByteArray twoFiles =
        "--XyZ\r\n"
        "Content-Disposition: form-data; name=\"file\"; filename=\"ekstre.csv\"\r\n"
        "Content-Type: text/csv\r\n\r\n"
        "a;b;c\r\n"
        "--XyZ\r\n"
        "Content-Disposition: form-data; name=\"file\"; filename=\"hesap hareketleri.xlsx\"\r\n\r\n"
        "PK\x03\x04 binary\r\n"
        "--XyZ--\r\n";
    QTest::newRow("two files") << twoFiles << QByteArray("XyZ")
                               << Files{{"ekstre.csv", "a;b;c"}, {"hesap hareketleri.xlsx", "PK\x03\x04 binary"}};
    QTest::newRow("plain form field only")
        << QByteArray("--b\r\nContent-Disposition: form-data; name=\"note\"\r\n\r\nhello\r\n--b--\r\n") << QByteArray("b")
        << Files{};
    QTest::newRow("file part with empty body")
        << QByteArray("--b\r\nContent-Disposition: form-data; name=\"f\"; filename=\"x.pdf\"\r\n\r\n  \r\n--b--\r\n")
        << QByteArray("b") << Files{};
    QTest::newRow("quoted boundary finds nothing") << twoFiles << QByteArray("\"XyZ\"") << Files{};
    QTest::newRow("no header break") << QByteArray("--b\r\nContent-Disposition: form-data; filename=\"x\"\r\n--b--")
                                     << QByteArray("b") << Files{};
    QTest::newRow("unterminated last part")
        << QByteArray("--b\r\nContent-Disposition: form-data; filename=\"x.txt\"\r\n\r\nlast") << QByteArray("b")
        << Files{{"x.txt", "last"}};
    QTest::newRow("empty body") << QByteArray() << QByteArray("b") << Files{};
}

void TestMultipart::split()
{
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, boundary);
    QFETCH(Files, files);
    const QList<ParsedFile> parsed = parseMultipartData(body, boundary);
    Files got;
    for (const ParsedFile &f : parsed)
        got.append({f.filename, f.data});
    QCOMPARE(got, files);
}

QTEST_GUILESS_MAIN(TestMultipart)
#include "tst_multipart.moc"
