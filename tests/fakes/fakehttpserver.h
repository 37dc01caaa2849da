#pragma once

// A small HTTP/1.1 responder on 127.0.0.1 for tests: one handler per path, every request logged.

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QTcpServer>
#include <QUrlQuery>

#include <functional>

class QTcpSocket;

struct FakeRequest
{
    QByteArray method;
    QString path;
    QUrlQuery query;
    QHash<QByteArray, QByteArray> headers;   // names in lower case
    QByteArray body;                         // as long as Content-Length says
    qint64 receivedNs = 0;                   // since the server started
};

struct FakeResponse
{
    int status = 200;
    QByteArray body;
    QByteArray contentType = "text/plain; charset=utf-8";
    int delayMs = 0;   // answer late, e.g. beyond the client's time-out
    bool drop = false; // close the connection without answering

    static FakeResponse ok(const QByteArray &body, const QByteArray &type = "text/plain; charset=utf-8")
    {
        FakeResponse r;
        r.body = body;
        r.contentType = type;
        return r;
    }
    static FakeResponse error(int status)
    {
        FakeResponse r;
        r.status = status;
        r.body = "error";
        return r;
    }
    static FakeResponse dropped()
    {
        FakeResponse r;
        r.drop = true;
        return r;
    }
    static FakeResponse slow(int delayMs, const QByteArray &body = QByteArray())
    {
        FakeResponse r;
        r.delayMs = delayMs;
        r.body = body;
        return r;
    }
};

class FakeHttpServer : public QObject
{
    Q_OBJECT

public:
    using Handler = std::function<FakeResponse(const FakeRequest &)>;

    explicit FakeHttpServer(QObject *parent = nullptr);
    ~FakeHttpServer() override;

    // Listens on 127.0.0.1 on a free port.
    bool listen();
    quint16 port() const { return server.serverPort(); }
    // "127.0.0.1:port", as a host parameter of conf.db takes it.
    QString hostAndPort() const;
    QString url() const { return QStringLiteral("http://") + hostAndPort(); }

    void route(const QString &path, Handler handler);

    QList<FakeRequest> requests() const { return log; }
    int requestCount(const QString &path = QString()) const;
    void clearRequests() { log.clear(); }

private:
    void accept();
    void read(QTcpSocket *socket);
    void answer(QTcpSocket *socket, const FakeResponse &response);

    QTcpServer server;
    QHash<QString, Handler> handlers;
    QList<FakeRequest> log;
    QHash<QTcpSocket *, QByteArray> pending;
    QElapsedTimer started;
};
