// Statement uploads and single payments, priced into rows for a client.
#include "httpserver.h"
#include "multipart.h"
#include "requestlimits.h"

#include "config/config.h"
#include "parser/accountparser.h"
#include "records/row.h"

#include <QBuffer>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QtConcurrent>

#include <cmath>

QByteArray processFiles(const QList<ParsedFile> &files)
{
    QByteArray text;
    for (const ParsedFile &file : files) {
        QBuffer device;
        device.setData(file.data);
        if (!device.open(QIODevice::ReadOnly))
            continue;
        text += AccountParser::readTable(device);
    }
    return text;
}

QJsonArray rowListToJA(QList<Row> rows)
{
    for (Row &row : rows)
        row.reset();
    QtConcurrent::blockingMap(QThreadPool::globalInstance(), rows, [](Row &row) { row(); });
    QJsonArray array;
    for (const Row &row : std::as_const(rows)) {
        if (!row.invalid && !row.excluded)
            array.append(row.toJO());
    }
    return array;
}

QJsonArray processTextData(const QByteArray &text, User *user)
{
    if (!user)
        return QJsonArray();
    AccountParser parser(user);
    QList<Row> rows = parser.parseText(text);
    combineRecords(rows, user->combine);
    if (user->autofilter)
        autoFilterRows(rows, user->filters);
    return rowListToJA(std::move(rows));
}

QHttpServerResponse HttpServer::handleParseEndpoint(const QHttpServerRequest &request)
{
    User *user = authenticate(request);
    if (!user)
        return createErrorResponse(401, QStringLiteral("InvalidToken"));
    const QByteArray contentType = request.value("content-type");
    if (!contentType.contains("multipart/form-data"))
        return createErrorResponse(400, QStringLiteral("NoMultipartFormData"));
    static const QRegularExpression boundaryPattern(QStringLiteral("boundary=([^;\\s]+)"));
    const QRegularExpressionMatch match = boundaryPattern.match(QString::fromLatin1(contentType));
    if (!match.hasMatch())
        return createErrorResponse(400, QStringLiteral("MissingBoundary"));
    // A quoted boundary is as valid as a bare one (Qt's own clients quote it).
    QByteArray boundary = match.captured(1).toLatin1();
    if (boundary.size() > 2 && boundary.startsWith('"') && boundary.endsWith('"'))
        boundary = boundary.mid(1, boundary.size() - 2);
    const QList<ParsedFile> files = parseMultipartData(request.body(), boundary);
    if (files.isEmpty())
        return createErrorResponse(400, QStringLiteral("NoTableFiles"));
    return createJsonResponse(processTextData(processFiles(files), user), 200);
}

QHttpServerResponse HttpServer::handleCalcEndpoint(const QHttpServerRequest &request)
{
    User *user = authenticate(request);
    if (!user)
        return createErrorResponse(401, QStringLiteral("InvalidToken"));
    QString errorWord;
    const QJsonDocument doc = RequestLimits::parseJson(request.body(), &errorWord);
    if (!errorWord.isEmpty() && errorWord != QLatin1String("InvalidJSON"))
        return createErrorResponse(400, errorWord);
    if (!errorWord.isEmpty() || !doc.isObject())
        return createErrorResponse(400, QStringLiteral("InvalidJSON"));
    const QJsonObject object = doc.object();
    if (!object.contains("amount"))
        return createErrorResponse(400, QStringLiteral("NoAmount"));
    if (!object.contains("date"))
        return createErrorResponse(400, QStringLiteral("NoDate"));
    const QJsonValue amountValue = object.value("amount");
    if (!amountValue.isDouble())
        return createErrorResponse(400, QStringLiteral("InvalidAmount"));
    const QString date = object.value("date").toString().trimmed();
    if (date.isEmpty())
        return createErrorResponse(400, QStringLiteral("InvalidDate"));
    // Rows keep payer names as the statement reader writes them: upper case, Turkish letters
    // folded, one byte per letter. Raw UTF-8 would come back garbled from the row's JSON.
    QString name = object.value("name").toString().simplified();
    normalizeName(name);

    qint64 ident = 0;
    const QJsonValue identValue = object.value("ident");
    if (identValue.isDouble()) {
        const double value = std::trunc(identValue.toDouble());
        // Out of range means no identity number rather than an undefined conversion.
        if (std::isfinite(value) && std::fabs(value) < 9.2e18)
            ident = qint64(value);
    } else if (identValue.isString()) {
        bool ok = false;
        ident = identValue.toString().toLongLong(&ok, 10);
        if (!ok)
            ident = 0;
    }

    const double amount = amountValue.toDouble();
    const double kurus = std::trunc(std::fma(amount, 100.0, amount < 0 ? -0.5 : 0.5));
    // Amounts a client could mistype beyond any payment are refused, not saturated.
    if (!std::isfinite(kurus) || std::fabs(kurus) > 1e15)
        return createErrorResponse(400, QStringLiteral("InvalidAmount"));

    Row row(user, date.toUtf8(), name.toLatin1(), qint64(kurus), ident);
    return createJsonResponse(QJsonArray{row.toJO()}, 200);
}
