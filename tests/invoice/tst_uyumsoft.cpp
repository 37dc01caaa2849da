// The Uyumsoft client against a fake Uyumsoft service on 127.0.0.1.

#include "integratorfixture.h"
#include "invoicesamples.h"

#include "fakes/fakeuyumsoft.h"

#include "invoice/uyumsoftintegration.h"

#include <QtTest>

Q_DECLARE_METATYPE(FakeSoapService::Failure)

using Failure = FakeSoapService::Failure;

class TestUyumsoft : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void serviceAddress_data();
    void serviceAddress();
    void checkConnection_data();
    void checkConnection();
    void markupInCredentialsStaysText();
    void draftLifecycle();
    void sendUsesTheInvoiceAccount();
    void badInputBuildsNoRequest();
    void serviceFailures_data();
    void serviceFailures();
    void resultReadWithoutRegardToCase();
    void noAccountNoRequest();
    void identifiersCannotAddElements();
    void rowOperations();
    void rowsWithoutDraftsStillAsk();
    void rowOperationFailures_data();
    void rowOperationFailures();

private:
    SendResult send(const QList<InvoiceInfo> &infos, InvoiceDest dest);

    std::unique_ptr<IntegratorFixture> fx;
    std::unique_ptr<FakeUyumsoft> fake;
    std::unique_ptr<User> user;
    std::unique_ptr<UyumsoftIntegration> client;
};

void TestUyumsoft::init()
{
    fx = std::make_unique<IntegratorFixture>();
    fake = std::make_unique<FakeUyumsoft>();
    QVERIFY(fake->listen());
    fx->pointAt(QStringLiteral("uyumsoft"), fake->hostAndPort());
    user = std::make_unique<User>(fx->config.get(), 9);
    user->name = fake->userName;
    user->pass = fake->password;
    user->company = samples::seller();
    client = std::make_unique<UyumsoftIntegration>(user.get());
    client->timeoutMs = 10000;
}

void TestUyumsoft::cleanup()
{
    if (QTest::currentTestFailed() && fake)
        qWarning() << "fake Uyumsoft refused:" << fake->refusals;
    client.reset();
    user.reset();
    fake.reset();
    fx.reset();
}

SendResult TestUyumsoft::send(const QList<InvoiceInfo> &infos, InvoiceDest dest)
{
    QList<InvoiceInfo> withAccount = infos;
    for (InvoiceInfo &info : withAccount) {
        info.userName = user->name;
        info.password = user->pass;
    }
    return client->sendInvoice(dest, client->xml(client->invoiceConfig(dest), withAccount), nullptr);
}

void TestUyumsoft::serviceAddress_data()
{
    QTest::addColumn<QString>("account");
    QTest::addColumn<QString>("url");
    QTest::newRow("test account") << "Uyumsoft" << "http://test.host/Services/Integration";
    QTest::newRow("other spelling") << "uyumsoft" << "https://prod.host/Services/Integration";
}

void TestUyumsoft::serviceAddress()
{
    QFETCH(QString, account);
    fx->config->params.insert(QStringLiteral("uyumsoft.schm"), account == "Uyumsoft" ? "http" : "https");
    fx->config->params.insert(QStringLiteral("uyumsoft.host"), QStringLiteral("prod.host"));
    fx->config->params.insert(QStringLiteral("uyumsoft.testhost"), QStringLiteral("test.host"));
    user->name = account;
    QTEST(client->getUrl(), "url");
    QCOMPARE(client->getSoapActionFromCmd("SendDraft"), QString("\"http://tempuri.org/IIntegration/SendDraft\""));
    QCOMPARE(client->getSoapAction(InvoiceAction::Send, InvoiceDest::Final),
             QString("\"http://tempuri.org/IIntegration/SendInvoice\""));
    QCOMPARE(client->getSoapAction(InvoiceAction::QueryStatus, InvoiceDest::Draft),
             QString("\"http://tempuri.org/IIntegration/GetOutboxInvoiceView\""));
    QCOMPARE(client->invoiceConfig(InvoiceDest::Draft).request, QString("SaveAsDraft"));
    QCOMPARE(client->invoiceConfig(InvoiceDest::Draft).destText, QString("taslağa"));
}

void TestUyumsoft::checkConnection_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<Failure>("failure");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("requests");
    QTest::newRow("accepted") << "Uyumsoft" << Failure::None << true << 1;
    QTest::newRow("wrong password") << "yanlış" << Failure::None << false << 1;
    QTest::newRow("fault") << "Uyumsoft" << Failure::Fault << false << 1;
    QTest::newRow("service says no") << "Uyumsoft" << Failure::ServiceError << false << 1;
    QTest::newRow("no password, nothing sent") << "" << Failure::None << false << 0;
}

void TestUyumsoft::checkConnection()
{
    QFETCH(QString, password);
    QFETCH(Failure, failure);
    fake->fail(QStringLiteral("TestConnection"), failure);
    user->pass = password;
    QTEST(client->checkConnection(*user), "ok");
    QTEST(fake->http.requestCount(), "requests");
}

void TestUyumsoft::markupInCredentialsStaysText()
{
    fake->userName = QStringLiteral("a&b<c>");
    fake->password = QStringLiteral("</o:Password></o:UsernameToken><o:Username>Uyumsoft</o:Username>\"'&amp;");
    user->name = fake->userName;
    user->pass = fake->password;
    QVERIFY(client->checkConnection(*user));
    QVERIFY(send({samples::info()}, InvoiceDest::Draft).success);
    QVERIFY(client->executeAction(InvoiceAction::QueryStatus, QList<QString>{fake->order.value(0)}).success);
}

void TestUyumsoft::draftLifecycle()
{
    const SendResult sent = send({samples::info(12345678950LL, QStringLiteral("ALİ VELİ"), samples::gramSplit(),
                                                QStringLiteral("KREDİ KARTI SATIŞI")),
                                  samples::info(1234567890LL, QStringLiteral("IŞIK KUYUMCULUK"), samples::labourOnlySplit())},
                                 InvoiceDest::Draft);
    QVERIFY(sent.success);
    QCOMPARE(sent.ettnList, fake->order);
    QCOMPARE(sent.invoiceNumbers.size(), 2);
    const FakeUyumsoft::Invoice first = fake->invoices.value(sent.ettnList[0]);
    QCOMPARE(first.buyerScheme, QString("TCKN"));
    QCOMPARE(first.payable, QString("10600.00"));
    QCOMPARE(first.notes, (QStringList{Integration::ntot("10600.00"), "KREDİ KARTI SATIŞI"}));
    QCOMPARE(fake->invoices.value(sent.ettnList[1]).buyerScheme, QString("VKN"));

    ActionResult r = client->executeAction(InvoiceAction::QueryStatus, {sent.ettnList[0]});
    QVERIFY(r.success);
    QCOMPARE(r.statusCode, 0);
    QCOMPARE(r.message, QString("Status code: 0"));

    r = client->executeAction(InvoiceAction::SendDraft, {sent.ettnList[0]});
    QVERIFY(r.success);
    QCOMPARE(r.message, QString("Draft sent successfully"));
    QVERIFY(!fake->invoices.value(sent.ettnList[0]).draft);
    r = client->executeAction(InvoiceAction::QueryStatus, {sent.ettnList[0]});
    QCOMPARE(r.statusCode, 1000);

    r = client->executeAction(InvoiceAction::Pdf, {sent.ettnList[0]});
    QVERIFY(r.success);
    QVERIFY(r.responseXml.contains(QLatin1String("Data=")));

    r = client->executeAction(InvoiceAction::CancelDraft, {sent.ettnList[0]});
    QVERIFY(!r.success);
    QCOMPARE(r.message, QString("Failed to cancel draft"));
    r = client->executeAction(InvoiceAction::CancelDraft, {sent.ettnList[1]});
    QVERIFY(r.success);
    QCOMPARE(r.message, QString("Draft cancelled successfully"));
    QVERIFY(!fake->invoices.contains(sent.ettnList[1]));

    r = client->executeAction(InvoiceAction::Send, client->xml(client->invoiceConfig(InvoiceDest::Final), {[this] {
                                  InvoiceInfo i = samples::info();
                                  i.userName = user->name;
                                  i.password = user->pass;
                                  return i;
                              }()}),
                              InvoiceDest::Final);
    QVERIFY(r.success);
    QCOMPARE(r.message, QString("Invoice sent successfully"));
    QCOMPARE(fake->count("SendInvoice"), 1);
    QVERIFY(!fake->invoices.value(r.ettnList.value(0)).draft);
}

void TestUyumsoft::sendUsesTheInvoiceAccount()
{
    InvoiceInfo info = samples::info();
    info.userName = QStringLiteral("başkası");
    info.password = user->pass;
    const SendResult r =
        client->sendInvoice(InvoiceDest::Draft, client->xml(client->invoiceConfig(InvoiceDest::Draft), {info}), nullptr);
    QVERIFY(!r.success);
    QVERIFY(r.responseXml.contains(QLatin1String("Fault")));
    QCOMPARE(fake->refusals.last(), QString("Kullanıcı adı veya şifre hatalı"));
}

void TestUyumsoft::badInputBuildsNoRequest()
{
    Carat empty;
    QCOMPARE(client->xml(client->invoiceConfig(InvoiceDest::Draft), {samples::info(12345678950LL, "A B", empty)}), QString());
    QCOMPARE(client->xml(client->invoiceConfig(InvoiceDest::Draft), {samples::info(99)}), QString());
    QCOMPARE(client->executeAction(InvoiceAction::Send, QString(), InvoiceDest::Draft).message, QString("XML data is empty"));
    QCOMPARE(fake->http.requestCount(), 0);

    // Turkish letters and markup in every free text still make a request the service reads.
    InvoiceInfo odd = samples::info(12345678950LL, QStringLiteral("ĞÜŞİÖÇ <&> \"x\""), samples::gramSplit(),
                                    QString(5000, QChar(u'ş')) + QStringLiteral("]]>\x02"));
    odd.customer.address = QStringLiteral("</cbc:StreetName>");
    odd.line.pname = QStringLiteral("Altın & <Gümüş>");
    QVERIFY(send({odd}, InvoiceDest::Draft).success);
    QCOMPARE(fake->invoices.value(fake->order.value(0)).notes.value(1).size(), 5003);
}

void TestUyumsoft::serviceFailures_data()
{
    QTest::addColumn<InvoiceAction>("action");
    QTest::addColumn<Failure>("failure");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("errorCode");

    const QString http = QStringLiteral("HTTP error: ");
    for (auto [action, name] : {std::pair{InvoiceAction::SendDraft, "send"}, std::pair{InvoiceAction::CancelDraft, "cancel"},
                                std::pair{InvoiceAction::QueryStatus, "query"}}) {
        QTest::addRow("%s, fault", name) << action << Failure::Fault << http << "";
        QTest::addRow("%s, empty body", name) << action << Failure::EmptyBody << "Empty response from server" << "";
        QTest::addRow("%s, malformed", name) << action << Failure::Malformed << "Malformed response from server" << "";
        QTest::addRow("%s, dropped", name) << action << Failure::Drop << http << "";
    }
    QTest::newRow("send, service error") << InvoiceAction::SendDraft << Failure::ServiceError
                                         << "Failed to send draft; Servis hatası; Error Code: 77" << "77";
    QTest::newRow("cancel, service error") << InvoiceAction::CancelDraft << Failure::ServiceError
                                           << "Failed to cancel draft; Servis hatası; Error Code: 77" << "77";
    QTest::newRow("query, service error") << InvoiceAction::QueryStatus << Failure::ServiceError
                                          << "Failed to parse query response" << "";
}

void TestUyumsoft::serviceFailures()
{
    QFETCH(InvoiceAction, action);
    QFETCH(Failure, failure);
    QFETCH(QString, message);
    const SendResult draft = send({samples::info()}, InvoiceDest::Draft);
    QVERIFY(draft.success);
    const QString request = action == InvoiceAction::SendDraft     ? "SendDraft"
                          : action == InvoiceAction::CancelDraft ? "CancelDraft"
                                                                 : "GetOutboxInvoiceView";
    fake->fail(request, failure);
    const ActionResult r = client->executeAction(action, draft.ettnList);
    QVERIFY(!r.success);
    QVERIFY2(r.message.startsWith(message), qPrintable(r.message));
    QTEST(r.errorCode, "errorCode");
    QCOMPARE(r.ettnList, draft.ettnList);
    QVERIFY(fake->invoices.value(draft.ettnList.first()).draft);
}

void TestUyumsoft::resultReadWithoutRegardToCase()
{
    fake->http.route(QStringLiteral("/Services/Integration"), [](const FakeRequest &) {
        return FakeResponse::ok("<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"><s:Body>"
                                "<SendInvoiceResponse xmlns=\"http://tempuri.org/\">"
                                "<sendinvoiceRESULT isSucceeded=\"TRUE\"><value Id=\" ab-1 \" Number=\"UYM1\"/>"
                                "<Value/></sendinvoiceRESULT></SendInvoiceResponse></s:Body></s:Envelope>",
                                "text/xml");
    });
    const SendResult r = send({samples::info()}, InvoiceDest::Final);
    QVERIFY(r.success);
    QCOMPARE(r.ettnList, QList<QString>{"ab-1"});
    QCOMPARE(r.invoiceNumbers, QList<QString>{"UYM1"});
}

void TestUyumsoft::noAccountNoRequest()
{
    user->pass.clear();
    QCOMPARE(client->xml(InvoiceAction::SendDraft, {QStringLiteral("x")}), QString());
    QCOMPARE(client->executeAction(InvoiceAction::SendDraft, {QStringLiteral("x")}).message, QString("Failed to generate XML"));
    QCOMPARE(client->executeAction(InvoiceAction::Send, QList<QString>{QStringLiteral("x")}).message,
             QString("Failed to generate XML"));
    QCOMPARE(client->executeAction(InvoiceAction::Pdf, QList<QString>()).message, QString("ETTN list is empty"));
    QCOMPARE(client->sendDraft({0}, nullptr), 0);
    QCOMPARE(client->queryStatus({0}, nullptr), -1);
    QVERIFY(!client->cancelDraft({0}, nullptr));
    QCOMPARE(fake->http.requestCount(), 0);
}

void TestUyumsoft::identifiersCannotAddElements()
{
    const SendResult victim = send({samples::info()}, InvoiceDest::Draft);
    QVERIFY(victim.success);
    const QString forged = QStringLiteral("x</string><string>%1").arg(victim.ettnList.first());
    const ActionResult r = client->executeAction(InvoiceAction::CancelDraft, {forged});
    QVERIFY(!r.success);
    QVERIFY(fake->invoices.contains(victim.ettnList.first()));
    QCOMPARE(fake->refusals.last(), QString("no draft %1").arg(forged));
}

void TestUyumsoft::rowOperations()
{
    const SendResult sent = send({samples::info(12345678950LL), samples::info(1234567890LL), samples::info()},
                                 InvoiceDest::Draft);
    QVERIFY(sent.success);
    QCOMPARE(sent.ettnList.size(), 3);
    QList<Row> rows{draftRow(user.get(), sent.ettnList[0], 12345678950LL),
                    draftRow(user.get(), QString(), 12345678950LL),
                    draftRow(user.get(), sent.ettnList[1], 1234567890LL),
                    draftRow(user.get(), sent.ettnList[2], 12345678950LL)};
    const QStringList before = rowStates(rows);
    client->rows = &rows;

    QCOMPARE(client->queryStatus({0}, nullptr), fake->draftStatus);
    QCOMPARE(client->sendDraft({0, 1, 2, 9, -1}, nullptr), 2);
    QCOMPARE(QString::fromUtf8(fake->lastBody).count(QLatin1String("<string>")), 2);
    QVERIFY(!fake->invoices.value(sent.ettnList[0]).draft);
    QVERIFY(!fake->invoices.value(sent.ettnList[1]).draft);
    QVERIFY(fake->invoices.value(sent.ettnList[2]).draft);
    QCOMPARE(client->queryStatus({0}, nullptr), 1000);

    QVERIFY(!client->cancelDraft({0}, nullptr));
    QVERIFY(fake->invoices.contains(sent.ettnList[0]));
    QVERIFY(client->cancelDraft({3}, nullptr));
    QVERIFY(!fake->invoices.contains(sent.ettnList[2]));
    // The service no longer knows the draft.
    QCOMPARE(client->queryStatus({3}, nullptr), -1);

    QCOMPARE(rowStates(rows), before);
}

// The status question goes out with nothing in it and the service's refusal counts; a
// deletion of nothing is not asked for, since a lenient service would confirm it.
void TestUyumsoft::rowsWithoutDraftsStillAsk()
{
    QList<Row> rows{draftRow(user.get(), QString(), 12345678950LL)};
    client->rows = &rows;
    QCOMPARE(client->queryStatus({0}, nullptr), -1);
    QCOMPARE(fake->count("GetOutboxInvoiceView"), 1);
    QVERIFY(!fake->lastBody.contains("<string>"));
    QCOMPARE(client->sendDraft({0}, nullptr), 0);
    QVERIFY(!client->cancelDraft({0}, nullptr));
    QCOMPARE(fake->count("CancelDraft"), 0);
}

void TestUyumsoft::rowOperationFailures_data()
{
    QTest::addColumn<QString>("request");
    QTest::addColumn<Failure>("failure");

    for (const char *request : {"SendDraft", "CancelDraft", "GetOutboxInvoiceView"}) {
        QTest::addRow("%s, fault", request) << request << Failure::Fault;
        QTest::addRow("%s, service error", request) << request << Failure::ServiceError;
        QTest::addRow("%s, empty body", request) << request << Failure::EmptyBody;
        QTest::addRow("%s, malformed", request) << request << Failure::Malformed;
        QTest::addRow("%s, dropped", request) << request << Failure::Drop;
    }
    QTest::newRow("service down") << QString() << Failure::None;
}

void TestUyumsoft::rowOperationFailures()
{
    QFETCH(QString, request);
    QFETCH(Failure, failure);
    const SendResult sent = send({samples::info(12345678950LL), samples::info(1234567890LL)}, InvoiceDest::Draft);
    QVERIFY(sent.success);
    QList<Row> rows{draftRow(user.get(), sent.ettnList[0], 12345678950LL),
                    draftRow(user.get(), sent.ettnList[1], 1234567890LL)};
    const QStringList before = rowStates(rows);
    client->rows = &rows;
    if (request.isEmpty())
        fx->pointAt(QStringLiteral("uyumsoft"), QStringLiteral("127.0.0.1:1"));
    else
        fake->fail(request, failure);

    if (request.isEmpty() || request == QLatin1String("SendDraft"))
        QCOMPARE(client->sendDraft({0, 1}, nullptr), 0);
    if (request.isEmpty() || request == QLatin1String("CancelDraft"))
        QVERIFY(!client->cancelDraft({0, 1}, nullptr));
    if (request.isEmpty() || request == QLatin1String("GetOutboxInvoiceView"))
        QCOMPARE(client->queryStatus({0, 1}, nullptr), -1);

    QCOMPARE(rowStates(rows), before);
    QVERIFY(fake->invoices.value(sent.ettnList[0]).draft);
    QVERIFY(fake->invoices.value(sent.ettnList[1]).draft);
}

QTEST_MAIN(TestUyumsoft)
#include "tst_uyumsoft.moc"
