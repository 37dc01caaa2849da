#pragma once

#include <QHash>
#include <QHostAddress>
#include <QHttpServer>
#include <QHttpServerRequest>
#include <QHttpServerResponse>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QObject>
#include <QTcpServer>
#include <QTimer>

#include "requestlimits.h"

#include <memory>
#include <optional>

class Config;
class User;
class QWebSocket;
class QWebSocketServer;

struct WsClientInfo
{
    int userId = 0;
    QString clientType;   // lower-cased "client" query item, e.g. "desktop"
};

// The server mode: REST API on the listen port, WebSocket hub on the port plus 100.
class HttpServer : public QObject
{
    Q_OBJECT

public:
    HttpServer(const QString &host, quint16 port, QObject *parent = nullptr);
    ~HttpServer() override;

    bool listen();
    void close();
    bool isListening() const;
    QHostAddress serverAddress() const { return host; }
    quint16 serverPort() const { return port; }
    quint16 webSocketPort() const { return quint16(port + 100); }

    static QString getTokenFromRequest(const QHttpServerRequest &request);
    static QHttpServerResponse createJsonResponse(const QJsonArray &array, int status);
    static QHttpServerResponse createErrorResponse(int status, const QString &error);
    static void addCorsHeaders(QHttpServerResponse &response);
    static QHttpServerResponse handleOptionsRequest(const QHttpServerRequest &request);
    static QHttpServerResponse handleNotFound();
    // gzip framing of a JSON body; empty on failure.
    static QByteArray gzipCompress(const QByteArray &data);

    std::unique_ptr<Config> config;

Q_SIGNALS:
    void serverStarted(const QHostAddress &address, quint16 port);
    void serverStopped();
    void requestProcessed(const QString &method, const QString &path, int statusCode);
    void error(const QString &errorString);

public Q_SLOTS:
    void cleanupOldSessions();

private:
    void setupRoutes();
    User *authenticate(const QHttpServerRequest &request);
    // The user and JSON request object of an authenticated call, or the refusal to answer
    // with (401 "InvalidToken", or the JSON error word with 400).
    std::optional<QHttpServerResponse> authenticatedObject(const QHttpServerRequest &request, User **user,
                                                           QJsonObject *object);

    // Account, settings, currency and integrations.
    QHttpServerResponse handleLoginEndpoint(const QHttpServerRequest &request);
    QHttpServerResponse handleSettingsEndpoint(const QHttpServerRequest &request);
    QHttpServerResponse handleSaveSettingsEndpoint(const QHttpServerRequest &request);
    QHttpServerResponse handleCurrencyEndpoint(const QHttpServerRequest &request);
    QHttpServerResponse handleIntegrationsEndpoint(const QHttpServerRequest &request);
    QHttpServerResponse handleSocketsEndpoint(const QHttpServerRequest &request);
    bool saveSettings(User *user, const QJsonObject &object);

    // Statements and single payments.
    QHttpServerResponse handleParseEndpoint(const QHttpServerRequest &request);
    QHttpServerResponse handleCalcEndpoint(const QHttpServerRequest &request);
    // Invoices through the user's integrator.
    QHttpServerResponse handlePrepareEndpoint(const QHttpServerRequest &request);
    QHttpServerResponse handleActionEndpoint(const QHttpServerRequest &request);

    // WebSocket hub.
    void onWebSocketNewConnection();
    void onWebSocketTextMessage(QWebSocket *socket, const QString &message);
    void onWebSocketDisconnected(QWebSocket *socket);
    QString userFilesDir(const User *user) const;

    LimitedTcpServer tcpServer;
    QHttpServer httpServer;
    QHostAddress host;
    quint16 port = 0;
    QTimer cleanupTimer;
    QWebSocketServer *wsServer = nullptr;
    QMap<QWebSocket *, WsClientInfo> wsClients;
    QMap<int, QList<QWebSocket *>> userSockets;
    bool closed = false;
};
