#pragma once

// A private runnable tree (bin/corvina + data/) and a `corvina --server` process on it,
// for tests that talk to the server as its clients do.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

class ServerTree
{
public:
    ServerTree()
    {
        QDir().mkpath(root.path() + "/bin");
        QDir().mkpath(root.path() + "/data");
        QFile::copy(CORVINA_TEST_BIN_DIR "/corvina", root.path() + "/bin/corvina");
        QFile::copy(CORVINA_TEST_SHIPPED_DATA "/conf.db", dataFile("conf.db"));
        QFile::copy(CORVINA_TEST_SHIPPED_DATA "/data.db", dataFile("data.db"));
        // Outside services point at a closed port on this machine: lookups fail fast.
        // So do the integrators: an EDM account logs in as soon as it is loaded.
        setParams({{"exchange", "schm", "http"}, {"exchange", "host", "127.0.0.1:1"},
                   {"exchange", "livehost", "127.0.0.1:1"},
                   {"edm", "schm", "http"}, {"edm", "host", "127.0.0.1:1"}, {"edm", "testhost", "127.0.0.1:1"},
                   {"uyumsoft", "schm", "http"}, {"uyumsoft", "host", "127.0.0.1:1"},
                   {"uyumsoft", "testhost", "127.0.0.1:1"}});
    }
    ~ServerTree() { stop(); }

    QString dataFile(const QString &name) const { return root.path() + "/data/" + name; }

    bool setParams(const QList<QStringList> &rows)
    {
        bool ok = true;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "servertree");
            db.setDatabaseName(dataFile("conf.db"));
            ok = db.open();
            QSqlQuery q(db);
            for (const QStringList &row : rows) {
                q.prepare("INSERT OR REPLACE INTO params (sec, key, val, def) VALUES (?, ?, ?, ?)");
                q.addBindValue(row[0]);
                q.addBindValue(row[1]);
                q.addBindValue(row[2]);
                q.addBindValue(row[2]);
                ok = ok && q.exec();
            }
        }
        QSqlDatabase::removeDatabase("servertree");
        return ok;
    }

    static quint16 freePortPair()
    {
        // The WebSocket hub listens on the port plus 100: both must be free.
        for (int attempt = 0; attempt < 50; ++attempt) {
            QTcpServer a;
            a.listen(QHostAddress::LocalHost, 0);
            const quint16 p = a.serverPort();
            if (p > 65000)
                continue;
            QTcpServer b;
            if (b.listen(QHostAddress::LocalHost, p + 100))
                return p;
        }
        return 0;
    }

    bool start()
    {
        port = freePortPair();
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(root.path() + "/bin/corvina",
                      {"--server", "--host", "127.0.0.1", "--port", QString::number(port)});
        if (!process.waitForStarted())
            return false;
        for (int i = 0; i < 200; ++i) {
            QTcpSocket probe;
            probe.connectToHost(QHostAddress::LocalHost, port + 100);
            if (probe.waitForConnected(100))
                return true;
            if (process.state() != QProcess::Running)
                return false;
            QTest::qWait(50);
        }
        return false;
    }

    void stop()
    {
        if (process.state() == QProcess::Running) {
            process.terminate();
            if (!process.waitForFinished(10000))
                process.kill();
        }
    }

    QString url(const QString &path) const { return QStringLiteral("http://127.0.0.1:%1%2").arg(port).arg(path); }
    QString wsUrl(const QString &query) const { return QStringLiteral("ws://127.0.0.1:%1/?%2").arg(port + 100).arg(query); }

    QTemporaryDir root;
    QProcess process;
    quint16 port = 0;
};
