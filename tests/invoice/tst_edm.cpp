// The EDM client against a fake EDM service on 127.0.0.1.

#include "integratorfixture.h"
#include "invoicesamples.h"
#include "ublschema.h"

#include "fakes/fakeedm.h"

#include "invoice/edmintegration.h"

#include <QDomDocument>
#include <QNetworkReply>
#include <QtTest>

Q_DECLARE_METATYPE(FakeSoapService::Failure)

using Failure = FakeSoapService::Failure;

class TestEdm : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void serviceAddress_data();
    void serviceAddress();
    void createLogsInAtOnce();
    void login_data();
    void login();
    void markupInCredentialsStaysText();
    void registrationDecidesProfile_data();
    void registrationDecidesProfile();
    void draftLifecycle();
    void severalInvoicesInOneRequest();
    void badInputBuildsNoRequest();
    void noRegistrationAnswerBuildsNoRequest();
    void serviceFailures_data();
    void serviceFailures();
    void answeredWithoutContactingTheService();
    void identifiersCannotAddElements();
    void hangingServiceTimesOut();
    void busyIndicatorOnlyWithParent();
    void rowOperations();
    void rowsWithoutDraftsAskNothing();
    void rowOperationFailures_data();
    void rowOperationFailures();

private:
    // Sends the infos to the destination and returns the result; the documents the fake
    // received are checked against the schema.
    SendResult send(const QList<InvoiceInfo> &infos, InvoiceDest dest);

    std::unique_ptr<IntegratorFixture> fx;
    std::unique_ptr<FakeEdm> fake;
    std::unique_ptr<User> user;
    std::unique_ptr<EDMIntegration> edm;
    UblSchema schema;
};

void TestEdm::init()
{
    fx = std::make_unique<IntegratorFixture>();
    fake = std::make_unique<FakeEdm>();
    QVERIFY(fake->listen());
    fx->pointAt(QStringLiteral("edm"), fake->hostAndPort());
    fake->registry.insert(QStringLiteral("1234567890"),
                          {QStringLiteral("1234567890"), QStringLiteral("urn:mail:defaultpk@isik.example")});
    fake->registry.insert(QStringLiteral("9876543210"), {QStringLiteral("9876543210"), QString()});
    user = std::make_unique<User>(fx->config.get(), 7);
    user->name = fake->userName;
    user->pass = fake->password;
    user->company = samples::seller();
    edm = std::make_unique<EDMIntegration>(user.get());
    edm->timeoutMs = 10000;
    QVERIFY(edm->login(*user));
}

void TestEdm::cleanup()
{
    if (QTest::currentTestFailed() && fake)
        qWarning() << "fake EDM refused:" << fake->refusals;
    edm.reset();
    user.reset();
    fake.reset();
    fx.reset();
}

SendResult TestEdm::send(const QList<InvoiceInfo> &infos, InvoiceDest dest)
{
    const int before = int(fake->documents.size());
    const QString request = edm->xml(edm->invoiceConfig(dest), infos);
    const SendResult result = edm->sendInvoice(dest, request, nullptr);
    for (qsizetype i = before; i < fake->documents.size(); ++i) {
        const QStringList errors = schema.validate(fake->documents[i]);
        if (!errors.isEmpty())
            qWarning() << errors;
        [&] { QVERIFY2(errors.isEmpty(), fake->documents[i].constData()); }();
    }
    return result;
}

void TestEdm::serviceAddress_data()
{
    QTest::addColumn<QString>("account");
    QTest::addColumn<QString>("url");
    QTest::newRow("test account") << "kestrel" << "http://test.host/EFaturaEDM21ea/EFaturaEDM.svc";
    QTest::newRow("any other") << "Kestrel" << "https://prod.host/EFaturaEDM/EFaturaEDM.svc";
}

void TestEdm::serviceAddress()
{
    QFETCH(QString, account);
    fx->config->params.insert(QStringLiteral("edm.schm"), account == "kestrel" ? "http" : "");
    fx->config->params.insert(QStringLiteral("edm.host"), QStringLiteral("prod.host"));
    fx->config->params.insert(QStringLiteral("edm.testhost"), QStringLiteral("test.host"));
    user->name = account;
    QTEST(edm->getUrl(), "url");
    QCOMPARE(edm->getContentType(), QString("text/xml; charset=utf-8"));
    QCOMPARE(edm->invoiceConfig(InvoiceDest::Draft).request, QString("LoadInvoiceRequest"));
    QCOMPARE(edm->invoiceConfig(InvoiceDest::Final).request, QString("SendInvoiceRequest"));
    QCOMPARE(edm->invoiceConfig(InvoiceDest::Final).destHtml,
             QString("<span style='color:#E67E22;'>Gelir İdaresi</span>'ne"));
    QCOMPARE(edm->getSoapAction(InvoiceAction::QueryStatus, InvoiceDest::Draft), QString("GetInvoiceRequest"));
    QCOMPARE(edm->getSoapAction(InvoiceAction::Pdf, InvoiceDest::Draft), QString("LoadInvoiceRequest"));
}

void TestEdm::createLogsInAtOnce()
{
    fake->http.clearRequests();
    const std::unique_ptr<Integration> client = Integration::create(IntegratorType::EDM, user.get());
    QCOMPARE(client->type(), IntegratorType::EDM);
    QCOMPARE(fake->count("LoginRequest"), 2);
    QVERIFY(fake->sessions.contains(static_cast<EDMIntegration *>(client.get())->sessionId));
    QCOMPARE(Integration::create(IntegratorType::None, user.get())->type(), IntegratorType::Uyumsoft);
    QCOMPARE(Integration::create(IntegratorType::Uyumsoft, user.get())->type(), IntegratorType::Uyumsoft);
}

void TestEdm::login_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("forcedSession");
    QTest::addColumn<Failure>("failure");
    QTest::addColumn<bool>("ok");
    QTest::newRow("accepted") << "gizli" << "" << Failure::None << true;
    QTest::newRow("wrong password") << "yanlış" << "" << Failure::None << false;
    QTest::newRow("session 0") << "gizli" << "0" << Failure::None << false;
    QTest::newRow("service error") << "gizli" << "" << Failure::ServiceError << false;
    QTest::newRow("empty body") << "gizli" << "" << Failure::EmptyBody << false;
    QTest::newRow("malformed") << "gizli" << "" << Failure::Malformed << false;
    QTest::newRow("dropped") << "gizli" << "" << Failure::Drop << false;
    QTest::newRow("empty password, nothing sent") << "" << "" << Failure::None << false;
}

void TestEdm::login()
{
    QFETCH(QString, password);
    QFETCH(QString, forcedSession);
    QFETCH(Failure, failure);
    QFETCH(bool, ok);
    const QString before = edm->sessionId;
    const int logins = fake->count("LoginRequest");
    fake->forcedSession = forcedSession;
    fake->fail(QStringLiteral("LoginRequest"), failure);
    user->pass = password;
    QCOMPARE(edm->checkConnection(*user), ok);
    if (ok)
        QVERIFY(edm->sessionId != before && fake->sessions.contains(edm->sessionId));
    else
        QCOMPARE(edm->sessionId, before);
    // Qt posts once more by itself when a connection closes before any answer.
    const int posted = fake->count("LoginRequest") - logins;
    QVERIFY(password.isEmpty() ? posted == 0 : posted >= 1);
}

void TestEdm::markupInCredentialsStaysText()
{
    fake->userName = QStringLiteral("ali&veli");
    fake->password = QStringLiteral("</PASSWORD><USER_NAME>kestrel</USER_NAME><PASSWORD>\"'&amp;");
    user->name = fake->userName;
    user->pass = fake->password;
    QVERIFY2(edm->login(*user), qPrintable(fake->refusals.join('\n')));
    fx->config->params.insert(QStringLiteral("edm.hostname"), QStringLiteral("<HOST & CO>"));
    QVERIFY(edm->header().contains(QLatin1String("<HOSTNAME>&lt;HOST &amp; CO&gt;</HOSTNAME>")));
    QVERIFY(send({samples::info()}, InvoiceDest::Draft).success);
}

void TestEdm::registrationDecidesProfile_data()
{
    QTest::addColumn<qint64>("ident");
    QTest::addColumn<QString>("profile");
    QTest::addColumn<QString>("scheme");
    QTest::addColumn<bool>("header");
    QTest::newRow("registered company") << qint64(1234567890) << "TEMELFATURA" << "VKN" << true;
    QTest::newRow("known without alias") << qint64(9876543210LL) << "EARSIVFATURA" << "TCKN" << false;
    QTest::newRow("unknown person") << qint64(12345678950LL) << "EARSIVFATURA" << "TCKN" << false;
}

void TestEdm::registrationDecidesProfile()
{
    QFETCH(qint64, ident);
    QFETCH(QString, scheme);
    QFETCH(bool, header);
    const CheckUserResult cu = edm->checkUser(QString::number(ident));
    QVERIFY(cu.answered);
    QCOMPARE(cu.registered, header);

    const QString request = edm->xml(edm->invoiceConfig(InvoiceDest::Draft), {samples::info(ident)});
    QCOMPARE(request.contains(QLatin1String("<HEADER>")), header);
    const SendResult result = send({samples::info(ident)}, InvoiceDest::Draft);
    QVERIFY(result.success);
    QCOMPARE(result.ettnList.size(), 1);
    const FakeEdm::Invoice stored = fake->invoices.value(result.ettnList.first());
    QTEST(stored.profile, "profile");
    QDomDocument doc;
    QVERIFY(doc.setContent(stored.document, true));
    const QDomElement id = doc.elementsByTagNameNS(
                                  "urn:oasis:names:specification:ubl:schema:xsd:CommonAggregateComponents-2",
                                  "AccountingCustomerParty")
                               .at(0).toElement()
                               .elementsByTagNameNS("urn:oasis:names:specification:ubl:schema:xsd:CommonBasicComponents-2", "ID")
                               .at(0).toElement();
    QCOMPARE(id.attribute("schemeID"), scheme);
    QCOMPARE(id.text(), QString::number(ident));
}

void TestEdm::draftLifecycle()
{
    const SendResult sent = send({samples::info(12345678950LL, QStringLiteral("ALİ VELİ"), samples::gramSplit(),
                                                QStringLiteral("KREDİ KARTI SATIŞI")),
                                  samples::info(1234567890LL, QStringLiteral("IŞIK KUYUMCULUK"), samples::labourOnlySplit())},
                                 InvoiceDest::Draft);
    QVERIFY(sent.success);
    QCOMPARE(sent.ettnList.size(), 2);
    QCOMPARE(sent.invoiceNumbers.size(), 2);
    QVERIFY(sent.responseXml.contains(QLatin1String("RETURN_CODE")));
    QVERIFY(fake->invoices.value(sent.ettnList[0]).draft);

    ActionResult r = edm->executeAction(InvoiceAction::QueryStatus, {sent.ettnList[0]});
    QVERIFY(r.success);
    QCOMPARE(r.statusCode, 0);
    QCOMPARE(r.message, QString("Status: LOAD - SUCCEED"));

    r = edm->executeAction(InvoiceAction::SendDraft, {sent.ettnList[0]});
    QCOMPARE(r.message, QString("Draft sent successfully"));
    QVERIFY(r.success);
    QCOMPARE(r.ettnList, QList<QString>{sent.ettnList[0]});
    QVERIFY(!fake->invoices.value(sent.ettnList[0]).draft);

    fake->issuedStatus = QStringLiteral("SEND - Processing");
    r = edm->executeAction(InvoiceAction::QueryStatus, {sent.ettnList[0]});
    QVERIFY(r.success);
    QCOMPARE(r.statusCode, 2000);

    // An issued invoice is no draft any more: the service refuses, and says why.
    r = edm->executeAction(InvoiceAction::CancelDraft, {sent.ettnList[0]});
    QVERIFY(!r.success);
    QCOMPARE(r.errorCode, QString("20"));
    QCOMPARE(r.message, QString("Failed: return code 20; Taslak bulunamadı"));

    r = edm->executeAction(InvoiceAction::CancelDraft, {sent.ettnList[1]});
    QVERIFY(r.success);
    QCOMPARE(r.message, QString("Draft cancelled successfully"));
    QVERIFY(!fake->invoices.contains(sent.ettnList[1]));

    r = edm->executeAction(InvoiceAction::Send, edm->xml(edm->invoiceConfig(InvoiceDest::Final), {samples::info()}),
                           InvoiceDest::Final);
    QVERIFY(r.success);
    QCOMPARE(r.message, QString("Invoice sent successfully"));
    QVERIFY(!fake->invoices.value(r.ettnList.value(0)).draft);
}

void TestEdm::severalInvoicesInOneRequest()
{
    QList<InvoiceInfo> infos;
    for (int i = 0; i < 5; ++i) {
        infos.append(samples::info(i % 2 ? 1234567890LL : 12345678950LL, QStringLiteral("MÜŞTERİ %1").arg(i),
                                   i % 3 ? samples::gramSplit() : samples::labourOnlySplit(),
                                   i % 2 ? QString() : QStringLiteral("Not %1 & <ek>").arg(i)));
    }
    const int checks = fake->count("CheckUserRequest");
    const SendResult r = send(infos, InvoiceDest::Final);
    QVERIFY(r.success);
    QCOMPARE(r.ettnList.size(), 5);
    QCOMPARE(fake->count("SendInvoiceRequest"), 1);
    QCOMPARE(fake->count("CheckUserRequest"), checks + 5);
}

void TestEdm::badInputBuildsNoRequest()
{
    const int before = fake->total();
    QList<InvoiceInfo> infos{samples::info(), samples::info(123)};
    QCOMPARE(edm->xml(edm->invoiceConfig(InvoiceDest::Draft), infos), QString());
    QCOMPARE(edm->xml(edm->invoiceConfig(InvoiceDest::Draft), {}), QString());
    const ActionResult r = edm->executeAction(InvoiceAction::Send, QString(), InvoiceDest::Draft);
    QCOMPARE(r.message, QString("XML data is empty"));
    QVERIFY(edm->sendInvoice(InvoiceDest::Draft, QString(), nullptr).ettnList.isEmpty());
    QCOMPARE(fake->total(), before);
}

void TestEdm::noRegistrationAnswerBuildsNoRequest()
{
    fake->fail(QStringLiteral("CheckUserRequest"), Failure::Malformed);
    QCOMPARE(edm->xml(edm->invoiceConfig(InvoiceDest::Draft), {samples::info(1234567890LL)}), QString());
    fake->fail(QStringLiteral("CheckUserRequest"), Failure::Drop);
    QCOMPARE(edm->xml(edm->invoiceConfig(InvoiceDest::Draft), {samples::info(1234567890LL)}), QString());
    QCOMPARE(fake->count("LoadInvoiceRequest"), 0);
}

void TestEdm::serviceFailures_data()
{
    QTest::addColumn<InvoiceAction>("action");
    QTest::addColumn<Failure>("failure");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("errorCode");
    QTest::addColumn<int>("statusCode");

    const QString http = QStringLiteral("HTTP error: ");
    for (auto [action, name] : {std::pair{InvoiceAction::SendDraft, "send"}, std::pair{InvoiceAction::CancelDraft, "cancel"},
                                std::pair{InvoiceAction::QueryStatus, "query"}}) {
        QTest::addRow("%s, fault", name) << action << Failure::Fault << http << "" << -1;
        QTest::addRow("%s, empty body", name) << action << Failure::EmptyBody << "Empty response from server" << "" << -1;
        QTest::addRow("%s, malformed", name) << action << Failure::Malformed << "Malformed response from server" << "" << -1;
        QTest::addRow("%s, dropped", name) << action << Failure::Drop << http << "" << -1;
    }
    QTest::newRow("send, service error") << InvoiceAction::SendDraft << Failure::ServiceError
                                         << "Failed: return code 12; Error Code: 12; Geçersiz istek" << "12" << -1;
    QTest::newRow("cancel, service error") << InvoiceAction::CancelDraft << Failure::ServiceError
                                           << "Failed: return code 12; Error Code: 12; Geçersiz istek" << "12" << -1;
    QTest::newRow("query, service error") << InvoiceAction::QueryStatus << Failure::ServiceError << "Error code: 12"
                                          << "12" << 12;
}

void TestEdm::serviceFailures()
{
    QFETCH(InvoiceAction, action);
    QFETCH(Failure, failure);
    QFETCH(QString, message);
    const SendResult draft = send({samples::info()}, InvoiceDest::Draft);
    QVERIFY(draft.success);
    const QString request = Integration::actionWord(action) == "query" ? "GetInvoiceRequest"
                          : action == InvoiceAction::SendDraft       ? "SendInvoiceRequest"
                                                                     : "CancelInvoiceRequest";
    fake->fail(request, failure);
    const ActionResult r = edm->executeAction(action, draft.ettnList);
    QVERIFY(!r.success);
    QVERIFY2(r.message.startsWith(message), qPrintable(r.message));
    QTEST(r.errorCode, "errorCode");
    QTEST(r.statusCode, "statusCode");
    QCOMPARE(r.ettnList, draft.ettnList);
    QVERIFY(fake->invoices.value(draft.ettnList.first()).draft);
}

void TestEdm::answeredWithoutContactingTheService()
{
    const int before = fake->total();
    QCOMPARE(edm->executeAction(InvoiceAction::Pdf, {QStringLiteral("x")}).message, QString("Failed to generate XML"));
    QCOMPARE(edm->executeAction(InvoiceAction::Send, QList<QString>{QStringLiteral("x")}).message,
             QString("Failed to generate XML"));
    QCOMPARE(edm->executeAction(InvoiceAction::CancelDraft, QList<QString>()).message, QString("ETTN list is empty"));
    QCOMPARE(edm->executeAction(InvoiceAction::QueryStatus, QStringLiteral("<x/>"), InvoiceDest::Final).message,
             QString("Invalid action for XML data (use executeAction with ettnList)"));
    QCOMPARE(fake->total(), before);
}

void TestEdm::identifiersCannotAddElements()
{
    const SendResult victim = send({samples::info()}, InvoiceDest::Draft);
    QVERIFY(victim.success);
    // An identifier from a client that tries to close the element and add another.
    const QString forged = QStringLiteral("x\"/><INVOICE TRXID=\"0\" UUID=\"%1\" xmlns=\"\"/><INVOICE UUID=\"y")
                               .arg(victim.ettnList.first());
    const ActionResult r = edm->executeAction(InvoiceAction::CancelDraft, {forged});
    QVERIFY(!r.success);
    QVERIFY(fake->invoices.contains(victim.ettnList.first()));
    QVERIFY(fake->refusals.last().startsWith(QLatin1String("no draft x\"/>")));

    const ActionResult q = edm->executeAction(InvoiceAction::QueryStatus, {QStringLiteral("</UUID><x>")});
    QCOMPARE(q.message, QString("Failed to parse query response"));
    QVERIFY(!edm->checkUser(QStringLiteral("</IDENTIFIER><IDENTIFIER>1234567890")).registered);
}

void TestEdm::hangingServiceTimesOut()
{
    const SendResult draft = send({samples::info()}, InvoiceDest::Draft);
    fake->fail(QStringLiteral("GetInvoiceRequest"), Failure::Hang);
    edm->timeoutMs = 300;
    const ActionResult r = edm->executeAction(InvoiceAction::QueryStatus, draft.ettnList);
    QVERIFY(!r.success);
    QVERIFY2(r.message.startsWith(QLatin1String("HTTP error: ")), qPrintable(r.message));
}

void TestEdm::busyIndicatorOnlyWithParent()
{
    int shown = 0;
    QString label;
    fx->config->desktopMode = true;
    fx->config->busyIndicator = [&](const QString &text, int) {
        ++shown;
        label = text;
        return new BusyIndicator;
    };
    QVERIFY(edm->login(*user));
    QVERIFY(edm->checkUser(QStringLiteral("1234567890")).registered);
    QCOMPARE(shown, 0);
    QVERIFY(fx->config->busyIndicator);   // set aside only for the wait

    // The client never touches the window; any non-null pointer stands for one here.
    QObject window;
    QWidget *parent = reinterpret_cast<QWidget *>(&window);
    const SendResult r = edm->sendInvoice(
        InvoiceDest::Draft, edm->xml(edm->invoiceConfig(InvoiceDest::Draft), {samples::info()}), parent);
    QVERIFY(r.success);
    QCOMPARE(shown, 1);
    QCOMPARE(label, QString("İşlem gerçekleştiriliyor ..."));
    fx->config->busyIndicator = nullptr;
}

void TestEdm::rowOperations()
{
    const SendResult sent = send({samples::info(12345678950LL), samples::info(1234567890LL, QStringLiteral("IŞIK KUYUMCULUK")),
                                  samples::info(12345678950LL)},
                                 InvoiceDest::Draft);
    QVERIFY(sent.success);
    QCOMPARE(sent.ettnList.size(), 3);
    QList<Row> rows{draftRow(user.get(), sent.ettnList[0], 12345678950LL),
                    draftRow(user.get(), QString(), 12345678950LL),
                    draftRow(user.get(), sent.ettnList[1], 1234567890LL, "ISIK KUYUMCULUK"),
                    draftRow(user.get(), sent.ettnList[2], 12345678950LL)};
    const QStringList before = rowStates(rows);
    edm->rows = &rows;

    QCOMPARE(edm->queryStatus({0, 2}, nullptr), 0);   // drafts: "LOAD - SUCCEED"

    // The row without a draft and indices past the list are left out, not sent as empty ids.
    QCOMPARE(edm->sendDraft({0, 1, 2, 9, -1}, nullptr), 2);
    QCOMPARE(fake->count("SendInvoiceRequest"), 1);
    QVERIFY(!fake->invoices.value(sent.ettnList[0]).draft);
    QVERIFY(!fake->invoices.value(sent.ettnList[1]).draft);
    QVERIFY(fake->invoices.value(sent.ettnList[2]).draft);
    // Only the registered company is addressed, by its mailbox.
    const QString body = QString::fromUtf8(fake->lastBody);
    QCOMPARE(body.count(QLatin1String("<INVOICE ")), 2);
    QCOMPARE(body.count(QLatin1String("<HEADER>")), 1);
    QVERIFY(body.contains(QLatin1String("<RECEIVER>1234567890</RECEIVER><TO>urn:mail:defaultpk@isik.example</TO>")));
    QVERIFY(body.contains(QStringLiteral("UUID=\"%1\"").arg(sent.ettnList[0])));

    QCOMPARE(edm->queryStatus({0}, nullptr), 0);
    fake->issuedStatus = QStringLiteral("SEND - processing");
    QCOMPARE(edm->queryStatus({0}, nullptr), 2000);

    // Issued invoices are no drafts: the service refuses to delete them.
    QVERIFY(!edm->cancelDraft({0}, nullptr));
    QVERIFY(fake->invoices.contains(sent.ettnList[0]));
    QVERIFY(edm->cancelDraft({3}, nullptr));
    QVERIFY(!fake->invoices.contains(sent.ettnList[2]));
    // An unknown draft reports the service's error code.
    QCOMPARE(edm->queryStatus({3}, nullptr), 404);

    // Recording the outcome on the rows is the caller's business.
    QCOMPARE(rowStates(rows), before);
}

void TestEdm::rowsWithoutDraftsAskNothing()
{
    QList<Row> rows{draftRow(user.get(), QString(), 12345678950LL)};
    const int before = fake->total();
    QCOMPARE(edm->sendDraft({0}, nullptr), 0);
    edm->rows = &rows;
    QCOMPARE(edm->sendDraft({0}, nullptr), 0);
    QVERIFY(!edm->cancelDraft({0, 5}, nullptr));
    QCOMPARE(edm->queryStatus({}, nullptr), -1);
    QCOMPARE(fake->total(), before);
}

void TestEdm::rowOperationFailures_data()
{
    QTest::addColumn<QString>("request");
    QTest::addColumn<Failure>("failure");
    QTest::addColumn<int>("status");   // what queryStatus answers

    for (const char *request : {"SendInvoiceRequest", "CancelInvoiceRequest", "GetInvoiceStatusRequest"}) {
        QTest::addRow("%s, fault", request) << request << Failure::Fault << -1;
        QTest::addRow("%s, service error", request) << request << Failure::ServiceError << 12;
        QTest::addRow("%s, empty body", request) << request << Failure::EmptyBody << -1;
        QTest::addRow("%s, malformed", request) << request << Failure::Malformed << -1;
        QTest::addRow("%s, dropped", request) << request << Failure::Drop << -1;
    }
    QTest::newRow("service down") << QString() << Failure::None << -1;
}

void TestEdm::rowOperationFailures()
{
    QFETCH(QString, request);
    QFETCH(Failure, failure);
    QFETCH(int, status);
    const SendResult sent = send({samples::info(12345678950LL), samples::info(1234567890LL)}, InvoiceDest::Draft);
    QVERIFY(sent.success);
    QList<Row> rows{draftRow(user.get(), sent.ettnList[0], 12345678950LL),
                    draftRow(user.get(), sent.ettnList[1], 1234567890LL)};
    const QStringList before = rowStates(rows);
    edm->rows = &rows;
    if (request.isEmpty())
        fx->pointAt(QStringLiteral("edm"), QStringLiteral("127.0.0.1:1"));
    else
        fake->fail(request, failure);

    if (request.isEmpty() || request == QLatin1String("SendInvoiceRequest"))
        QCOMPARE(edm->sendDraft({0, 1}, nullptr), 0);
    if (request.isEmpty() || request == QLatin1String("CancelInvoiceRequest"))
        QVERIFY(!edm->cancelDraft({0, 1}, nullptr));
    if (request.isEmpty() || request == QLatin1String("GetInvoiceStatusRequest"))
        QCOMPARE(edm->queryStatus({0, 1}, nullptr), status);

    QCOMPARE(rowStates(rows), before);
    QVERIFY(fake->invoices.value(sent.ettnList[0]).draft);
    QVERIFY(fake->invoices.value(sent.ettnList[1]).draft);
}

QTEST_MAIN(TestEdm)
#include "tst_edm.moc"
