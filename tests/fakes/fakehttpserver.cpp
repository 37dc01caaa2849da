#include "fakehttpserver.h"

#include <QPointer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

FakeHttpServer::FakeHttpServer(QObject *parent)
    : QObject(parent)
{
    connect(&server, &QTcpServer::newConnection, this, &FakeHttpServer::accept);
    started.start();
}

FakeHttpServer::~FakeHttpServer()
{
    server.close();
}

bool FakeHttpServer::listen()
{
    return server.listen(QHostAddress::LocalHost, 0);
}

QString FakeHttpServer::hostAndPort() const
{
    return QStringLiteral("127.0.0.1:") + QString::number(port());
}

void FakeHttpServer::route(const QString &path, Handler handler)
{
    handlers.insert(path, std::move(handler));
}

int FakeHttpServer::requestCount(const QString &path) const
{
    int n = 0;
    for (const FakeRequest &r : log) {
        if (path.isEmpty() || r.path == path)
            ++n;
    }
    return n;
}

void FakeHttpServer::accept()
{
    while (QTcpSocket *socket = server.nextPendingConnection()) {
        socket->setParent(this);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            pending.remove(socket);
            socket->deleteLater();
        });
    }
}

void FakeHttpServer::read(QTcpSocket *socket)
{
    QByteArray &buffer = pending[socket];
    buffer += socket->readAll();
    const qsizetype end = buffer.indexOf("\r\n\r\n");
    if (end < 0)
        return;
    const QList<QByteArray> lines = buffer.left(end).split('\n');
    qsizetype length = 0;
    for (const QByteArray &line : lines) {
        if (line.trimmed().toLower().startsWith("content-length:"))
            length = line.mid(line.indexOf(':') + 1).trimmed().toLongLong();
    }
    if (buffer.size() < end + 4 + length)
        return;   // the body is still coming
    const QByteArray body = buffer.mid(end + 4, length);
    buffer.clear();
    const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
    FakeRequest request;
    request.method = requestLine.value(0);
    const QUrl target(QString::fromLatin1(requestLine.value(1)));
    request.path = target.path();
    request.query = QUrlQuery(target);
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon > 0)
            request.headers.insert(line.left(colon).trimmed().toLower(), line.mid(colon + 1).trimmed());
    }
    request.body = body;
    request.receivedNs = started.nsecsElapsed();
    log.append(request);

    const auto handler = handlers.constFind(request.path);
    const FakeResponse response = handler == handlers.constEnd() ? FakeResponse::error(404) : handler.value()(request);
    if (response.delayMs <= 0) {
        answer(socket, response);
        return;
    }
    QPointer<QTcpSocket> guard(socket);
    QTimer::singleShot(response.delayMs, this, [this, guard, response] {
        if (guard && guard->state() == QAbstractSocket::ConnectedState)
            answer(guard, response);
    });
}

void FakeHttpServer::answer(QTcpSocket *socket, const FakeResponse &response)
{
    if (response.drop) {
        socket->abort();
        return;
    }
    QByteArray reason = response.status == 200 ? "OK" : response.status == 404 ? "Not Found" : "Error";
    QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + ' ' + reason + "\r\n";
    head += "Content-Type: " + response.contentType + "\r\n";
    head += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
    head += "Connection: close\r\n\r\n";
    socket->write(head + response.body);
    socket->disconnectFromHost();
}
