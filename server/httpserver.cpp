#include "httpserver.h"

#include "config/config.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QJsonDocument>
#include <QLocale>
#include <QUrl>
#include <QWebSocket>
#include <QWebSocketServer>
#include <QtDebug>

#include <zlib.h>

HttpServer::HttpServer(const QString &hostText, quint16 port, QObject *parent)
    : QObject(parent),
      config(std::make_unique<Config>(true)),
      host(hostText),
      port(port),
      wsServer(new QWebSocketServer(QStringLiteral("Corvina"), QWebSocketServer::NonSecureMode, this))
{
    connect(wsServer, &QWebSocketServer::newConnection, this, &HttpServer::onWebSocketNewConnection);

    connect(this, &HttpServer::serverStarted, this, [](const QHostAddress &, quint16 p) {
        qInfo() << "Server successfully started on port" << p;
        qInfo() << "API endpoint available at" << QStringLiteral("http://localhost:%1/api/parse").arg(p);
    });
    connect(this, &HttpServer::serverStopped, this, [] {
        qDebug() << "Server stopped";
        QCoreApplication::quit();
    });
    connect(this, &HttpServer::error, this, [](const QString &text) {
        qCritical() << "Server error:" << text;
        QCoreApplication::quit();
    });
    connect(this, &HttpServer::requestProcessed, this, [](const QString &method, const QString &path, int status) {
        qDebug().noquote() << QStringLiteral("%1 %2 -> %3").arg(method, path).arg(status);
    });

    if (!config->ok)
        qFatal("Konfigurasyon Hatasi!!!");

    setupRoutes();

    connect(&cleanupTimer, &QTimer::timeout, this, &HttpServer::cleanupOldSessions);
    cleanupTimer.start(21600000);
    config->cleanupOldSessions();
}

HttpServer::~HttpServer()
{
    close();
}

void HttpServer::cleanupOldSessions()
{
    config->cleanupOldSessions();
}

bool HttpServer::listen()
{
    if (!tcpServer.listen(host, port)) {
        Q_EMIT error(QStringLiteral("Failed to start server on %1:%2 - %3")
                         .arg(host.toString())
                         .arg(port)
                         .arg(tcpServer.errorString()));
        return false;
    }
    // Port 0 asks the system for a free port; report the real one.
    port = tcpServer.serverPort();
    httpServer.bind(&tcpServer);
    if (httpServer.servers().isEmpty()) {
        Q_EMIT error(QStringLiteral("Failed to bind HTTP server to TCP server"));
        tcpServer.close();
        return false;
    }
    closed = false;
    const quint16 wsPort = quint16((port + 100) % 65536);
    if (wsServer->listen(host, wsPort))
        qInfo() << "WebSocket server listening on port" << wsPort;
    else
        qWarning() << "WebSocket server failed to listen on port" << wsPort << wsServer->errorString();
    Q_EMIT serverStarted(host, port);
    return true;
}

void HttpServer::close()
{
    if (closed)
        return;
    closed = true;
    qDebug() << "Shutting down server...";
    const QList<QWebSocket *> sockets = wsClients.keys();
    wsClients.clear();
    userSockets.clear();
    for (QWebSocket *socket : sockets) {
        socket->close(QWebSocketProtocol::CloseCodeNormal, QString());
        socket->deleteLater();
    }
    if (wsServer->isListening())
        wsServer->close();
    if (tcpServer.isListening()) {
        tcpServer.close();
        Q_EMIT serverStopped();
    }
}

bool HttpServer::isListening() const
{
    return tcpServer.isListening();
}

QString HttpServer::getTokenFromRequest(const QHttpServerRequest &request)
{
    const QString header = QString::fromUtf8(request.value("Authorization"));
    QString token;
    if (!header.isEmpty()) {
        if (header.startsWith(QLatin1String("Bearer "), Qt::CaseInsensitive))
            token = header.mid(7).trimmed();
        else
            token = header.trimmed();
        return QUrl::fromPercentEncoding(token.toUtf8());
    }
    token = request.query().queryItemValue(QStringLiteral("token"), QUrl::FullyEncoded);
    if (token.isEmpty())
        return QString();
    return QUrl::fromPercentEncoding(token.toUtf8());
}

void HttpServer::addCorsHeaders(QHttpServerResponse &response)
{
    response.addHeader("Access-Control-Allow-Origin", "*");
    response.addHeader("Access-Control-Allow-Methods", "GET, POST, PUT, OPTIONS");
    response.addHeader("Access-Control-Allow-Headers", "Content-Type, Authorization");
    response.addHeader("Access-Control-Max-Age", "86400");
}

QHttpServerResponse HttpServer::createJsonResponse(const QJsonArray &array, int status)
{
    // Naming the type up front spares the MIME sniffing of the body, the largest cost of a
    // small answer.
    QHttpServerResponse response("application/json; charset=utf-8", QJsonDocument(array).toJson(QJsonDocument::Compact),
                                 QHttpServerResponse::StatusCode(status));
    addCorsHeaders(response);
    response.addHeader("Server", "Corvina-Server/1.0");
    const QString date = QLocale::c().toString(QDateTime::currentDateTimeUtc(), QStringLiteral("ddd, dd MMM yyyy hh:mm:ss"));
    response.addHeader("Date", date.toLatin1() + " GMT");
    return response;
}

QHttpServerResponse HttpServer::createErrorResponse(int status, const QString &error)
{
    const QJsonObject body{
        {"error", error},
        {"status", status},
        {"timestamp", QDateTime::currentDateTime().toString(Qt::ISODate).left(19)},
    };
    return createJsonResponse(QJsonArray{body}, status);
}

QHttpServerResponse HttpServer::handleOptionsRequest(const QHttpServerRequest &)
{
    QHttpServerResponse response(QHttpServerResponse::StatusCode::Ok);
    addCorsHeaders(response);
    response.addHeader("Allow", "GET, POST, PUT, OPTIONS");
    return response;
}

QHttpServerResponse HttpServer::handleNotFound()
{
    return createJsonResponse(QJsonArray{QJsonObject{{"error", "EndpointNotFound"}}}, 404);
}

QByteArray HttpServer::gzipCompress(const QByteArray &data)
{
    if (data.isEmpty())
        return QByteArray();
    z_stream stream{};
    if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        qDebug() << "Failed to initialize zlib for compression";
        return QByteArray();
    }
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.constData()));
    stream.avail_in = uInt(data.size());
    QByteArray out;
    char chunk[16384];
    int ret = Z_OK;
    do {
        stream.next_out = reinterpret_cast<Bytef *>(chunk);
        stream.avail_out = sizeof chunk;
        ret = deflate(&stream, Z_FINISH);
        if (ret != Z_OK && ret != Z_STREAM_END && ret != Z_BUF_ERROR) {
            qDebug() << "Compression failed, ret:" << ret;
            deflateEnd(&stream);
            return QByteArray();
        }
        out.append(chunk, qsizetype(sizeof chunk - stream.avail_out));
    } while (ret != Z_STREAM_END);
    deflateEnd(&stream);
    return out;
}

User *HttpServer::authenticate(const QHttpServerRequest &request)
{
    return config->getUser(getTokenFromRequest(request));
}

std::optional<QHttpServerResponse> HttpServer::authenticatedObject(const QHttpServerRequest &request, User **user,
                                                                  QJsonObject *object)
{
    *user = authenticate(request);
    if (!*user)
        return createErrorResponse(401, QStringLiteral("InvalidToken"));
    const QString errorWord = RequestLimits::requestObject(request.body(), object);
    if (!errorWord.isEmpty())
        return createErrorResponse(400, errorWord);
    return std::nullopt;
}

void HttpServer::setupRoutes()
{
    using Method = QHttpServerRequest::Method;
    using Handler = QHttpServerResponse (HttpServer::*)(const QHttpServerRequest &);
    struct Rule
    {
        const char *path;
        Method method;
        const char *methodName;
        Handler handler;   // null: pre-flight
    };
    const Rule rules[] = {
        {"/api/parse", Method::Post, "POST", &HttpServer::handleParseEndpoint},
        {"/api/parse", Method::Options, "OPTIONS", nullptr},
        {"/api/calc", Method::Post, "POST", &HttpServer::handleCalcEndpoint},
        {"/api/calc", Method::Options, "OPTIONS", nullptr},
        {"/api/currency", Method::Get, "GET", &HttpServer::handleCurrencyEndpoint},
        {"/api/currency", Method::Options, "OPTIONS", nullptr},
        {"/api/integrations", Method::Get, "GET", &HttpServer::handleIntegrationsEndpoint},
        {"/api/integrations", Method::Options, "OPTIONS", nullptr},
        {"/api/login", Method::Post, "POST", &HttpServer::handleLoginEndpoint},
        {"/api/login", Method::Options, "OPTIONS", nullptr},
        {"/api/settings", Method::Get, "GET", &HttpServer::handleSettingsEndpoint},
        {"/api/settings", Method::Put, "PUT", &HttpServer::handleSaveSettingsEndpoint},
        {"/api/settings", Method::Options, "OPTIONS", nullptr},
        {"/api/action", Method::Post, "POST", &HttpServer::handleActionEndpoint},
        {"/api/action", Method::Options, "OPTIONS", nullptr},
        {"/api/prepare", Method::Post, "POST", &HttpServer::handlePrepareEndpoint},
        {"/api/prepare", Method::Options, "OPTIONS", nullptr},
        {"/api/sockets", Method::Get, "GET", &HttpServer::handleSocketsEndpoint},
        {"/api/sockets", Method::Options, "OPTIONS", nullptr},
    };
    for (const Rule &rule : rules) {
        const QString path = QString::fromLatin1(rule.path);
        const QString method = QString::fromLatin1(rule.methodName);
        const Handler handler = rule.handler;
        httpServer.route(path, rule.method, [this, path, method, handler](const QHttpServerRequest &request) {
            QHttpServerResponse response = handler ? (this->*handler)(request) : handleOptionsRequest(request);
            Q_EMIT requestProcessed(method, path, handler ? int(response.statusCode()) : 200);
            return response;
        });
    }
    httpServer.setMissingHandler([this](const QHttpServerRequest &request, QHttpServerResponder &&responder) {
        handleNotFound().write(std::move(responder));
        Q_EMIT requestProcessed(QStringLiteral("GET"), request.url().path(), 404);
    });
}
