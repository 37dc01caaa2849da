// The WebSocket hub: clients of one user upload statement files, which are stored
// under the user's folder and relayed to the user's other connections.
#include "httpserver.h"

#include "config/config.h"

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QUrlQuery>
#include <QWebSocket>
#include <QWebSocketServer>
#include <QtDebug>

namespace {

// Far above any bank statement; a message over it is refused by the socket itself.
constexpr qint64 maxMessageBytes = 48 * 1024 * 1024;
constexpr qint64 maxFileBytes = 32 * 1024 * 1024;

void sendJson(QWebSocket *socket, const QJsonObject &object)
{
    socket->sendTextMessage(QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)));
}

void sendError(QWebSocket *socket, const char *message)
{
    sendJson(socket, QJsonObject{{"type", "error"}, {"message", QLatin1String(message)}});
}

QString peerText(const QWebSocket *socket)
{
    return QStringLiteral("%1:%2").arg(socket->peerAddress().toString()).arg(socket->peerPort());
}

// A single folder name that cannot climb out of its parent.
bool isSafeFolderName(const QString &name)
{
    static const QRegularExpression safe(QStringLiteral("^[\\w@+\\-. ]+$"), QRegularExpression::UseUnicodePropertiesOption);
    return safe.match(name).hasMatch() && !name.startsWith(QLatin1Char('.')) && name.trimmed() == name;
}

// "ekstre.xlsx" -> "ekstre_<ms>.xlsx"; directories of either kind of slash are dropped.
QString storedFileName(const QString &uploaded, qint64 msecs)
{
    QString base = uploaded;
    base.replace(QLatin1Char('\\'), QLatin1Char('/'));
    base = base.section(QLatin1Char('/'), -1);
    base.remove(QRegularExpression(QStringLiteral("[\\x00-\\x1f]")));
    const QFileInfo info(base);
    QString stem = info.completeBaseName();
    const QString suffix = info.suffix();
    if (stem.isEmpty() || stem == QLatin1String(".."))
        stem = QStringLiteral("upload");
    QString name = stem + QLatin1Char('_') + QString::number(msecs);
    if (!suffix.isEmpty())
        name += QLatin1Char('.') + suffix;
    return name;
}

} // namespace

QString HttpServer::userFilesDir(const User *user) const
{
    const QString folder = !user->name.isEmpty() && isSafeFolderName(user->name)
                               ? user->name
                               : QStringLiteral("user_%1").arg(user->uid);
    return Config::dataPath(QStringLiteral("files/")) + folder + QLatin1Char('/')
           + QDate::currentDate().toString(QStringLiteral("ddMMyyyy"));
}

void HttpServer::onWebSocketNewConnection()
{
    QWebSocket *socket = wsServer->nextPendingConnection();
    if (!socket)
        return;
    socket->setMaxAllowedIncomingMessageSize(quint64(maxMessageBytes));
    socket->setMaxAllowedIncomingFrameSize(quint64(maxMessageBytes));

    const QUrlQuery query(socket->requestUrl());
    const QString token = query.queryItemValue(QStringLiteral("token"), QUrl::FullyDecoded).trimmed();
    const QString name = query.queryItemValue(QStringLiteral("name"), QUrl::FullyDecoded).trimmed();
    const QString pass = query.queryItemValue(QStringLiteral("pass"), QUrl::FullyDecoded).trimmed();
    const QString client = query.queryItemValue(QStringLiteral("client"), QUrl::FullyDecoded).trimmed().toLower();

    int uid = config->validateSession(token);
    QString sessionToken = token;
    if (uid == 0 && !name.isEmpty()) {
        const QString password = QString::fromUtf8(QByteArray::fromBase64(pass.toLatin1(), QByteArray::Base64UrlEncoding));
        if (User *user = config->getUser(name, password)) {
            uid = user->uid;
            sessionToken = config->createSession(uid);
        }
    }
    if (uid == 0) {
        if (!token.isEmpty())
            sendError(socket, "InvalidToken");
        socket->close(QWebSocketProtocol::CloseCodeNormal, QStringLiteral("Unauthorized or invalid credentials"));
        socket->deleteLater();
        auto log = qInfo().nospace();
        log << "WebSocket client connection refused, peer: " << peerText(socket);
        if (!name.isEmpty())
            log << " name: " << name;
        return;
    }

    connect(socket, &QWebSocket::disconnected, this, [this, socket] { onWebSocketDisconnected(socket); });
    connect(socket, &QWebSocket::textMessageReceived, this,
            [this, socket](const QString &message) { onWebSocketTextMessage(socket, message); });
    wsClients.insert(socket, WsClientInfo{uid, client});
    userSockets[uid].append(socket);
    sendJson(socket, QJsonObject{{"type", "ok"}, {"token", sessionToken}});
    qInfo().noquote() << "WebSocket client connected, " << "peer:" << peerText(socket)
                      << QStringLiteral(" uid=%1").arg(uid) << " client=" + client;
}

void HttpServer::onWebSocketTextMessage(QWebSocket *socket, const QString &message)
{
    const QJsonDocument doc = QJsonDocument::fromJson(message.toUtf8());
    if (!doc.isObject())
        return sendError(socket, "Invalid JSON");
    const QJsonObject object = doc.object();
    if (!object.contains("files"))
        return sendError(socket, "Unknown message type");
    const int uid = wsClients.value(socket).userId;
    if (uid <= 0)
        return sendError(socket, "Authenticate first");
    User *user = config->getUser(uid);
    if (!user)
        return sendError(socket, "User not found");
    const QJsonArray files = object.value("files").toArray();
    if (files.isEmpty())
        return sendError(socket, "Missing or empty files array");

    const QString dir = userFilesDir(user);
    if (!QDir().mkpath(dir)) {
        qDebug() << "Failed to create directory for WS files:" << dir;
        return sendError(socket, "Could not create files directory");
    }

    QJsonArray relay;
    for (const QJsonValue &value : files) {
        if (!value.isObject())
            continue;
        const QString fileName = value.toObject().value("filename").toString();
        const QString data = value.toObject().value("data").toString();
        const QByteArray bytes = QByteArray::fromBase64(data.toLatin1());
        if (fileName.isEmpty() || bytes.isEmpty() || bytes.size() > maxFileBytes)
            continue;
        const QString path = dir + QLatin1Char('/') + storedFileName(fileName, QDateTime::currentMSecsSinceEpoch());
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
            qDebug() << "Failed to write WS file to:" << path << file.errorString();
            return sendError(socket, "Failed to save file");
        }
        relay.append(QJsonObject{{"filename", fileName}, {"data", data}});
    }

    if (!relay.isEmpty()) {
        const QString destination = object.value("destination").toString().trimmed().toLower();
        const QString text = QString::fromUtf8(QJsonDocument(QJsonObject{{"files", relay}}).toJson(QJsonDocument::Compact));
        for (QWebSocket *peer : userSockets.value(uid)) {
            if (peer == socket)
                continue;
            if (!destination.isEmpty() && destination != QLatin1String("all")
                && wsClients.value(peer).clientType.toLower() != destination)
                continue;
            peer->sendTextMessage(text);
        }
    }
    sendJson(socket, QJsonObject{{"type", "ok"}});
}

void HttpServer::onWebSocketDisconnected(QWebSocket *socket)
{
    const int uid = wsClients.value(socket).userId;
    if (wsClients.remove(socket) > 0) {
        QList<QWebSocket *> &list = userSockets[uid];
        list.removeAll(socket);
        if (list.isEmpty())
            userSockets.remove(uid);
    }
    qInfo().noquote() << "WebSocket client disconnected, " << "peer:" << socket->peerAddress().toString()
                      << QStringLiteral(" userId=%1").arg(uid);
    socket->deleteLater();
}
