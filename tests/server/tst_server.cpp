// The server as its clients see it: a real `corvina --server` process, real HTTP and
// WebSocket clients on 127.0.0.1.
#include "common/servertree.h"

#include <QDate>
#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QWebSocket>
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

private:
    Reply send(const QByteArray &method, const QString &path, const QByteArray &body = QByteArray(),
               const QList<QPair<QByteArray, QByteArray>> &headers = {});
    QString login(const QString &name, const QString &pass, const QString &base = "edm");

    ServerTree server;
    QNetworkAccessManager nam;
    QString token;   // session of "kuyumcu"
};

void TestServer::initTestCase()
{
    QVERIFY(server.start());
    token = login("kuyumcu", "gizli+/=şifre");
    QCOMPARE(token.size(), 47);
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

QTEST_GUILESS_MAIN(TestServer)
#include "tst_server.moc"
