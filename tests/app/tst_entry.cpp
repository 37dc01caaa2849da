// Runs the built executable the way users start it, on a private copy of the runnable tree.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

class TestEntry : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void endsAtOnce_data();
    void endsAtOnce();
    void serverStarts_data();
    void serverStarts();
    void listenFailures_data();
    void listenFailures();
    void desktopOpens_data();
    void desktopOpens();
    void brokenDataDirectoryStopsTheServer();

private:
    QString program() const { return tree.path() + "/bin/corvina"; }
    static int freePort();

    QTemporaryDir tree;
};

void TestEntry::initTestCase()
{
    // bin/corvina with data/ beside bin/, as installed; the program finds data/ from its own path.
    QVERIFY(QDir().mkpath(tree.path() + "/bin"));
    QVERIFY(QDir().mkpath(tree.path() + "/data"));
    QVERIFY(QFile::copy(CORVINA_TEST_BIN_DIR "/corvina", program()));
    QVERIFY(QFile::copy(CORVINA_TEST_SHIPPED_DATA "/conf.db", tree.path() + "/data/conf.db"));
    QVERIFY(QFile::copy(CORVINA_TEST_SHIPPED_DATA "/data.db", tree.path() + "/data/data.db"));
    // The program must not reach the real exchange or integrators from a test: no host, no request.
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "conf");
        db.setDatabaseName(tree.path() + "/data/conf.db");
        QVERIFY(db.open());
        QVERIFY(QSqlQuery(db).exec("UPDATE params SET val = '' WHERE sec IN ('exchange', 'edm', 'uyumsoft') "
                                   "AND key IN ('host', 'livehost', 'testhost')"));
    }
    QSqlDatabase::removeDatabase("conf");
}

int TestEntry::freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

void TestEntry::endsAtOnce_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("stdoutHas");
    QTest::newRow("server options without --server") << QStringList{"--host", "127.0.0.1", "--port", "8080"} << 0 << "";
    QTest::newRow("help with another argument") << QStringList{"--help", "--server"} << 0 << "Run in server mode";
    QTest::newRow("help lists the address") << QStringList{"--server", "--help"} << 0 << "Listen address";
    QTest::newRow("help lists the port") << QStringList{"-h", "x"} << 0 << "Listen port";
}

void TestEntry::endsAtOnce()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, stdoutHas);
    QProcess p;
    p.start(program(), args);
    QVERIFY(p.waitForFinished(20000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), exitCode);
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    if (stdoutHas.isEmpty())
        QVERIFY(out.isEmpty());
    else
        QVERIFY2(out.contains(stdoutHas), qPrintable(out));
}

void TestEntry::serverStarts_data()
{
    QTest::addColumn<QString>("portText");
    QTest::addColumn<bool>("fixedPort");
    QTest::newRow("given port") << QString::number(freePort()) << true;
    // A port text that is not a number gives port 0: the system picks one.
    QTest::newRow("port not a number") << "abc" << false;
}

void TestEntry::serverStarts()
{
    QFETCH(QString, portText);
    QFETCH(bool, fixedPort);
    QProcess p;
    p.start(program(), {"--server", "--host", "127.0.0.1", "--port", portText});
    QVERIFY(p.waitForStarted());
    QByteArray err;
    QTRY_VERIFY_WITH_TIMEOUT((err += p.readAllStandardError()).contains("Starting Corvina Server...")
                                 || p.state() != QProcess::Running, 20000);
    QCOMPARE(p.state(), QProcess::Running);
    if (fixedPort) {
        QTcpSocket socket;
        QTRY_VERIFY_WITH_TIMEOUT((socket.abort(), socket.connectToHost("127.0.0.1", portText.toUShort()),
                                  socket.waitForConnected(500)), 20000);
    }
    p.terminate();
    QVERIFY(p.waitForFinished(10000));
}

void TestEntry::listenFailures_data()
{
    QTest::addColumn<QString>("host");
    QTest::newRow("bad address") << "300.1.2.3";
    QTest::newRow("address in use") << "127.0.0.1";
}

void TestEntry::listenFailures()
{
    QFETCH(QString, host);
    QTcpServer occupier;
    QVERIFY(occupier.listen(QHostAddress::LocalHost, 0));
    QProcess p;
    p.start(program(), {"--server", "--host", host, "--port", QString::number(occupier.serverPort())});
    QVERIFY(p.waitForFinished(20000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 1);
    QVERIFY(p.readAllStandardError().contains("Failed to start server"));
}

void TestEntry::desktopOpens_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::newRow("no arguments") << QStringList{};
    QTest::newRow("test mode") << QStringList{"--test"};
    QTest::newRow("--server alone is the desktop") << QStringList{"--server"};
}

void TestEntry::desktopOpens()
{
    QFETCH(QStringList, args);
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    p.setProcessEnvironment(env);
    p.start(program(), args);
    QVERIFY(p.waitForStarted());
    // The window's event loop keeps running until it is closed.
    QVERIFY(!p.waitForFinished(1500));
    p.terminate();
    QVERIFY(p.waitForFinished(10000));
}

void TestEntry::brokenDataDirectoryStopsTheServer()
{
    QTemporaryDir broken;
    QVERIFY(QDir().mkpath(broken.path() + "/bin"));
    QVERIFY(QDir().mkpath(broken.path() + "/data"));
    QVERIFY(QFile::copy(program(), broken.path() + "/bin/corvina"));
    QProcess p;
    p.start(broken.path() + "/bin/corvina", {"--server", "--host", "127.0.0.1", "--port", QString::number(freePort())});
    QVERIFY(p.waitForFinished(20000));
    QCOMPARE(p.exitStatus(), QProcess::CrashExit);
    QVERIFY(p.readAllStandardError().contains("Konfigurasyon Hatasi!!!"));
    QVERIFY(!QFile::exists(broken.path() + "/data/conf.db"));
}

QTEST_GUILESS_MAIN(TestEntry)
#include "tst_entry.moc"
