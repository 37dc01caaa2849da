#include "requestlimits.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonParseError>
#include <QTcpSocket>
#include <QtDebug>

namespace RequestLimits {

qint64 bodyLimit(const QByteArray &path)
{
    return path == "/api/parse" ? uploadBodyBytes : jsonBodyBytes;
}

QJsonDocument parseJson(const QByteArray &body, QString *errorWord)
{
    // Qt's parser would build every value first; a walk over the brackets and commas
    // outside strings bounds the work before anything is allocated.
    int depth = 0;
    qint64 values = 0;
    bool inString = false;
    bool escaped = false;
    for (const char c : body) {
        if (inString) {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                inString = false;
            continue;
        }
        switch (c) {
        case '"':
            inString = true;
            break;
        case '[':
        case '{':
            if (++depth > jsonDepth) {
                *errorWord = QStringLiteral("JSONTooDeep");
                return QJsonDocument();
            }
            ++values;
            break;
        case ']':
        case '}':
            --depth;
            break;
        case ',':
            ++values;
            break;
        default:
            break;
        }
        if (values > jsonValues) {
            *errorWord = QStringLiteral("JSONTooLarge");
            return QJsonDocument();
        }
    }
    QJsonParseError error;
    QJsonDocument doc = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError) {
        *errorWord = QStringLiteral("InvalidJSON");
        return QJsonDocument();
    }
    errorWord->clear();
    return doc;
}

QString requestObject(const QByteArray &body, QJsonObject *object)
{
    QString errorWord;
    const QJsonDocument doc = parseJson(body, &errorWord);
    if (!errorWord.isEmpty())
        return errorWord;
    if (doc.isObject()) {
        *object = doc.object();
        return QString();
    }
    if (doc.isArray() && !doc.array().isEmpty()) {
        *object = doc.array().first().toObject();
        return QString();
    }
    return QStringLiteral("InvalidJSON");
}

} // namespace RequestLimits

namespace {

// The value of a header in a raw header block, compared without regard to case.
QByteArray headerValue(const QList<QByteArray> &lines, const QByteArray &name)
{
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray &line = lines.at(i);
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().toLower() == name)
            return line.mid(colon + 1).trimmed();
    }
    return QByteArray();
}

} // namespace

QTcpSocket *LimitedTcpServer::nextPendingConnection()
{
    QTcpSocket *socket = QTcpServer::nextPendingConnection();
    if (!socket)
        return nullptr;
    // Connected before the HTTP server connects its own reader, so this runs first on
    // every arrival and sees the bytes the parser is about to take.
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] { inspect(socket); });
    connect(socket, &QObject::destroyed, this, [this, socket] { watches.remove(socket); });
    watches.insert(socket, Watch());
    return socket;
}

void LimitedTcpServer::inspect(QTcpSocket *socket)
{
    auto it = watches.find(socket);
    if (it == watches.end())
        return;
    // Body bytes need no look; copy only what may hold a header.
    const qint64 available = socket->bytesAvailable();
    if (it->bodyLeft >= available) {
        it->bodyLeft -= available;
        return;
    }
    const QByteArray fresh = socket->peek(available);
    qsizetype pos = 0;
    while (pos < fresh.size()) {
        Watch &watch = it.value();
        if (watch.bodyLeft > 0) {
            const qint64 take = qMin<qint64>(watch.bodyLeft, fresh.size() - pos);
            watch.bodyLeft -= take;
            pos += take;
            continue;
        }
        // Header bytes: keep them until the blank line that ends them.
        const qsizetype before = watch.header.size();
        watch.header.append(fresh.constData() + pos, fresh.size() - pos);
        const qsizetype end = watch.header.indexOf("\r\n\r\n");
        if (end < 0) {
            if (watch.header.size() > RequestLimits::headerBytes)
                return refuse(socket, 431, "Request Header Fields Too Large", QStringLiteral("HeaderTooLarge"));
            return;
        }
        if (end > RequestLimits::headerBytes)
            return refuse(socket, 431, "Request Header Fields Too Large", QStringLiteral("HeaderTooLarge"));
        pos += end + 4 - before;
        const QList<QByteArray> lines = watch.header.left(end).split('\n');
        watch.header.clear();
        const QList<QByteArray> requestLine = lines.first().trimmed().split(' ');
        QByteArray path = requestLine.value(1);
        path = path.left(path.indexOf('?'));
        if (headerValue(lines, "transfer-encoding").toLower().contains("chunked"))
            return refuse(socket, 411, "Length Required", QStringLiteral("LengthRequired"));
        const QByteArray lengthText = headerValue(lines, "content-length");
        if (lengthText.isEmpty())
            continue;
        bool ok = false;
        const qint64 length = lengthText.toLongLong(&ok);
        if (!ok || length < 0)
            continue;   // the HTTP parser answers a malformed length itself
        if (length > RequestLimits::bodyLimit(path))
            return refuse(socket, 413, "Payload Too Large", QStringLiteral("RequestTooLarge"));
        watch.bodyLeft = length;
        // The HTTP server never answers this itself; without it curl and other clients
        // hold a large body back for a second.
        if (length > 0 && headerValue(lines, "expect").toLower() == "100-continue")
            socket->write("HTTP/1.1 100 Continue\r\n\r\n");
    }
}

void LimitedTcpServer::refuse(QTcpSocket *socket, int status, const QByteArray &reason, const QString &errorWord)
{
    qDebug().noquote() << QStringLiteral("Request refused: %1 (%2)").arg(errorWord).arg(status);
    watches.remove(socket);
    // The HTTP server's reader must not see these bytes: cut it off, drop what arrived
    // and keep dropping until the connection is gone.
    disconnect(socket, &QTcpSocket::readyRead, nullptr, nullptr);
    socket->readAll();
    connect(socket, &QTcpSocket::readyRead, socket, [socket] { socket->readAll(); });

    const QJsonObject body{
        {"error", errorWord},
        {"status", status},
        {"timestamp", QDateTime::currentDateTime().toString(Qt::ISODate).left(19)},
    };
    const QByteArray json = QJsonDocument(QJsonArray{body}).toJson(QJsonDocument::Compact);
    QByteArray response = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason + "\r\n"
                          "Content-Type: application/json; charset=utf-8\r\n"
                          "Access-Control-Allow-Origin: *\r\n"
                          "Connection: close\r\n"
                          "Content-Length: " + QByteArray::number(json.size()) + "\r\n\r\n" + json;
    socket->write(response);
    socket->disconnectFromHost();
}
