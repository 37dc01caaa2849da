// Login, settings, gold rates, integrators and the user's connected client kinds.
#include "httpserver.h"

#include "config/config.h"

#include <QDate>
#include <QDateTime>
#include <QJsonDocument>
#include <QSet>
#include <QtDebug>

namespace {

QString decodePassword(const QString &base64url)
{
    return QString::fromUtf8(QByteArray::fromBase64(base64url.toLatin1(), QByteArray::Base64UrlEncoding));
}

QJsonObject rateObject(const QByteArray &date, qint64 oldc, qint64 newl, qint64 newh, qint64 newc)
{
    return QJsonObject{{"date", QString::fromLatin1(date)}, {"oldc", oldc}, {"newl", newl}, {"newh", newh}, {"newc", newc}};
}

} // namespace

QHttpServerResponse HttpServer::handleLoginEndpoint(const QHttpServerRequest &request)
{
    QString errorWord;
    const QJsonDocument doc = RequestLimits::parseJson(request.body(), &errorWord);
    if (!errorWord.isEmpty() || !doc.isObject())
        return createErrorResponse(400, QStringLiteral("InvalidJSON"));
    const QJsonObject body = doc.object();
    const QString name = body.value("name").toString();
    const QString encodedPass = body.value("pass").toString();
    const QString base = body.value("base").toString();
    if (name.isEmpty() || encodedPass.isEmpty())
        return createErrorResponse(400, QStringLiteral("NoNamePass"));
    const QString password = decodePassword(encodedPass);

    User *user = config->getUser(name, password);
    if (!user) {
        // A known account with another password must stay as it is: no new user
        // in its place, no settings changed, no login time recorded.
        if (config->findUserId(name) > 0)
            return createErrorResponse(401, QStringLiteral("InvalidCredentials"));
        user = config->addUser(name);
        if (!user)
            return createErrorResponse(500, QStringLiteral("CreateUserFailed"));
    }

    user->pass = password;
    user->integrator(base);
    if (!config->saveUserSettings(user->uid))
        qDebug() << "Failed to save user settings after login for user" << user->uid;
    config->updateUserLastLoginTimestamp(user->uid, QDateTime::currentMSecsSinceEpoch());

    const QString token = config->createSession(user->uid);
    if (token.isEmpty())
        return createErrorResponse(500, QStringLiteral("CreateTokenFailed"));
    return createJsonResponse(
        QJsonArray{QJsonObject{{"token", token}, {"hash", qint64(user->getSettingsVersion())}, {"success", true}}}, 200);
}

QHttpServerResponse HttpServer::handleSettingsEndpoint(const QHttpServerRequest &request)
{
    User *user = authenticate(request);
    if (!user)
        return createErrorResponse(401, QStringLiteral("InvalidToken"));
    const QJsonObject settings = user->toJO();
    const qint64 hash = settings.value("hash").toInteger();
    bool ok = false;
    const qint64 version = request.query().queryItemValue(QStringLiteral("version")).toLongLong(&ok, 10);
    if (ok && version > 0 && hash > 0 && version == hash) {
        QHttpServerResponse response(QHttpServerResponse::StatusCode::NotModified);
        addCorsHeaders(response);
        return response;
    }
    return createJsonResponse(QJsonArray{settings}, 200);
}

bool HttpServer::saveSettings(User *user, const QJsonObject &object)
{
    if (object.contains("restoreDefault")) {
        const QJsonValue value = object.value("restoreDefault");
        const bool restore = value.isObject() ? value.toObject().value("carat").toBool() : value.toBool();
        if (restore && (!config->restoreUserCaratDefaults(user->uid) || !user->load()))
            return false;
    }
    return user->fromJO(object) && config->saveUserSettings(user->uid);
}

QHttpServerResponse HttpServer::handleSaveSettingsEndpoint(const QHttpServerRequest &request)
{
    User *user = nullptr;
    QJsonObject object;
    if (auto refusal = authenticatedObject(request, &user, &object))
        return std::move(*refusal);
    if (object.isEmpty())
        return createErrorResponse(400, QStringLiteral("InvalidJSON"));
    if (!saveSettings(user, object))
        return createErrorResponse(500, QStringLiteral("SaveSettingsFailed"));
    return createJsonResponse(QJsonArray{QJsonObject{{"success", true},
                                                     {"hash", user->toJO().value("hash")},
                                                     {"message", "Settings saved successfully"}}},
                              200);
}

QHttpServerResponse HttpServer::handleCurrencyEndpoint(const QHttpServerRequest &request)
{
    const QString dateText = request.query().queryItemValue(QStringLiteral("date"));
    if (!dateText.isEmpty()) {
        const QDate date = QDate::fromString(dateText, QStringLiteral("yyyy-MM-dd"));
        const QDate today = QDate::currentDate();
        if (date.isValid() && date > today)
            return createJsonResponse(QJsonArray{rateObject(dateText.toLatin1(), 0, 0, 0, 0)}, 200);
        if (date.isValid() && date > today.addDays(-5)) {
            const CurrencyData rate = config->currencyRateOf(date.toString(Qt::ISODate).toLatin1());
            if (rate.date.isEmpty())
                return createErrorResponse(404, QStringLiteral("NoCurrencyRate"));
            return createJsonResponse(QJsonArray{rateObject(rate.date, rate.oldc, rate.newl, rate.newh, rate.newc)}, 200);
        }
        // Older days: let the rate store obtain and keep the day, then answer the full list.
        config->currencyRateOf(dateText.toLatin1());
    }

    const QJsonArray all = config->getAllCurrencyRates(1000000);
    const QByteArray packed = gzipCompress(QJsonDocument(all).toJson(QJsonDocument::Compact));
    if (packed.isEmpty()) {
        qDebug() << "Gzip compression failed, returning uncompressed data";
        return createJsonResponse(all, 200);
    }
    QHttpServerResponse response("application/json; charset=utf-8", packed, QHttpServerResponse::StatusCode::Ok);
    addCorsHeaders(response);
    response.addHeader("Content-Encoding", "gzip");
    return response;
}

QHttpServerResponse HttpServer::handleIntegrationsEndpoint(const QHttpServerRequest &)
{
    const QJsonArray integrations{
        QJsonObject{{"id", "uyumsoft"}, {"name", "Uyumsoft"}, {"display_name", "Uyumsoft"}},
        QJsonObject{{"id", "edm"}, {"name", "EDM"}, {"display_name", "EDM"}},
    };
    return createJsonResponse(QJsonArray{QJsonObject{{"integrations", integrations}, {"count", 2}}}, 200);
}

QHttpServerResponse HttpServer::handleSocketsEndpoint(const QHttpServerRequest &request)
{
    User *user = authenticate(request);
    if (!user)
        return createErrorResponse(401, QStringLiteral("InvalidToken"));
    QSet<QString> kinds;
    for (QWebSocket *socket : userSockets.value(user->uid)) {
        const QString kind = wsClients.value(socket).clientType.trimmed().toLower();
        if (!kind.isEmpty())
            kinds.insert(kind);
    }
    const QString clientType = kinds.size() > 1 ? QStringLiteral("all")
                               : kinds.isEmpty() ? QString("")
                                                 : *kinds.cbegin();
    return createJsonResponse(QJsonArray{QJsonObject{{"clientType", clientType}}}, 200);
}
