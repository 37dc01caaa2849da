// The server as its clients see it: a real `corvina --server` process, real HTTP and
// WebSocket clients on 127.0.0.1.
#include "common/servertree.h"
#include "fakes/fakeedm.h"
#include "fakes/fakeexchange.h"

#include <QDate>
#include <QDirIterator>
#include <QHttpMultiPart>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QWebSocket>
#include <QDomDocument>
#include <QTcpSocket>
#include <QStandardPaths>
#include <QProcess>
#include <QtTest>

namespace {

struct Reply
{
    int status = 0;
    QByteArray body;
    QHash<QByteArray, QByteArray> headers;   // lower-case names
    QJsonArray array() const { return QJsonDocument::fromJson(body).array(); }
    QJsonObject first() const { return array().first().toObject(); }
};

QByteArray b64url(const QString &text)
{
    return text.toUtf8().toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
}

// The one recent day the fake exchange has gold prices for.
QByteArray pricedDay()
{
    return QDate::currentDate().addDays(-12).toString(Qt::ISODate).toLatin1();
}

// A WebSocket client that keeps what it receives.
struct WsClient
{
    QWebSocket socket;
    QStringList messages;
    bool closed = false;
    int closeCode = -1;

    WsClient()
    {
        QObject::connect(&socket, &QWebSocket::textMessageReceived, [this](const QString &m) { messages << m; });
        QObject::connect(&socket, &QWebSocket::disconnected, [this] {
            closed = true;
            closeCode = socket.closeCode();
        });
    }
    bool open(const QString &url)
    {
        socket.open(QUrl(url));
        return QTest::qWaitFor([this] { return socket.state() == QAbstractSocket::ConnectedState || closed; }, 10000);
    }
    QJsonObject waitMessage(int index)
    {
        QTest::qWaitFor([&] { return messages.size() > index; }, 10000);
        return messages.size() > index ? QJsonDocument::fromJson(messages[index].toUtf8()).object() : QJsonObject();
    }
};

} // namespace

class TestServer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void preflight_data();
    void preflight();
    void notFound_data();
    void notFound();
    void integrationsAndHeaders();
    void loginRefusals_data();
    void loginRefusals();
    void wrongPasswordChangesNothing();
    void tokenForms_data();
    void tokenForms();
    void settingsVersion();
    void saveSettings();
    void currency();
    void webSocketAuth();
    void relayAndStore();
    void unsafeUserNameStaysInsideFiles();
    void oversizedAndBrokenMessagesLeaveOthersAlone();
    void parseRefusals_data();
    void parseRefusals();
    void parseStatements();
    void parseAutoFilter();
    void calc_data();
    void calc();
    void requestBounds_data();
    void requestBounds();
    void prepare_data();
    void prepare();
    void actionRefusals_data();
    void actionRefusals();
    void sendDraftsThenIssueAndQuery();
    void integratorFailureIsNoHttpError();
    void npmWebSocketClient();
    void wholeChain();

private:
    Reply upload(const QList<QPair<QString, QString>> &files);
    QList<QPair<QByteArray, QByteArray>> auth() const { return {{"Authorization", "Bearer " + token.toLatin1()}}; }
    QList<QPair<QByteArray, QByteArray>> edmAuth() const { return {{"Authorization", edmToken.toLatin1()}}; }
    Reply send(const QByteArray &method, const QString &path, const QByteArray &body = QByteArray(),
               const QList<QPair<QByteArray, QByteArray>> &headers = {});
    QString login(const QString &name, const QString &pass, const QString &base = "edm");

    ServerTree server;
    FakeEdm edm;
    FakeExchange exchange;
    QNetworkAccessManager nam;
    QString token;      // session of "kuyumcu"
    QString edmToken;   // session of the EDM test account, served by the fake
};

void TestServer::initTestCase()
{
    QVERIFY(edm.listen());
    // The exchange has prices for one recent day only; the server's back-fill meets it too.
    exchange.setBulletin(pricedDay(), FakeResponse::ok(FakeExchange::textBulletin("2.345.678,90", "2.300.000,00",
                                                                                  "2.400.000,00", "2.350.000,00")));
    QVERIFY(exchange.listen());
    QVERIFY(server.setParams({{"edm", "testhost", edm.hostAndPort()},
                              {"exchange", "host", exchange.hostAndPort()},
                              {"exchange", "livehost", exchange.hostAndPort()}}));
    QVERIFY(server.start());
    token = login("kuyumcu", "gizli+/=şifre");
    QCOMPARE(token.size(), 47);
    edmToken = login(edm.userName, edm.password, "edm");
    QVERIFY(!edmToken.isEmpty());
}

void TestServer::cleanupTestCase()
{
    server.stop();
}

Reply TestServer::send(const QByteArray &method, const QString &path, const QByteArray &body,
                       const QList<QPair<QByteArray, QByteArray>> &headers)
{
    QNetworkRequest request{QUrl(server.url(path))};
    for (const auto &[name, value] : headers)
        request.setRawHeader(name, value);
    if (!body.isEmpty() && !request.hasRawHeader("Content-Type"))
        request.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
    QNetworkReply *reply = nam.sendCustomRequest(request, method, body);
    QSignalSpy finished(reply, &QNetworkReply::finished);
    finished.wait(30000);
    Reply r;
    r.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    r.body = reply->readAll();
    for (const auto &[name, value] : reply->rawHeaderPairs())
        r.headers.insert(name.toLower(), value);
    reply->deleteLater();
    return r;
}

QString TestServer::login(const QString &name, const QString &pass, const QString &base)
{
    const QJsonObject body{{"name", name}, {"pass", QString::fromLatin1(b64url(pass))}, {"base", base}};
    const Reply r = send("POST", "/api/login", QJsonDocument(body).toJson());
    if (r.status != 200)
        return QString();
    return r.first().value("token").toString();
}

void TestServer::preflight_data()
{
    QTest::addColumn<QString>("path");
    for (const char *path : {"/api/parse", "/api/calc", "/api/currency", "/api/integrations", "/api/login",
                             "/api/settings", "/api/action", "/api/prepare", "/api/sockets"})
        QTest::newRow(path) << QString(path);
}

void TestServer::preflight()
{
    QFETCH(QString, path);
    const Reply r = send("OPTIONS", path);
    QCOMPARE(r.status, 200);
    QVERIFY(r.body.isEmpty());
    QCOMPARE(r.headers.value("allow"), QByteArray("GET, POST, PUT, OPTIONS"));
    QCOMPARE(r.headers.value("access-control-allow-origin"), QByteArray("*"));
    QCOMPARE(r.headers.value("access-control-allow-headers"), QByteArray("Content-Type, Authorization"));
    QCOMPARE(r.headers.value("access-control-max-age"), QByteArray("86400"));
}

void TestServer::notFound_data()
{
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QString>("path");
    QTest::newRow("unknown path") << QByteArray("GET") << "/api/nothing";
    QTest::newRow("method without a rule") << QByteArray("DELETE") << "/api/login";
    QTest::newRow("get on a post rule") << QByteArray("GET") << "/api/login";
    QTest::newRow("outside the api") << QByteArray("GET") << "/";
}

void TestServer::notFound()
{
    QFETCH(QByteArray, method);
    QFETCH(QString, path);
    const Reply r = send(method, path);
    QCOMPARE(r.status, 404);
    QCOMPARE(r.body, QByteArray(R"([{"error":"EndpointNotFound"}])"));
}

void TestServer::integrationsAndHeaders()
{
    const Reply r = send("GET", "/api/integrations");
    QCOMPARE(r.status, 200);
    QCOMPARE(r.body, QByteArray(R"([{"count":2,"integrations":[{"display_name":"Uyumsoft","id":"uyumsoft","name":"Uyumsoft"},)"
                                R"({"display_name":"EDM","id":"edm","name":"EDM"}]}])"));
    QCOMPARE(r.headers.value("content-type"), QByteArray("application/json; charset=utf-8"));
    QCOMPARE(r.headers.value("server"), QByteArray("Corvina-Server/1.0"));
    QVERIFY(QRegularExpression("^(Mon|Tue|Wed|Thu|Fri|Sat|Sun), \\d\\d (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) "
                               "\\d{4} \\d\\d:\\d\\d:\\d\\d GMT$")
                .match(QString::fromLatin1(r.headers.value("date"))).hasMatch());
}

void TestServer::loginRefusals_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("error");
    QTest::newRow("not JSON") << QByteArray("{name:") << "InvalidJSON";
    QTest::newRow("an array") << QByteArray(R"([{"name":"a","pass":"YQ"}])") << "InvalidJSON";
    QTest::newRow("empty password") << QByteArray(R"({"name":"yeni","pass":""})") << "NoNamePass";
    QTest::newRow("no name") << QByteArray(R"({"pass":"YQ"})") << "NoNamePass";
}

void TestServer::loginRefusals()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, error);
    const Reply r = send("POST", "/api/login", body);
    QCOMPARE(r.status, 400);
    QCOMPARE(r.first().value("error").toString(), error);
    QCOMPARE(r.first().value("status").toInt(), 400);
    QVERIFY(QRegularExpression("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d$")
                .match(r.first().value("timestamp").toString()).hasMatch());
    // A refused login creates no account: the same name still logs in fresh.
    QVERIFY(!login("yeni", "x").isEmpty());
}

void TestServer::wrongPasswordChangesNothing()
{
    const QString owner = login("sahip", "dogru", "uyumsoft");
    QVERIFY(!owner.isEmpty());
    const QJsonObject before = send("GET", "/api/settings", {}, {{"Authorization", owner.toLatin1()}}).first();

    const QJsonObject attempt{{"name", "sahip"}, {"pass", QString::fromLatin1(b64url("yanlis"))}, {"base", "edm"}};
    const Reply r = send("POST", "/api/login", QJsonDocument(attempt).toJson());
    QCOMPARE(r.status, 401);
    QCOMPARE(r.first().value("error").toString(), QString("InvalidCredentials"));

    // The owner's session, integrator and settings are untouched.
    const Reply after = send("GET", "/api/settings", {}, {{"Authorization", owner.toLatin1()}});
    QCOMPARE(after.status, 200);
    QCOMPARE(after.first(), before);
    QCOMPARE(after.first().value("user").toObject().value("base").toString(), QString("uyumsoft"));
    QVERIFY(!login("sahip", "dogru").isEmpty());
}

void TestServer::tokenForms_data()
{
    QTest::addColumn<QByteArray>("authorization");
    QTest::addColumn<QString>("query");
    QTest::addColumn<int>("status");
    QTest::newRow("lower-case bearer") << QByteArray("bearer %T") << "" << 200;
    QTest::newRow("bearer, extra spaces") << QByteArray("Bearer  %T ") << "" << 200;
    QTest::newRow("plain token") << QByteArray("%T") << "" << 200;
    // HTTP trims header values, so a blank header arrives as no header at all.
    QTest::newRow("blank header") << QByteArray("   ") << "" << 401;
    QTest::newRow("query token") << QByteArray() << "token=%T" << 200;
    QTest::newRow("wrong token") << QByteArray("Bearer nope") << "" << 401;
    QTest::newRow("no token") << QByteArray() << "" << 401;
}

void TestServer::tokenForms()
{
    QFETCH(QByteArray, authorization);
    QFETCH(QString, query);
    QFETCH(int, status);
    authorization.replace("%T", token.toLatin1());
    query.replace("%T", QString::fromLatin1(QUrl::toPercentEncoding(token)));
    QList<QPair<QByteArray, QByteArray>> headers;
    if (!authorization.isEmpty())
        headers << qMakePair(QByteArray("Authorization"), authorization);
    const Reply r = send("GET", "/api/sockets" + (query.isEmpty() ? QString() : "?" + query), {}, headers);
    QCOMPARE(r.status, status);
    if (status == 401)
        QCOMPARE(r.first().value("error").toString(), QString("InvalidToken"));
}

void TestServer::settingsVersion()
{
    const QList<QPair<QByteArray, QByteArray>> auth{{"Authorization", "Bearer " + token.toLatin1()}};
    const Reply full = send("GET", "/api/settings", {}, auth);
    QCOMPARE(full.status, 200);
    const qint64 hash = full.first().value("hash").toInteger();
    QVERIFY(hash > 0);
    QVERIFY(full.first().contains("carat"));
    QCOMPARE(full.first().value("user").toObject().value("pass").toString(), QString());

    const Reply current = send("GET", "/api/settings?version=" + QString::number(hash), {}, auth);
    QCOMPARE(current.status, 304);
    QVERIFY(current.body.isEmpty());
    for (const QString &version : {QString("0"), QString("abc"), QString::number(hash + 1)})
        QCOMPARE(send("GET", "/api/settings?version=" + version, {}, auth).status, 200);
}

void TestServer::saveSettings()
{
    const QList<QPair<QByteArray, QByteArray>> auth{{"Authorization", token.toLatin1()}};
    QCOMPARE(send("PUT", "/api/settings", "{}", auth).status, 400);
    QCOMPARE(send("PUT", "/api/settings", "[]", auth).status, 400);
    QCOMPARE(send("PUT", "/api/settings", "{", auth).status, 400);

    const QJsonObject change{{"company", QJsonObject{{"Company", "  Demir Kuyumculuk  "}}},
                             {"carat", QJsonArray{QJsonObject{{"index", 1}, {"cname", "Bilezik"}}}}};
    const Reply saved = send("PUT", "/api/settings", QJsonDocument(QJsonArray{change}).toJson(), auth);
    QCOMPARE(saved.status, 200);
    QCOMPARE(saved.first().value("message").toString(), QString("Settings saved successfully"));
    QJsonObject settings = send("GET", "/api/settings", {}, auth).first();
    QCOMPARE(settings.value("company").toObject().value("Company").toString(), QString("Demir Kuyumculuk"));
    QCOMPARE(settings.value("hash"), saved.first().value("hash"));

    // Restoring the defaults brings the shipped lines back before other keys apply.
    const Reply restored = send("PUT", "/api/settings", R"({"restoreDefault":{"carat":true}})", auth);
    QCOMPARE(restored.status, 200);
    settings = send("GET", "/api/settings", {}, auth).first();
    bool bilezik = false;
    for (const QJsonValue &line : settings.value("carat").toArray())
        bilezik = bilezik || line.toObject().value("cname").toString() == "Bilezik";
    QVERIFY(!bilezik);
}

void TestServer::currency()
{
    const QString tomorrow = QDate::currentDate().addDays(1).toString(Qt::ISODate);
    Reply r = send("GET", "/api/currency?date=" + tomorrow);
    QCOMPARE(r.status, 200);
    QCOMPARE(r.first(), (QJsonObject{{"date", tomorrow}, {"oldc", 0}, {"newl", 0}, {"newh", 0}, {"newc", 0}}));

    r = send("GET", "/api/currency?date=" + QDate::currentDate().toString(Qt::ISODate));
    QCOMPARE(r.status, 404);
    QCOMPARE(r.first().value("error").toString(), QString("NoCurrencyRate"));

    // Older days answer the whole stored list, gzip-compressed.
    r = send("GET", "/api/currency?date=" + QDate::currentDate().addDays(-10).toString(Qt::ISODate));
    QCOMPARE(r.status, 200);
    QCOMPARE(r.headers.value("content-encoding"), QByteArray("gzip"));
    QVERIFY(QJsonDocument::fromJson(r.body).isArray());
}

void TestServer::webSocketAuth()
{
    WsClient desktop;
    QVERIFY(desktop.open(server.wsUrl("token=" + token + "&client=Desktop")));
    QJsonObject hello = desktop.waitMessage(0);
    QCOMPARE(hello.value("type").toString(), QString("ok"));
    QCOMPARE(hello.value("token").toString(), token);
    const QList<QPair<QByteArray, QByteArray>> auth{{"Authorization", token.toLatin1()}};
    QTRY_COMPARE(send("GET", "/api/sockets", {}, auth).first().value("clientType").toString(), QString("desktop"));

    WsClient byPassword;
    QVERIFY(byPassword.open(server.wsUrl("token=expired&name=kuyumcu&pass=" + b64url("gizli+/=şifre") + "&client=mobile")));
    hello = byPassword.waitMessage(0);
    QCOMPARE(hello.value("type").toString(), QString("ok"));
    QCOMPARE(hello.value("token").toString().size(), 47);
    QVERIFY(hello.value("token").toString() != token);
    QTRY_COMPARE(send("GET", "/api/sockets", {}, auth).first().value("clientType").toString(), QString("all"));

    WsClient wrongToken;
    wrongToken.open(server.wsUrl("token=nope"));
    QCOMPARE(wrongToken.waitMessage(0), (QJsonObject{{"type", "error"}, {"message", "InvalidToken"}}));
    QTRY_VERIFY(wrongToken.closed);
    QCOMPARE(wrongToken.closeCode, 1000);

    WsClient nothing;
    nothing.open(server.wsUrl("client=desktop"));
    QTRY_VERIFY(nothing.closed);
    QVERIFY(nothing.messages.isEmpty());

    desktop.socket.close();
    byPassword.socket.close();
    QTRY_COMPARE(send("GET", "/api/sockets", {}, auth).first().value("clientType").toString(), QString(""));
}

void TestServer::relayAndStore()
{
    const QString other = login("baska", "parola");
    WsClient desktop, mobile, tablet, stranger;
    QVERIFY(desktop.open(server.wsUrl("token=" + token + "&client=desktop")));
    QVERIFY(mobile.open(server.wsUrl("token=" + token + "&client=mobile")));
    QVERIFY(tablet.open(server.wsUrl("token=" + token + "&client=tablet")));
    QVERIFY(stranger.open(server.wsUrl("token=" + other + "&client=desktop")));
    for (WsClient *c : {&desktop, &mobile, &tablet, &stranger})
        QCOMPARE(c->waitMessage(0).value("type").toString(), QString("ok"));

    const QByteArray content = "Tarih;Açıklama;Tutar\n";
    const QJsonObject upload{{"type", "upload"}, {"destination", " Desktop "},
                             {"files", QJsonArray{QJsonObject{{"filename", "ekstre.csv"},
                                                              {"data", QString::fromLatin1(content.toBase64())}}}}};
    mobile.socket.sendTextMessage(QJsonDocument(upload).toJson());
    QCOMPARE(mobile.waitMessage(1), (QJsonObject{{"type", "ok"}}));
    const QJsonObject relayed = desktop.waitMessage(1);
    QCOMPARE(relayed.value("files").toArray().first().toObject().value("filename").toString(), QString("ekstre.csv"));
    QCOMPARE(QByteArray::fromBase64(relayed.value("files").toArray().first().toObject().value("data").toString().toLatin1()),
             content);
    QTest::qWait(200);
    QCOMPARE(tablet.messages.size(), 1);     // not the destination
    QCOMPARE(stranger.messages.size(), 1);   // another user's connection
    QCOMPARE(mobile.messages.size(), 2);     // the sender gets no relay

    // To everyone of the user: destination "all".
    QJsonObject toAll = upload;
    toAll["destination"] = "all";
    desktop.socket.sendTextMessage(QJsonDocument(toAll).toJson());
    QCOMPARE(desktop.waitMessage(2), (QJsonObject{{"type", "ok"}}));
    QVERIFY(mobile.waitMessage(2).contains("files"));
    QVERIFY(tablet.waitMessage(1).contains("files"));
    QTest::qWait(200);
    QCOMPARE(stranger.messages.size(), 1);

    // Both uploads are kept side by side under the user's folder of the day.
    const QString dayDir = server.dataFile("files/kuyumcu/" + QDate::currentDate().toString("ddMMyyyy"));
    const QStringList stored = QDir(dayDir).entryList({"ekstre_*.csv"}, QDir::Files);
    QCOMPARE(stored.size(), 2);

    // Replies to messages that are not uploads.
    struct Case { QByteArray message; const char *reply; };
    const Case cases[] = {
        {"not json", "Invalid JSON"},
        {R"({"type":"ping"})", "Unknown message type"},
        {R"({"files":[]})", "Missing or empty files array"},
        {R"({"files":"x"})", "Missing or empty files array"},
    };
    int index = 3;
    for (const Case &c : cases) {
        desktop.socket.sendTextMessage(QString::fromUtf8(c.message));
        QCOMPARE(desktop.waitMessage(index++), (QJsonObject{{"type", "error"}, {"message", c.reply}}));
    }
    // An element without data is skipped; the upload still succeeds and nothing is relayed.
    desktop.socket.sendTextMessage(R"({"files":[{"filename":"bos.pdf","data":""}]})");
    QCOMPARE(desktop.waitMessage(index++), (QJsonObject{{"type", "ok"}}));
}

void TestServer::unsafeUserNameStaysInsideFiles()
{
    const QString evil = login("../../kacak", "p");
    QVERIFY(!evil.isEmpty());
    WsClient client;
    QVERIFY(client.open(server.wsUrl("token=" + evil)));
    QCOMPARE(client.waitMessage(0).value("type").toString(), QString("ok"));
    const QJsonObject upload{{"files", QJsonArray{QJsonObject{{"filename", "../../../etc/x\\..\\y.pdf"},
                                                              {"data", QString::fromLatin1(QByteArray("%PDF").toBase64())}}}}};
    client.socket.sendTextMessage(QJsonDocument(upload).toJson());
    QCOMPARE(client.waitMessage(1), (QJsonObject{{"type", "ok"}}));

    // Everything written lies under data/files/, in a folder of the uid.
    QStringList written;
    QDirIterator it(server.root.path(), QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (path.endsWith(".pdf"))
            written << path;
    }
    QCOMPARE(written.size(), 1);
    QVERIFY2(written.first().startsWith(server.dataFile("files/user_")), qPrintable(written.first()));
    QVERIFY(QFileInfo(written.first()).fileName().startsWith("y_"));
}

void TestServer::oversizedAndBrokenMessagesLeaveOthersAlone()
{
    WsClient victim, bystander;
    QVERIFY(victim.open(server.wsUrl("token=" + token + "&client=mobile")));
    QVERIFY(bystander.open(server.wsUrl("token=" + token + "&client=desktop")));
    QCOMPARE(victim.waitMessage(0).value("type").toString(), QString("ok"));
    QCOMPARE(bystander.waitMessage(0).value("type").toString(), QString("ok"));

    victim.socket.sendBinaryMessage(QByteArray(1000, 'x'));
    victim.socket.sendTextMessage(QString(49 * 1024 * 1024, QLatin1Char('a')));
    QTRY_VERIFY_WITH_TIMEOUT(victim.closed, 30000);

    // The server still answers others.
    bystander.socket.sendTextMessage("{}");
    QCOMPARE(bystander.waitMessage(1).value("message").toString(), QString("Unknown message type"));
    QCOMPARE(send("GET", "/api/integrations").status, 200);
}

Reply TestServer::upload(const QList<QPair<QString, QString>> &files)
{
    auto *multi = new QHttpMultiPart(QHttpMultiPart::FormDataType);
    for (const auto &[field, path] : files) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return Reply();
        QHttpPart part;
        part.setHeader(QNetworkRequest::ContentDispositionHeader,
                       QStringLiteral("form-data; name=\"%1\"; filename=\"%2\"").arg(field, QFileInfo(path).fileName()));
        part.setBody(file.readAll());
        multi->append(part);
    }
    QNetworkRequest request{QUrl(server.url("/api/parse"))};
    request.setRawHeader("Authorization", "Bearer " + token.toLatin1());
    QNetworkReply *reply = nam.post(request, multi);
    multi->setParent(reply);
    QSignalSpy finished(reply, &QNetworkReply::finished);
    finished.wait(60000);
    Reply r;
    r.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    r.body = reply->readAll();
    reply->deleteLater();
    return r;
}

namespace {

QString example(const char *name)
{
    return QStringLiteral(CORVINA_TEST_SOURCE_DIR "/examples/statements/") + QLatin1String(name);
}

QSet<QString> payerNames(const QJsonArray &rows)
{
    QSet<QString> names;
    for (const QJsonValue &row : rows) {
        const QJsonArray candidates = row.toObject().value("nl").toArray();
        if (!candidates.isEmpty())
            names.insert(candidates.first().toArray().at(1).toString());
    }
    return names;
}

// A payment already priced by a client: 4.05 g of 22 carat, labour with its VAT.
QJsonObject pricedRow(const QString &id, qint64 ident, const QString &name)
{
    return QJsonObject{{"id", id}, {"dt", "2025-11-06"}, {"description", "bilezik"}, {"nn", ident}, {"tn", 0},
                       {"name", name}, {"ct", 1}, {"at", 405}, {"pc", 1200000}, {"pp", 1000000}, {"lp", 166667},
                       {"lt", 33333}, {"np", 1166667}, {"rt", 246913}, {"pr", 250000}, {"lu", 41152}};
}

} // namespace

void TestServer::parseRefusals_data()
{
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("error");
    const QByteArray file = "--b1\r\nContent-Disposition: form-data; name=\"f\"; filename=\"a.csv\"\r\n\r\n"
                            "x;y;z;t;u;v;w\r\n--b1--\r\n";
    QTest::newRow("json body") << QByteArray("application/json") << QByteArray("{}") << 400 << "NoMultipartFormData";
    QTest::newRow("upper-case type is not recognised")
        << QByteArray("Multipart/Form-Data; boundary=b1") << file << 400 << "NoMultipartFormData";
    QTest::newRow("no boundary") << QByteArray("multipart/form-data") << file << 400 << "MissingBoundary";
    // Qt's own multipart writer quotes the boundary.
    QTest::newRow("quoted boundary") << QByteArray("multipart/form-data; boundary=\"b1\"") << file << 200 << "";
    QTest::newRow("plain form field only")
        << QByteArray("multipart/form-data; boundary=b1")
        << QByteArray("--b1\r\nContent-Disposition: form-data; name=\"f\"\r\n\r\nhello\r\n--b1--\r\n") << 400
        << "NoTableFiles";
    QTest::newRow("file part without content")
        << QByteArray("multipart/form-data; boundary=b1")
        << QByteArray("--b1\r\nContent-Disposition: form-data; name=\"f\"; filename=\"a.xlsx\"\r\n\r\n \r\n--b1--\r\n")
        << 400 << "NoTableFiles";
    QTest::newRow("unreadable file answers no rows")
        << QByteArray("multipart/form-data; boundary=b1") << file << 200 << "";
}

void TestServer::parseRefusals()
{
    QFETCH(QByteArray, contentType);
    QFETCH(QByteArray, body);
    QFETCH(int, status);
    QFETCH(QString, error);
    QCOMPARE(send("POST", "/api/parse", body, {{"Content-Type", contentType}}).first().value("error").toString(),
             QString("InvalidToken"));
    const Reply r = send("POST", "/api/parse", body, {{"Content-Type", contentType}, auth().first()});
    QCOMPARE(r.status, status);
    if (status == 200)
        QCOMPARE(r.array(), QJsonArray());
    else
        QCOMPARE(r.first().value("error").toString(), error);
}

void TestServer::parseStatements()
{
    const Reply html = upload({{"f", example("kuveytturk_hesap_ekstresi.html")}});
    QCOMPARE(html.status, 200);
    const Reply pdf = upload({{"f", example("vakifbank_hesap_hareketleri.pdf")}});
    QCOMPARE(pdf.status, 200);
    // How well payers are read is the statement reader's tests' concern; here the rows arrive.
    QVERIFY(!html.array().isEmpty());
    QVERIFY(!pdf.array().isEmpty());

    // Two files in one upload give one list with the payers of both.
    const Reply both = upload({{"a", example("kuveytturk_hesap_ekstresi.html")},
                               {"b", example("vakifbank_hesap_hareketleri.pdf")}});
    QCOMPARE(both.status, 200);
    QCOMPARE(payerNames(both.array()), payerNames(html.array()) | payerNames(pdf.array()));

    // A legacy Excel file is read in a child process: one that crashes the reader
    // costs its own rows only.
    const Reply xls = upload({{"a", QStringLiteral(CORVINA_TEST_SOURCE_DIR "/tests/data/tables/regress/freexl-sst-skip-wild-read.xls")},
                              {"b", example("yapikredi_hesap_hareketleri.xls")}});
    QCOMPARE(xls.status, 200);
    QVERIFY(!xls.array().isEmpty());

    const QJsonObject row = html.array().first().toObject();
    for (const char *key : {"dt", "pc", "id", "nn", "tn", "st", "nl", "al", "sl", "cl"})
        QVERIFY2(row.contains(key), key);
    QVERIFY(QRegularExpression("^\\d{4}-\\d\\d-\\d\\d$").match(row.value("dt").toString()).hasMatch());
}

void TestServer::parseAutoFilter()
{
    const QString file = example("kuveytturk_hesap_ekstresi.html");
    const QSet<QString> before = payerNames(upload({{"f", file}}).array());
    QVERIFY(!before.isEmpty());
    const QString dropped = *before.cbegin();

    const QJsonObject app{{"autofilter", "1"}, {"filterlist", QJsonArray{dropped}}};
    QCOMPARE(send("PUT", "/api/settings", QJsonDocument(QJsonObject{{"app", app}}).toJson(), auth()).status, 200);
    const QSet<QString> after = payerNames(upload({{"f", file}}).array());
    QCOMPARE(send("PUT", "/api/settings", R"({"app": {"autofilter": "0", "filterlist": []}})", auth()).status, 200);

    QVERIFY(!after.contains(dropped));
    QCOMPARE(after, QSet<QString>(before).subtract({dropped}));
}

void TestServer::calc_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("expect");   // the error word, or the row's price
    QTest::addColumn<qint64>("nn");
    QTest::addColumn<qint64>("tn");
    QTest::newRow("whole lira") << QByteArray(R"({"amount": 100, "date": "2024-05-01"})") << 200 << "100,00"
                                << 0LL << 0LL;
    // A refund is no sale: priced as an invalid row without a price.
    QTest::newRow("negative amount")
        << QByteArray(R"({"amount": -2.5, "date": "2024-05-01"})") << 200 << "" << 0LL << 0LL;
    QTest::newRow("kurus rounded") << QByteArray(R"({"amount": 1234.565, "date": "2024-05-01"})") << 200
                                   << "1.234,57" << 0LL << 0LL;
    QTest::newRow("identity as text")
        << QByteArray(R"({"amount": 1, "date": "2024-05-01", "ident": "10000000146", "name": " Ayşe  Yılmaz"})")
                                      << 200 << "1,00" << 10000000146LL << 0LL;
    QTest::newRow("tax number as a fractional number")
        << QByteArray(R"({"amount": 1, "date": "2024-05-01", "ident": 1234567890.9})") << 200 << "1,00" << 0LL
        << 1234567890LL;
    QTest::newRow("invalid identity dropped")
        << QByteArray(R"({"amount": 1, "date": "2024-05-01", "ident": "1234"})") << 200 << "1,00" << 0LL << 0LL;
    QTest::newRow("identity beyond 64 bits")
        << QByteArray(R"({"amount": 1, "date": "2024-05-01", "ident": 1e300})") << 200 << "1,00" << 0LL << 0LL;
    QTest::newRow("date not in the row form is priced")
        << QByteArray(R"({"amount": 5, "date": " 01.05.2024 "})") << 200 << "5,00" << 0LL << 0LL;
    QTest::newRow("array") << QByteArray(R"([{"amount": 1, "date": "2024-05-01"}])") << 400 << "InvalidJSON" << 0LL
                           << 0LL;
    QTest::newRow("no amount") << QByteArray(R"({"date": "2024-05-01"})") << 400 << "NoAmount" << 0LL << 0LL;
    QTest::newRow("no date") << QByteArray(R"({"amount": 1})") << 400 << "NoDate" << 0LL << 0LL;
    QTest::newRow("amount as text") << QByteArray(R"({"amount": "100", "date": "2024-05-01"})") << 400
                                    << "InvalidAmount" << 0LL << 0LL;
    QTest::newRow("amount beyond any payment") << QByteArray(R"({"amount": 1e300, "date": "2024-05-01"})") << 400
                                               << "InvalidAmount" << 0LL << 0LL;
    QTest::newRow("blank date") << QByteArray(R"({"amount": 1, "date": "   "})") << 400 << "InvalidDate" << 0LL
                                << 0LL;
    QTest::newRow("date not text") << QByteArray(R"({"amount": 1, "date": 20240501})") << 400 << "InvalidDate"
                                   << 0LL << 0LL;
}

void TestServer::calc()
{
    QFETCH(QByteArray, body);
    QFETCH(int, status);
    QFETCH(QString, expect);
    QFETCH(qint64, nn);
    QFETCH(qint64, tn);
    const Reply r = send("POST", "/api/calc", body, auth());
    QCOMPARE(r.status, status);
    if (status != 200) {
        QCOMPARE(r.first().value("error").toString(), expect);
        return;
    }
    QCOMPARE(r.array().size(), 1);
    QCOMPARE(r.first().value("pc").toString(), expect);
    QCOMPARE(r.first().value("nn").toInteger(), nn);
    QCOMPARE(r.first().value("tn").toInteger(), tn);
    if (body.contains("Ayşe"))
        QCOMPARE(r.first().value("nl").toArray().first().toArray().at(1).toString(), QString("AYSE YILMAZ"));
}

void TestServer::requestBounds_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("statusLine");
    QTest::addColumn<QString>("error");
    QTest::newRow("upload announced over 48 MiB")
        << QByteArray("POST /api/parse HTTP/1.1\r\nHost: x\r\nContent-Type: multipart/form-data; boundary=b\r\n"
                      "Content-Length: 60000000\r\n\r\n--b\r\n")
        << QByteArray("HTTP/1.1 413 Payload Too Large") << "RequestTooLarge";
    QTest::newRow("JSON over 8 MiB")
        << QByteArray("POST /api/calc?x=1 HTTP/1.1\r\nHost: x\r\nContent-Length: 9000000\r\n\r\n{")
        << QByteArray("HTTP/1.1 413 Payload Too Large") << "RequestTooLarge";
    QTest::newRow("chunked body")
        << QByteArray("POST /api/calc HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n5\r\n{}{}{\r\n")
        << QByteArray("HTTP/1.1 411 Length Required") << "LengthRequired";
    QTest::newRow("endless header")
        << QByteArray("GET /api/integrations HTTP/1.1\r\nX-Pad: " + QByteArray(70000, 'a'))
        << QByteArray("HTTP/1.1 431 Request Header Fields Too Large") << "HeaderTooLarge";
    QTest::newRow("second request of a connection")
        << QByteArray("GET /api/integrations HTTP/1.1\r\nHost: x\r\n\r\n"
                      "POST /api/parse HTTP/1.1\r\nHost: x\r\nContent-Length: 50331649\r\n\r\n")
        << QByteArray("HTTP/1.1 413 Payload Too Large") << "RequestTooLarge";
}

void TestServer::requestBounds()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, statusLine);
    QFETCH(QString, error);
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, server.port);
    QVERIFY(socket.waitForConnected(5000));
    socket.write(request);
    QByteArray answer;
    QTRY_VERIFY_WITH_TIMEOUT((answer += socket.readAll(), socket.state() != QAbstractSocket::ConnectedState), 10000);
    answer += socket.readAll();
    // Only the refusal counts; an earlier request of the connection is answered normally.
    const qsizetype at = answer.indexOf(statusLine);
    QVERIFY2(at >= 0, answer.left(300).constData());
    const QByteArray body = answer.mid(answer.indexOf("\r\n\r\n", at) + 4);
    QCOMPARE(QJsonDocument::fromJson(body).array().first().toObject().value("error").toString(), error);
    // The server goes on answering.
    QCOMPARE(send("GET", "/api/integrations").status, 200);
}

void TestServer::prepare_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("invoices");
    const QJsonObject one = pricedRow("r1", 10000000146, "AYŞE YILMAZ & KIZI <Kuyum>");
    QTest::newRow("the object is the row") << QJsonDocument(one).toJson() << 1;
    QTest::newRow("first element of an array") << QJsonDocument(QJsonArray{one, QJsonObject()}).toJson() << 1;
    QJsonObject many{{"destination", "FINAL"},
                     {"rows", QJsonArray{one, pricedRow("r2", 10000000078, "MEHMET KAYA"),
                                         pricedRow("r3", 1234567890, "ÖRNEK KUYUMCULUK LTD. ŞTİ.")}}};
    QTest::newRow("rows") << QJsonDocument(many).toJson() << 3;
}

void TestServer::prepare()
{
    QFETCH(QByteArray, body);
    QFETCH(int, invoices);
    const int loads = edm.count("LoadInvoiceRequest");
    const int sends = edm.count("SendInvoiceRequest");
    const Reply r = send("POST", "/api/prepare", body, edmAuth());
    QCOMPARE(r.status, 200);
    QCOMPARE(r.headers.value("content-type"), QByteArray("application/xml; charset=utf-8"));
    QCOMPARE(r.headers.value("access-control-allow-origin"), QByteArray("*"));
    QVERIFY(!r.headers.contains("server"));
    QDomDocument doc;
    QVERIFY2(doc.setContent(r.body, true), r.body.left(300).constData());
    const QDomNodeList contents = doc.elementsByTagName("CONTENT");
    QCOMPARE(contents.size(), invoices);
    const QByteArray ubl = QByteArray::fromBase64(contents.at(0).toElement().text().toLatin1());
    // A person's name: the last word is the family name.
    QVERIFY(ubl.contains("<cbc:FirstName>AYŞE YILMAZ &amp; KIZI</cbc:FirstName><cbc:FamilyName>&lt;Kuyum&gt;<"));
    QVERIFY(ubl.contains(">12000.00<"));
    // Only built: the buyer registry may be asked, no invoice is sent.
    QCOMPARE(edm.count("LoadInvoiceRequest"), loads);
    QCOMPARE(edm.count("SendInvoiceRequest"), sends);
}

void TestServer::actionRefusals_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("error");
    QTest::newRow("not JSON") << QByteArray("{") << 400 << "InvalidJSON";
    QTest::newRow("empty array") << QByteArray("[]") << 400 << "InvalidJSON";
    QTest::newRow("scalar") << QByteArray("5") << 400 << "InvalidJSON";
    QTest::newRow("unknown action") << QByteArray(R"({"action": "delete"})") << 400 << "UnknownAction";
    QTest::newRow("cancel with blanks")
        << QByteArray(R"({"action": "Cancel", "ettn_list": [" ", ""]})") << 400
        << "ettn_list must contain at least one non-empty value";
    QTest::newRow("query without list") << QByteArray(R"({"action": "query"})") << 400 << "ettn_list is required";
    QTest::newRow("send without rows") << QByteArray(R"({"action": "send", "rows": []})") << 400 << "NoRows";
    QTest::newRow("row that is no object") << QByteArray(R"({"rows": [5]})") << 500 << "RowProcessFailed";
    QTest::newRow("row without a buyer")
        << QByteArray(R"({"rows": [{"id": "x", "dt": "2025-11-06", "pc": 100}]})") << 500 << "PrepareXMLFailed";
    QByteArray tooMany = R"({"rows": [)";
    for (int i = 0; i < 1001; ++i)
        tooMany += (i ? ",{}" : "{}");
    tooMany += "]}";
    QTest::newRow("more rows than one request may carry") << tooMany << 400 << "TooManyRows";
}

void TestServer::actionRefusals()
{
    QFETCH(QByteArray, body);
    QFETCH(int, status);
    QFETCH(QString, error);
    QCOMPARE(send("POST", "/api/action", body).status, 401);
    const int before = edm.total();
    const Reply r = send("POST", "/api/action", body, edmAuth());
    QCOMPARE(r.status, status);
    QCOMPARE(r.first().value("error").toString(), error);
    QCOMPARE(edm.total(), before);
}

void TestServer::sendDraftsThenIssueAndQuery()
{
    const QJsonObject drafts{{"rows", QJsonArray{pricedRow("r1", 10000000146, "AYŞE YILMAZ"),
                                                 pricedRow("r2", 10000000078, "MEHMET KAYA")}}};
    Reply r = send("POST", "/api/action", QJsonDocument(drafts).toJson(), edmAuth());
    QCOMPARE(r.status, 200);
    QJsonObject answer = r.first();
    QVERIFY2(answer.value("success").toBool(), qPrintable(edm.refusals.join('\n')));
    QCOMPARE(answer.value("action").toString(), QString("send"));
    QCOMPARE(answer.value("row_ids").toArray(), (QJsonArray{"r1", "r2"}));
    QCOMPARE(answer.value("count").toInt(), 2);
    QVERIFY(answer.value("response_xml").toString().contains("LoadInvoiceResponse"));
    QVERIFY(!answer.contains("error_message"));
    QCOMPARE(edm.count("LoadInvoiceRequest"), 1);
    QCOMPARE(edm.invoices.size(), 2);

    QJsonArray ettns;
    for (const FakeEdm::Invoice &invoice : std::as_const(edm.invoices)) {
        QVERIFY(invoice.draft);
        ettns.append(invoice.uuid);
    }
    r = send("POST", "/api/action", QJsonDocument(QJsonObject{{"action", "SEND_DRAFT"}, {"ettn_list", ettns}}).toJson(),
             edmAuth());
    answer = r.first();
    QVERIFY2(answer.value("success").toBool(), qPrintable(edm.refusals.join('\n')));
    for (const FakeEdm::Invoice &invoice : std::as_const(edm.invoices))
        QVERIFY(!invoice.draft);

    r = send("POST", "/api/action",
             QJsonDocument(QJsonObject{{"action", "query"}, {"ettn_list", QJsonArray{ettns.first()}}}).toJson(),
             edmAuth());
    answer = r.first();
    QVERIFY(answer.value("success").toBool());
    QCOMPARE(answer.value("status_code").toInt(), 0);
    QVERIFY(!answer.contains("response_xml"));
}

void TestServer::integratorFailureIsNoHttpError()
{
    edm.fail("LoadInvoiceRequest", FakeSoapService::Failure::ServiceError);
    const QJsonObject drafts{{"rows", QJsonArray{pricedRow("r9", 10000000146, "AYŞE YILMAZ")}}};
    Reply r = send("POST", "/api/action", QJsonDocument(drafts).toJson(), edmAuth());
    edm.clearFailures();
    QCOMPARE(r.status, 200);
    QJsonObject answer = r.first();
    QVERIFY(!answer.value("success").toBool());
    QVERIFY2(answer.value("error_message").toString().contains(edm.serviceErrorMessage),
             qPrintable(answer.value("error_message").toString()));

    // An unknown invoice: the query reports the service's error code.
    r = send("POST", "/api/action",
             R"({"action": "query", "ettn_list": ["00000000-0000-0000-0000-000000000000"]})", edmAuth());
    answer = r.first();
    QCOMPARE(r.status, 200);
    QVERIFY(!answer.value("success").toBool());
}

void TestServer::npmWebSocketClient()
{
    const QString dir = QStringLiteral(CORVINA_TEST_SOURCE_DIR "/tests/server/wsclient");
    const QString node = QStandardPaths::findExecutable("node");
    if (node.isEmpty() || !QFileInfo::exists(dir + "/node_modules/ws/package.json"))
        QSKIP("node or the npm ws package is missing; tools/setup.sh installs both");
    QProcess client;
    client.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    client.start(node, {dir + "/hub.mjs", QStringLiteral("ws://127.0.0.1:%1/").arg(server.port + 100), token});
    QVERIFY(client.waitForFinished(30000));
    const QByteArray seen = client.readAllStandardOutput();
    QVERIFY2(client.exitStatus() == QProcess::NormalExit && client.exitCode() == 0, seen.constData());
    const QJsonObject result = QJsonDocument::fromJson(seen).object();
    QCOMPARE(result.value("relayed").toObject(), (QJsonObject{{"filename", "ekstre.csv"}, {"same", true}}));
}

namespace {

// "12.000,00" or "2,08" as the row JSON prints them, back to hundredths.
qint64 hundredths(const QJsonValue &value)
{
    QString text = value.toString();
    text.remove(QLatin1Char('.'));
    text.remove(QLatin1Char(','));
    return text.toLongLong();
}

} // namespace

void TestServer::wholeChain()
{
    // A day the exchange has prices for; a client asks for it before pricing on it.
    const QByteArray day = pricedDay();
    QCOMPARE(send("GET", "/api/currency?date=" + day).status, 200);

    // A statement of the account, then one payment the jeweller types by hand.
    QVERIFY(!upload({{"f", example("kuveytturk_hesap_ekstresi.html")}}).array().isEmpty());
    const QJsonObject payment{{"amount", 12000}, {"date", QString::fromLatin1(day)}, {"name", "Ayşe Yılmaz"},
                              {"ident", "10000000146"}};
    Reply priced;
    QJsonObject split;
    const auto splitByTheGram = [&] {
        priced = send("POST", "/api/calc", QJsonDocument(payment).toJson(), edmAuth());
        for (const QJsonValue &candidate : priced.first().value("cl").toArray()) {
            if (candidate.toObject().value("ct").toInt() == 1) {
                split = candidate.toObject();
                return true;
            }
        }
        return false;
    };
    QVERIFY2(QTest::qWaitFor(splitByTheGram, 10000), priced.body.constData());

    // The client turns the chosen split into an invoice row.
    QJsonObject row{{"id", "ayse-1"}, {"dt", QString::fromLatin1(day)}, {"nn", 10000000146LL}, {"tn", 0},
                    {"name", priced.first().value("nl").toArray().first().toArray().at(1)},
                    {"ct", 1}, {"description", "bilezik"}};
    for (const char *key : {"at", "pc", "pp", "rt", "pr", "lp", "lt", "lu", "np"})
        row.insert(key, hundredths(split.value(key)));
    QCOMPARE(row.value("pc").toInteger(), 1200000);
    QCOMPARE(row.value("pp").toInteger() + row.value("lp").toInteger() + row.value("lt").toInteger(), 1200000);

    const Reply prepared = send("POST", "/api/prepare", QJsonDocument(row).toJson(), edmAuth());
    QCOMPARE(prepared.status, 200);
    QVERIFY(prepared.body.contains("CONTENT"));

    const int before = edm.invoices.size();
    Reply r = send("POST", "/api/action", QJsonDocument(QJsonObject{{"rows", QJsonArray{row}}}).toJson(), edmAuth());
    QVERIFY2(r.first().value("success").toBool(), qPrintable(edm.refusals.join('\n')));
    QCOMPARE(edm.invoices.size(), before + 1);
    QString ettn;
    for (const FakeEdm::Invoice &invoice : std::as_const(edm.invoices)) {
        if (QString::fromUtf8(invoice.document).contains(QLatin1String("AYSE")) && invoice.draft
            && invoice.document.contains(day))
            ettn = invoice.uuid;
    }
    QVERIFY(!ettn.isEmpty());

    r = send("POST", "/api/action",
             QJsonDocument(QJsonObject{{"action", "query"}, {"ettn_list", QJsonArray{ettn}}}).toJson(), edmAuth());
    QVERIFY(r.first().value("success").toBool());
    QVERIFY(r.first().value("message").toString().contains("LOAD - SUCCEED"));

    r = send("POST", "/api/action",
             QJsonDocument(QJsonObject{{"action", "cancel"}, {"ettn_list", QJsonArray{ettn}}}).toJson(), edmAuth());
    QVERIFY2(r.first().value("success").toBool(), r.body.constData());
    QVERIFY(!edm.invoices.contains(ettn) || !edm.invoices.value(ettn).draft || edm.count("CancelInvoiceRequest") > 0);
}

QTEST_GUILESS_MAIN(TestServer)
#include "tst_server.moc"
