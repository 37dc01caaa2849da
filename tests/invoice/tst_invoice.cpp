// Invoice values, amounts in words, the HTML preview and the UBL-TR documents.

#include "integratorfixture.h"
#include "invoicesamples.h"
#include "ublschema.h"

#include "invoice/edmintegration.h"
#include "invoice/integration.h"
#include "invoice/uyumsoftintegration.h"
#include "invoice/xmlutil.h"
#include "records/row.h"

#include <QDomDocument>
#include <QXmlStreamWriter>
#include <QtTest>

Q_DECLARE_METATYPE(InvoiceInfo)

namespace {

const QString cbc = QStringLiteral("urn:oasis:names:specification:ubl:schema:xsd:CommonBasicComponents-2");
const QString cac = QStringLiteral("urn:oasis:names:specification:ubl:schema:xsd:CommonAggregateComponents-2");

QByteArray edmDocument(const InvoiceInfo &info, bool registered)
{
    CheckUserResult cu;
    cu.answered = true;
    cu.registered = registered;
    if (registered) {
        cu.identifier = QString::number(info.customer.ident);
        cu.alias = QStringLiteral("urn:mail:defaultpk@example.com");
    }
    QByteArray out;
    QXmlStreamWriter w(&out);
    EDMIntegration::line(w, info, cu);
    return out;
}

QByteArray uyumsoftXml(const InvoiceInfo &info)
{
    QByteArray out;
    QXmlStreamWriter w(&out);
    UyumsoftIntegration::line(w, info);
    return out;
}

// Texts of the elements reached by local names, whatever their namespace.
QStringList texts(const QDomElement &from, const QStringList &path)
{
    QList<QDomElement> level{from};
    for (const QString &step : path) {
        QList<QDomElement> next;
        for (const QDomElement &e : std::as_const(level)) {
            for (QDomElement c = e.firstChildElement(); !c.isNull(); c = c.nextSiblingElement()) {
                if (c.localName() == step)
                    next.append(c);
            }
        }
        level = next;
    }
    QStringList out;
    for (const QDomElement &e : std::as_const(level))
        out.append(e.text());
    return out;
}

QStringList childNames(const QDomElement &e)
{
    QStringList names;
    for (QDomElement c = e.firstChildElement(); !c.isNull(); c = c.nextSiblingElement())
        names.append(c.localName());
    return names;
}

} // namespace

class TestInvoice : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void amounts_data();
    void amounts();
    void amountInWords_data();
    void amountInWords();
    void actionWords();
    void preview_data();
    void preview();
    void problems_data();
    void problems();
    void edmDocumentIsValidUbl_data();
    void edmDocumentIsValidUbl();
    void schemaCatchesFaults();
    void buyerNameSplit_data();
    void buyerNameSplit();
    void uyumsoftDocument_data();
    void uyumsoftDocument();
    void fromRow_data();
    void fromRow();
    void fromRowWithoutCandidates();

private:
    UblSchema schema;
};

void TestInvoice::amounts_data()
{
    QTest::addColumn<int>("ct");
    QTest::addColumn<qint64>("at");
    QTest::addColumn<qint64>("pc");
    QTest::addColumn<bool>("turkish");
    QTest::addColumn<QString>("amount");
    QTest::addColumn<QString>("unitCode");
    QTest::addColumn<QString>("price");

    QTest::newRow("grams, C locale") << 1 << qint64(4050) << qint64(123456) << false << "40.50" << "GRM" << "1234.56";
    QTest::newRow("pieces, C locale") << 0 << qint64(250) << qint64(100) << false << "2" << "NIU" << "1.00";
    QTest::newRow("grams, Turkish") << 1 << qint64(123456) << qint64(123456789) << true << "1.234,56" << "GRM"
                                    << "1.234.567,89";
    QTest::newRow("zero prints") << 1 << qint64(0) << qint64(0) << false << "0.00" << "GRM" << "0.00";
    QTest::newRow("one kuruş") << 1 << qint64(1) << qint64(5) << false << "0.01" << "GRM" << "0.05";
    QTest::newRow("large, no grouping in C") << 1 << qint64(100) << qint64(987654321012) << false << "1.00" << "GRM"
                                             << "9876543210.12";
}

void TestInvoice::amounts()
{
    QFETCH(int, ct);
    QFETCH(qint64, at);
    QFETCH(qint64, pc);
    QFETCH(bool, turkish);
    InvoiceInfo info;
    info.locale = turkish ? QLocale(QLocale::Turkish, QLocale::Turkey) : QLocale::c();
    info.carat.ct = quint8(ct);
    info.carat.at = at;
    info.carat.pc = pc;
    QTEST(info.amount(), "amount");
    QTEST(info.unitCode(), "unitCode");
    QTEST(info.price(), "price");
}

void TestInvoice::amountInWords_data()
{
    QTest::addColumn<QString>("amount");
    QTest::addColumn<QString>("words");
    QTest::newRow("1234.56") << "1234.56" << "Yalnız #Bin İki Yüz Otuz Dört Nokta Elli Altı Türk Lirası#";
    QTest::newRow("1000000.00") << "1000000.00" << "Yalnız #Bir Milyon Türk Lirası#";
    QTest::newRow("100.05") << "100.05" << "Yalnız #Yüz Nokta Beş Türk Lirası#";
    QTest::newRow("0.00") << "0.00" << "Yalnız #Sıfır Türk Lirası#";
    QTest::newRow("5 without point") << "5" << "Yalnız #Beş Türk Lirası#";
    QTest::newRow("2000.10") << "2000.10" << "Yalnız #İki Bin Nokta On Türk Lirası#";
    // Only the thousands group drops a lone "Bir".
    QTest::newRow("1001001.00") << "1001001.00" << "Yalnız #Bir Milyon Bin Bir Türk Lirası#";
    QTest::newRow("11000.00") << "11000.00" << "Yalnız #On Bir Bin Türk Lirası#";
    QTest::newRow("999999999999999999.99")
        << "999999999999999999.99"
        << "Yalnız #Dokuz Yüz Doksan Dokuz Katrilyon Dokuz Yüz Doksan Dokuz Trilyon Dokuz Yüz Doksan Dokuz Milyar "
           "Dokuz Yüz Doksan Dokuz Milyon Dokuz Yüz Doksan Dokuz Bin Dokuz Yüz Doksan Dokuz Nokta Doksan Dokuz "
           "Türk Lirası#";
}

void TestInvoice::amountInWords()
{
    QFETCH(QString, amount);
    QTEST(Integration::ntot(amount), "words");
}

void TestInvoice::actionWords()
{
    const QStringList words{"send", "send_draft", "cancel", "query", "pdf"};
    for (int i = 0; i < words.size(); ++i) {
        InvoiceAction action = InvoiceAction::Send;
        QVERIFY(Integration::actionFromWord(words[i], &action));
        QCOMPARE(int(action), i);
        QCOMPARE(Integration::actionWord(action), words[i]);
    }
    QVERIFY(!Integration::actionFromWord(QStringLiteral("Send"), nullptr));
}

void TestInvoice::preview_data()
{
    QTest::addColumn<qint64>("ident");
    QTest::addColumn<bool>("gold");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QStringList>("absent");

    QTest::newRow("TCKN buyer, gold and labour")
        << qint64(12345678950LL) << true
        << QStringList{"<b>SAYIN</b>", "TCKN: 12345678950", "EARSIVFATURA", "OZELMATRAH", "15-03-2024",
                       "Ali&nbsp;&amp;&nbsp;&lt;Veli&gt;&nbsp;Kuyumculuk", "4,05 Gr",
                       ">1</td><td>22 Ayar Altın Bilezik<", ">2</td><td>22 Ayar Bilezik İşçiliği<",
                       "2.469,13 TL", "%0,00", "10.000,00 TL", "%20,00", "100,00 TL",
                       "Mal Hizmet Toplam Tutarı</b></td><td align=\"right\">10.500,00 TL",
                       "Hesaplanan KDV(%0)</b></td><td align=\"right\">0,00 TL",
                       "Hesaplanan KDV(%20)</b></td><td align=\"right\">100,00 TL",
                       "Ödenecek Tutar</b></td><td align=\"right\">10.600,00 TL"}
        << QStringList{"<Veli>", "VKN: "};
    QTest::newRow("VKN buyer, labour only")
        << qint64(1234567890LL) << false
        << QStringList{"VKN: 1234567890", "TEMELFATURA", "2 Adet", ">1</td><td>22 Ayar Bilezik İşçiliği<",
                       "150,00 TL", "Vergiler Dahil Toplam Tutar</b></td><td align=\"right\">360,00 TL"}
        << QStringList{"TCKN: ", "22 Ayar Altın Bilezik", ">2</td>"};
}

void TestInvoice::preview()
{
    QFETCH(qint64, ident);
    QFETCH(bool, gold);
    QFETCH(QStringList, expected);
    QFETCH(QStringList, absent);
    InvoiceInfo info = samples::info(ident, QStringLiteral("  Ali & <Veli> Kuyumculuk "),
                                     gold ? samples::gramSplit() : samples::labourOnlySplit());
    info.locale = QLocale(QLocale::Turkish, QLocale::Turkey);
    const QString html = Invoice::html(info);
    QVERIFY(html.startsWith(QLatin1String("<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\"")));
    QVERIFY(html.contains(QLatin1String("charset=utf-8")));
    for (const QString &text : expected)
        QVERIFY2(html.contains(text), qPrintable(text));
    for (const QString &text : absent)
        QVERIFY2(!html.contains(text), qPrintable(text));
}

void TestInvoice::problems_data()
{
    QTest::addColumn<InvoiceInfo>("info");
    QTest::addColumn<QString>("problem");

    QTest::newRow("fine") << samples::info() << QString();
    InvoiceInfo i = samples::info();
    i.date = QStringLiteral("15.03.2024");
    QTest::newRow("date not yyyy-MM-dd") << i << "Invalid invoice date: 15.03.2024";
    i = samples::info();
    i.date.clear();
    QTest::newRow("no date") << i << "Invalid invoice date: ";
    QTest::newRow("no identity number") << samples::info(0) << "Invalid identity number: 0";
    QTest::newRow("nine digits") << samples::info(123456789) << "Invalid identity number: 123456789";
    QTest::newRow("twelve digits") << samples::info(123456789012LL) << "Invalid identity number: 123456789012";
    QTest::newRow("placeholder person") << samples::info(11111111111LL) << QString();
    QTest::newRow("blank name") << samples::info(12345678950LL, QStringLiteral("  ")) << "Buyer name is empty";
    QTest::newRow("row without carats") << samples::info(12345678950LL, QStringLiteral("A B"), Carat())
                                        << "Invoice amount is zero";
    Carat c = samples::gramSplit();
    c.at = 0;
    QTest::newRow("zero quantity") << samples::info(12345678950LL, QStringLiteral("A B"), c) << "Invoice quantity is zero";
    c = samples::gramSplit();
    c.lt += 1;
    QTest::newRow("parts exceed total") << samples::info(12345678950LL, QStringLiteral("A B"), c)
                                        << "Invoice amounts do not add up";
    c = samples::labourOnlySplit();
    c.pp = -100;
    c.lp += 100;
    QTest::newRow("negative gold") << samples::info(12345678950LL, QStringLiteral("A B"), c)
                                   << "Invoice amounts do not add up";
}

void TestInvoice::problems()
{
    QFETCH(InvoiceInfo, info);
    QTEST(info.problem(), "problem");
}

void TestInvoice::edmDocumentIsValidUbl_data()
{
    QTest::addColumn<InvoiceInfo>("info");
    QTest::addColumn<bool>("registered");

    QTest::newRow("gold, TCKN, no description") << samples::info() << false;
    QTest::newRow("gold, VKN registered, description")
        << samples::info(1234567890LL, QStringLiteral("IŞIK KUYUMCULUK"), samples::gramSplit(),
                         QStringLiteral("KREDİ KARTI SATIŞI"))
        << true;
    QTest::newRow("labour only, TCKN") << samples::info(12345678950LL, QStringLiteral("ŞÜKRÜ ÖZ"), samples::labourOnlySplit())
                                       << false;
    QTest::newRow("labour only, VKN registered, description")
        << samples::info(1234567890LL, QStringLiteral("A"), samples::labourOnlySplit(), QStringLiteral("Çeyrek"))
        << true;
    QTest::newRow("markup and controls in every text")
        << samples::info(12345678950LL, QStringLiteral("Ali <b>&amp; \"Veli\"</b> 'X'\x01\x1f"), samples::gramSplit(),
                         QStringLiteral("]]> <!-- & \x0b </cbc:Note><cbc:ID>1</cbc:ID>"))
        << false;
    QTest::newRow("very long description") << samples::info(12345678950LL, QStringLiteral("ALİ VELİ"), samples::gramSplit(),
                                                            QString(20000, QChar(u'Ğ')))
                                           << false;
}

void TestInvoice::edmDocumentIsValidUbl()
{
    QFETCH(InvoiceInfo, info);
    QFETCH(bool, registered);
    QVERIFY(schema.loaded());
    info.company.Company += QStringLiteral(" & <Ortakları>");
    info.customer.address = QStringLiteral("</cbc:BuildingName><x>");
    const QByteArray document = edmDocument(info, registered);
    const QStringList errors = schema.validate(document);
    QVERIFY2(errors.isEmpty(), qPrintable(errors.join('\n') + '\n' + QString::fromUtf8(document)));

    QDomDocument doc;
    QVERIFY(doc.setContent(document, true));
    const QDomElement root = doc.documentElement();
    const bool gold = info.carat.pp > 0;
    QCOMPARE(texts(root, {"ProfileID"}), QStringList{registered ? "TEMELFATURA" : "EARSIVFATURA"});
    QCOMPARE(texts(root, {"LineCountNumeric"}), QStringList{gold ? "2" : "1"});
    QCOMPARE(texts(root, {"InvoiceLine", "ID"}), (gold ? QStringList{"1", "2"} : QStringList{"1"}));
    const QStringList notes = texts(root, {"Note"});
    QCOMPARE(notes.size(), info.description.isEmpty() ? 1 : 2);
    QCOMPARE(notes.first(), Integration::ntot(info.price()));
    if (!info.description.isEmpty())
        QCOMPARE(notes.last(), xmlutil::clean(info.description));
    QCOMPARE(texts(root, {"AccountingCustomerParty", "Party", "PostalAddress", "BuildingName"}),
             QStringList{info.customer.address});
    QCOMPARE(texts(root, {"AccountingSupplierParty", "Party", "PartyName", "Name"}), QStringList{info.company.Company});
    const QStringList buyerName = registered ? texts(root, {"AccountingCustomerParty", "Party", "PartyName", "Name"})
                                             : texts(root, {"AccountingCustomerParty", "Party", "Person", "FirstName"});
    QCOMPARE(buyerName.size(), 1);
    QVERIFY(!buyerName.first().contains(QChar(1)));
    QCOMPARE(texts(root, {"LegalMonetaryTotal", "PayableAmount"}), QStringList{info.price()});
}

// The validator itself must see a broken document, or every pass above means nothing.
void TestInvoice::schemaCatchesFaults()
{
    const QByteArray good = edmDocument(samples::info(), false);
    QVERIFY(schema.validate(good).isEmpty());
    QByteArray badDate = good;
    badDate.replace("<cbc:IssueDate>2024-03-15</cbc:IssueDate>", "<cbc:IssueDate>15.03.2024</cbc:IssueDate>");
    QVERIFY(badDate != good);
    QVERIFY(!schema.validate(badDate).isEmpty());
    QByteArray noCurrency = good;
    noCurrency.replace(" currencyID=\"TRY\"", "");
    QVERIFY(!schema.validate(noCurrency).isEmpty());
}

void TestInvoice::buyerNameSplit_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("family");
    QTest::newRow("three words") << "MEHMET ALİ YILMAZ" << "MEHMET ALİ" << "YILMAZ";
    QTest::newRow("two words") << "AYŞE IŞIK" << "AYŞE" << "IŞIK";
    QTest::newRow("one word") << "KUYUMCU" << "KUYUMCU" << "";
    QTest::newRow("double blank") << "ALİ  VELİ" << "ALİ " << "VELİ";
}

void TestInvoice::buyerNameSplit()
{
    QFETCH(QString, name);
    const InvoiceInfo info = samples::info(12345678950LL, name);
    QDomDocument doc;
    QVERIFY(doc.setContent(edmDocument(info, false), true));
    QTEST(texts(doc.documentElement(), {"AccountingCustomerParty", "Party", "Person", "FirstName"}).value(0), "first");
    QTEST(texts(doc.documentElement(), {"AccountingCustomerParty", "Party", "Person", "FamilyName"}).value(0), "family");
    QVERIFY(doc.setContent(edmDocument(samples::info(1234567890LL, name), true), true));
    QFETCH(QString, first);
    QFETCH(QString, family);
    QCOMPARE(texts(doc.documentElement(), {"AccountingCustomerParty", "Party", "PartyName", "Name"}).value(0),
             first + ' ' + family);
}

void TestInvoice::uyumsoftDocument_data()
{
    QTest::addColumn<qint64>("ident");
    QTest::addColumn<bool>("gold");
    QTest::addColumn<QString>("scheme");
    QTest::newRow("VKN by size, gold") << qint64(1234567890LL) << true << "VKN";
    QTest::newRow("TCKN, labour only") << qint64(12345678950LL) << false << "TCKN";
}

void TestInvoice::uyumsoftDocument()
{
    QFETCH(qint64, ident);
    QFETCH(bool, gold);
    QFETCH(QString, scheme);
    const InvoiceInfo info = samples::info(ident, QStringLiteral("ALİ & VELİ <AŞ>"),
                                           gold ? samples::gramSplit() : samples::labourOnlySplit());
    QDomDocument doc;
    QString error;
    QVERIFY2(doc.setContent(uyumsoftXml(info), true, &error), qPrintable(error));
    const QDomElement wrapper = doc.documentElement();
    QCOMPARE(wrapper.localName(), QString("InvoiceInfo"));
    const QDomElement invoice = wrapper.firstChildElement();
    QCOMPARE(invoice.localName(), QString("Invoice"));
    QVERIFY(invoice.namespaceURI().isEmpty());

    const QStringList header{"ProfileID", "CopyIndicator", "IssueDate", "IssueTime", "InvoiceTypeCode", "Note",
                             "DocumentCurrencyCode", "LineCountNumeric", "UBLVersionID", "CustomizationID",
                             "AccountingSupplierParty", "AccountingCustomerParty", "TaxTotal", "TaxTotal"};
    QStringList order = childNames(invoice);
    QCOMPARE(order.mid(0, header.size()), header);
    QCOMPARE(order.mid(header.size()), (gold ? QStringList{"InvoiceLine", "InvoiceLine", "LegalMonetaryTotal"}
                                             : QStringList{"InvoiceLine", "LegalMonetaryTotal"}));
    QCOMPARE(texts(invoice, {"ProfileID"}), QStringList{"TEMELFATURA"});

    QCOMPARE(texts(invoice, {"AccountingSupplierParty", "Party", "PartyIdentification", "ID"}),
             (QStringList{"1234567890", "0123456789000015", "", "54321"}));
    QCOMPARE(texts(invoice, {"AccountingSupplierParty", "Party", "Person", "FamilyName"}), QStringList{"Işık"});
    const QDomElement buyer = invoice.elementsByTagNameNS(cac, QStringLiteral("AccountingCustomerParty")).at(0).toElement()
                                  .firstChildElement();
    const QStringList parts = childNames(buyer);
    QCOMPARE(parts, (QStringList{"PartyIdentification", scheme == "VKN" ? "PartyName" : "Person", "PostalAddress",
                                 "PartyTaxScheme", "Contact"}));
    QCOMPARE(buyer.elementsByTagNameNS(cbc, QStringLiteral("ID")).at(0).toElement().attribute("schemeID"), scheme);
    QCOMPARE(texts(buyer, {"Contact", "Telephone"}), QStringList{info.customer.phone});
    if (scheme == "VKN")
        QCOMPARE(texts(buyer, {"PartyName", "Name"}), QStringList{"ALİ & VELİ <AŞ>"});
}

// A user with two carat lines and a customer directory, and rows paid by its buyers.
struct RowFixture
{
    RowFixture() : user(fx.config.get(), 3)
    {
        user.name = QStringLiteral("kestrel");
        user.pass = QStringLiteral("gizli");
        user.company = samples::seller();
        CaratConfig bracelet;
        bracelet.index = 1;
        bracelet.cname = QStringLiteral("22 Ayar");
        bracelet.pname = QStringLiteral("22 Ayar Altın Bilezik");
        bracelet.lname = QStringLiteral("22 Ayar Bilezik İşçiliği");
        bracelet.ctype = 1;
        CaratConfig coin;   // a line whose product and labour names were never filled in
        coin.index = 2;
        coin.cname = QStringLiteral("Çeyrek");
        user.carats = CaratConfigList{bracelet, coin};
        user.carats.pad();

        CustomerInfo known;   // stored under the name the shop once typed
        known.ident = 1234567890LL;
        known.name = QStringLiteral("Işık Kuyumculuk Eski Ünvan");
        known.city = QStringLiteral("Ankara");
        known.district = QStringLiteral("Çankaya");
        known.taxoffice = QStringLiteral("Kavaklıdere");
        known.country = QStringLiteral("Azerbaycan");
        known.address = QStringLiteral("Tunalı Hilmi Cd. 5");
        known.phone = QStringLiteral("0312 000 00 00");
        QVERIFY(user.addCustomer(known, true));
        CustomerInfo noCountry;
        noCountry.ident = 12345678950LL;
        noCountry.name = QStringLiteral("MEHMET ALİ YILMAZ");
        noCountry.city = QStringLiteral("Bursa");
        QVERIFY(user.addCustomer(noCountry, true));
    }

    Row row(qint64 ident, const QByteArray &name, int selected) const
    {
        Row r(const_cast<User *>(&user));
        r.date = "2024-03-15";
        r.note = QStringLiteral("KREDİ KARTI SATIŞI");
        if (!name.isNull()) {
            r.names = {name};
            r.scores = {0};
        }
        r.setIdent(ident);
        r.carats = CaratList{samples::gramSplit(), samples::labourOnlySplit()};
        r.caratIndex = selected;
        r.caratId = r.carats.at(selected).ci;
        return r;
    }

    IntegratorFixture fx;
    User user;
};

void TestInvoice::fromRow_data()
{
    QTest::addColumn<qint64>("ident");
    QTest::addColumn<QByteArray>("payer");
    QTest::addColumn<int>("selected");
    // name, city, district, tax office, country, address, phone
    QTest::addColumn<QStringList>("buyer");
    QTest::addColumn<QStringList>("lineNames");
    QTest::addColumn<QString>("amount");   // Turkish locale
    QTest::addColumn<QStringList>("preview");

    const QStringList sellerPlace{"İstanbul", "Fatih", "", "Türkiye", "Kapalıçarşı Kalpakçılar Cd. No: 12", ""};
    QTest::newRow("grams, person not in the directory")
        << qint64(10000000146LL) << QByteArray("AYSE DEMIR") << 0 << (QStringList{"AYSE DEMIR"} + sellerPlace)
        << QStringList{"22 Ayar Altın Bilezik", "22 Ayar Bilezik İşçiliği"} << "4,05"
        << QStringList{"TCKN: 10000000146", "EARSIVFATURA", "4,05 Gr", ">1</td><td>22 Ayar Altın Bilezik<",
                       ">2</td><td>22 Ayar Bilezik İşçiliği<"};
    QTest::newRow("pieces, company in the directory under another name")
        << qint64(1234567890LL) << QByteArray("ISIK KUYUMCULUK") << 1
        << QStringList{"ISIK KUYUMCULUK", "Ankara", "Çankaya", "Kavaklıdere", "Azerbaycan", "Tunalı Hilmi Cd. 5",
                       "0312 000 00 00"}
        << QStringList{"Altın", "İşçilik"} << "2"
        << QStringList{"VKN: 1234567890", "TEMELFATURA", "2 Adet", ">1</td><td>İşçilik<"};
    QTest::newRow("directory entry without a country")
        << qint64(12345678950LL) << QByteArray("MEHMET ALI YILMAZ") << 0
        << QStringList{"MEHMET ALI YILMAZ", "Bursa", "", "", "Türkiye", "", ""}
        << QStringList{"22 Ayar Altın Bilezik", "22 Ayar Bilezik İşçiliği"} << "4,05"
        << QStringList{"TCKN: 12345678950"};
    // The directory's own name does not stand in for a payer the statement did not name.
    QTest::newRow("row without a name, directory hit")
        << qint64(1234567890LL) << QByteArray() << 1
        << QStringList{"", "Ankara", "Çankaya", "Kavaklıdere", "Azerbaycan", "Tunalı Hilmi Cd. 5", "0312 000 00 00"}
        << QStringList{"Altın", "İşçilik"} << "2" << QStringList{"VKN: 1234567890"};
    // An invalid number becomes the placeholder person, which no directory entry matches.
    QTest::newRow("invalid number")
        << qint64(1234567891LL) << QByteArray("ALI VELI") << 0 << (QStringList{"ALI VELI"} + sellerPlace)
        << QStringList{"22 Ayar Altın Bilezik", "22 Ayar Bilezik İşçiliği"} << "4,05"
        << QStringList{"TCKN: 11111111111"};
}

void TestInvoice::fromRow()
{
    QFETCH(qint64, ident);
    QFETCH(QByteArray, payer);
    QFETCH(int, selected);
    QFETCH(QStringList, buyer);
    QFETCH(QStringList, lineNames);
    QFETCH(QStringList, preview);

    RowFixture f;
    const Row row = f.row(ident, payer, selected);
    const InvoiceInfo info(&f.user, row, QLocale(QLocale::Turkish, QLocale::Turkey));
    QCOMPARE(info.date, QString("2024-03-15"));
    QCOMPARE(info.description, QString("KREDİ KARTI SATIŞI"));
    QCOMPARE(info.userName, QString("kestrel"));
    QCOMPARE(info.password, QString("gizli"));
    QCOMPARE(info.company.TaxNo, samples::seller().TaxNo);
    QCOMPARE(info.carat.ci, row.carats.at(selected).ci);
    QCOMPARE(info.carat.pc, row.carats.at(selected).pc);
    QCOMPARE(info.customer.ident, row.ident());
    const CustomerInfo &c = info.customer;
    QCOMPARE((QStringList{c.name, c.city, c.district, c.taxoffice, c.country, c.address, c.phone}), buyer);
    QCOMPARE((QStringList{info.line.pname, info.line.lname}), lineNames);
    QTEST(info.amount(), "amount");

    const QString html = Invoice::html(info);
    for (const QString &text : preview)
        QVERIFY2(html.contains(text), qPrintable(text));
    QCOMPARE(html.contains(QLatin1String(">2</td>")), row.carats.at(selected).pp > 0);

    // Built for an integrator, the same row makes a document the schema accepts.
    if (!payer.isEmpty()) {
        const InvoiceInfo sent(&f.user, row, QLocale::c());
        QCOMPARE(sent.problem(), QString());
        const QStringList errors = schema.validate(edmDocument(sent, ident == 1234567890LL));
        QVERIFY2(errors.isEmpty(), qPrintable(errors.join('\n')));
    }
}

void TestInvoice::fromRowWithoutCandidates()
{
    RowFixture f;
    Row row = f.row(10000000146LL, "AYSE DEMIR", 0);
    row.carats.clear();   // a locked row after reset
    const InvoiceInfo info(&f.user, row, QLocale::c());
    QCOMPARE(info.carat.pc, qint64(0));
    QCOMPARE(info.customer.name, QString("AYSE DEMIR"));
    QCOMPARE(info.problem(), QString("Invoice amount is zero"));
}

QTEST_MAIN(TestInvoice)
#include "tst_invoice.moc"
