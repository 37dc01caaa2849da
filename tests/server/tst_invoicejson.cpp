// The server's translation between invoice JSON and the integrator interface, and the
// bounds on JSON bodies.
#include "common/testdata.h"
#include "config/config.h"
#include "server/invoicejson.h"
#include "server/requestlimits.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QtTest>

class TestInvoiceJson : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void responseScan_data();
    void responseScan();
    void brokenResponseKeepsWhatWasRead();
    void ettnList_data();
    void ettnList();
    void invoiceValues();
    void jsonBounds_data();
    void jsonBounds();
};

namespace {

QString b64(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toBase64());
}

QString envelope(const QString &body)
{
    return QStringLiteral("<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"><s:Body>%1</s:Body>"
                          "</s:Envelope>")
        .arg(body);
}

} // namespace

void TestInvoiceJson::responseScan_data()
{
    QTest::addColumn<QString>("xml");
    QTest::addColumn<QString>("html");
    QTest::addColumn<QByteArray>("pdf");
    QTest::addColumn<QString>("errors");

    const QByteArray pdf = "%PDF-1.4 fatura";
    QTest::newRow("content decoded as UTF-8")
        << envelope("<r><CONTENT> " + b64("<p>Sayın Müşteri</p>") + " </CONTENT></r>") << "<p>Sayın Müşteri</p>"
        << QByteArray() << "";
    QTest::newRow("data with the PDF signature")
        << envelope("<r><Data>" + b64(pdf) + "</Data><CONTENT>" + b64("<p>x</p>") + "</CONTENT></r>") << "<p>x</p>"
        << pdf << "";
    QTest::newRow("data without the signature ignored")
        << envelope("<r><data>" + b64("GIF89a") + "</data></r>") << "" << QByteArray() << "";
    QTest::newRow("html entities after XML decoding")
        << envelope("<r><HTML>&amp;amp;lt;b&amp;amp;gt; &amp;lt;b&amp;gt;</HTML><ERROR>later</ERROR></r>")
        << "&lt;b&gt; <b>" << QByteArray() << "";
    QTest::newRow("code then short description")
        << envelope("<r><ERROR_CODE>12</ERROR_CODE><ERROR_SHORT_DES>Geçersiz</ERROR_SHORT_DES></r>") << ""
        << QByteArray() << "Geçersiz (Hata kodu: 12)";
    QTest::newRow("short description then code")
        << envelope("<r><ERROR_SHORT_DES>Geçersiz</ERROR_SHORT_DES><ERROR_CODE>12</ERROR_CODE></r>") << ""
        << QByteArray() << "Geçersiz (Hata kodu: 12)";
    QTest::newRow("long description after a described code is not added")
        << envelope("<r><ERROR_SHORT_DES>Geçersiz</ERROR_SHORT_DES><ERROR_LONG_DES>Uzun</ERROR_LONG_DES></r>") << ""
        << QByteArray() << "Geçersiz";
    QTest::newRow("return code zero adds nothing")
        << envelope("<r><ERROR_MESSAGE>Hata</ERROR_MESSAGE><RETURN_CODE>0</RETURN_CODE></r>") << "" << QByteArray()
        << "Hata";
    QTest::newRow("messages joined, return code named")
        << envelope("<r><MESSAGE>Bir</MESSAGE><error>İki</error><Return_Code>7</Return_Code></r>") << ""
        << QByteArray() << "Bir; İki; Return Code: 7";
    QTest::newRow("fault string replaces earlier errors")
        << envelope("<MESSAGE>önce</MESSAGE><s:Fault><faultstring> Oturum yok </faultstring></s:Fault>") << ""
        << QByteArray() << "Oturum yok";
    QTest::newRow("empty document") << "" << "" << QByteArray() << "";
}

void TestInvoiceJson::responseScan()
{
    QFETCH(QString, xml);
    QFETCH(QString, html);
    QFETCH(QByteArray, pdf);
    QFETCH(QString, errors);
    const HtmlAndErrors scan = extractHtmlAndErrorsFromXml(xml);
    QCOMPARE(scan.html, html);
    QCOMPARE(scan.pdf, pdf);
    QCOMPARE(scan.errors, errors);
}

void TestInvoiceJson::brokenResponseKeepsWhatWasRead()
{
    QTest::ignoreMessage(QtCriticalMsg, QRegularExpression("^XML parse error: .* at line 1 column \\d+$"));
    const HtmlAndErrors scan = extractHtmlAndErrorsFromXml("<r><MESSAGE>Hata</MESSAGE><MESSAGE>kes");
    QCOMPARE(scan.errors, QString("Hata"));
}

void TestInvoiceJson::ettnList_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QStringList>("list");
    QTest::addColumn<QString>("error");
    QTest::newRow("missing") << QByteArray("{}") << QStringList() << "ettn_list is required";
    QTest::newRow("only blanks and non-strings")
        << QByteArray(R"({"ettn_list": ["  ", 5, null, ""]})") << QStringList()
        << "ettn_list must contain at least one non-empty value";
    QTest::newRow("not an array") << QByteArray(R"({"ettn_list": "abc"})") << QStringList()
                                  << "ettn_list must contain at least one non-empty value";
    QTest::newRow("trimmed, in order")
        << QByteArray(R"({"ettn_list": [" b ", "", "a"]})") << QStringList{"b", "a"} << "";
}

void TestInvoiceJson::ettnList()
{
    QFETCH(QByteArray, json);
    QFETCH(QStringList, list);
    QFETCH(QString, error);
    QString got;
    QCOMPARE(QStringList(parseEttnList(QJsonDocument::fromJson(json).object(), &got)), list);
    QCOMPARE(got, error);
}

void TestInvoiceJson::invoiceValues()
{
    TestDataDir data;
    Config config(false);
    QVERIFY(config.ok);
    User &user = config.localUser;
    user.name = "kestrel";
    user.pass = "gizli";
    user.company.CityName = "Bursa";
    user.company.District = "Osmangazi";
    user.company.Address = "Kapalı Çarşı 12";

    CustomerInfo known;
    known.ident = 10000000146;
    known.name = "AYSE YILMAZ";
    known.city = "İzmir";
    known.taxoffice = "Konak";
    known.country = "Türkiye";
    QVERIFY(user.addCustomer(known, false));

    const QJsonObject base{{"dt", "2025-11-06"}, {"description", "bilezik"}, {"ct", 1}, {"at", 405},
                           {"pc", 1200000}, {"pp", 1000000}, {"lp", 166667}, {"lt", 33333}, {"np", 1166667},
                           {"rt", 246913}, {"lu", 41152}};

    // Unknown buyer: the seller's place, no tax office, default line names.
    QJsonObject unknown = base;
    unknown.insert("nn", 10000000078LL);
    unknown.insert("name", "MEHMET KAYA");
    InvoiceInfo info = invoiceInfoFromJson(unknown, &user);
    QCOMPARE(info.locale.decimalPoint(), QString("."));
    QCOMPARE(info.price(), QString("12000.00"));
    QCOMPARE(info.amount(), QString("4.05"));
    QCOMPARE(info.userName, QString("kestrel"));
    QCOMPARE(info.password, QString("gizli"));
    QCOMPARE(info.description, QString("bilezik"));
    QCOMPARE(info.line.pname, QString("Altın"));
    QCOMPARE(info.line.lname, QString("İşçilik"));
    QCOMPARE(info.customer.ident, 10000000078LL);
    QCOMPARE(info.customer.name, QString("MEHMET KAYA"));
    QCOMPARE(info.customer.city, QString("Bursa"));
    QCOMPARE(info.customer.district, QString("Osmangazi"));
    QCOMPARE(info.customer.address, QString("Kapalı Çarşı 12"));
    QCOMPARE(info.customer.country, QString("Türkiye"));
    QVERIFY(info.customer.taxoffice.isEmpty() && info.customer.phone.isEmpty());

    // A directory entry brings its own name and address.
    QJsonObject listed = base;
    listed.insert("nn", 10000000146LL);
    listed.insert("tn", 0);
    listed.insert("name", "A. YILMAZ");
    listed.insert("pn", "22 Ayar Bilezik");
    info = invoiceInfoFromJson(listed, &user);
    QCOMPARE(info.customer.ident, 10000000146LL);
    QCOMPARE(info.customer.name, QString("AYSE YILMAZ"));
    QCOMPARE(info.customer.city, QString("İzmir"));
    QCOMPARE(info.customer.taxoffice, QString("Konak"));
    QCOMPARE(info.line.pname, QString("22 Ayar Bilezik"));

    // A tax number wins over a personal number; address data sent along is used as is.
    QJsonObject company = base;
    company.insert("nn", 10000000146LL);
    company.insert("tn", 1234567890LL);
    company.insert("name", "ÖRNEK KUYUMCULUK");
    company.insert("customer", QJsonObject{{"city", "Ankara"}, {"taxoffice", "Çankaya"}});
    info = invoiceInfoFromJson(company, &user);
    QCOMPARE(info.customer.ident, 1234567890LL);
    QCOMPARE(info.customer.name, QString("ÖRNEK KUYUMCULUK"));
    QCOMPARE(info.customer.city, QString("Ankara"));
    QCOMPARE(info.customer.taxoffice, QString("Çankaya"));
    QCOMPARE(info.customer.country, QString("Türkiye"));
}

void TestInvoiceJson::jsonBounds_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("error");
    QTest::newRow("plain object") << QByteArray(R"({"a": [1, {"b": "]]]]"}]})") << "";
    QTest::newRow("brackets inside strings do not nest")
        << QByteArray("{\"a\": \"" + QByteArray(500, '[') + "\\\"" + QByteArray(500, '{') + "\"}") << "";
    QTest::newRow("64 levels") << QByteArray(64, '[') + QByteArray(64, ']') << "";
    QTest::newRow("65 levels") << QByteArray(65, '[') + QByteArray(65, ']') << "JSONTooDeep";
    QTest::newRow("a million levels, never walked") << QByteArray(1000000, '[') << "JSONTooDeep";
    QByteArray many = "[0";
    for (int i = 0; i < 250000; ++i)
        many += ",0";
    many += ']';
    QTest::newRow("huge array") << many << "JSONTooLarge";
    QTest::newRow("not JSON") << QByteArray("{\"a\":") << "InvalidJSON";
}

void TestInvoiceJson::jsonBounds()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, error);
    QString got = "unset";
    const QJsonDocument doc = RequestLimits::parseJson(body, &got);
    QCOMPARE(got, error);
    QCOMPARE(doc.isNull(), !error.isEmpty());
}

QTEST_GUILESS_MAIN(TestInvoiceJson)
#include "tst_invoicejson.moc"
