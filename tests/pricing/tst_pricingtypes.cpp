#include "pricing/carat.h"
#include "pricing/caratconfig.h"
#include "pricing/party.h"

#include <QJsonDocument>
#include <QtTest>

class TestPricingTypes : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void ratio_data();
    void ratio();
    void storedLine_data();
    void storedLine();
    void laborJson_data();
    void laborJson();
    void caratJson_data();
    void caratJson();
    void lineFromJsonChangesOnlyPresentKeys();
    void listFromJsonKeepsRequiredAndNumbersNewLines();
    void padPlacesLinesAtTheirIndex();
    void parties();
};

void TestPricingTypes::ratio_data()
{
    QTest::addColumn<qint64>("num");
    QTest::addColumn<qint64>("den");
    QTest::addColumn<qint64>("expectNum");
    QTest::addColumn<qint64>("expectDen");
    QTest::addColumn<qint64>("value");
    QTest::newRow("reduced") << 916ll << 1000ll << 229ll << 250ll << 0ll;
    QTest::newRow("zero over x") << 0ll << 7ll << 0ll << 1ll << 0ll;
    QTest::newRow("x over zero") << 5ll << 0ll << 1ll << 0ll << 0ll;
    QTest::newRow("negative x over zero") << -5ll << 0ll << -1ll << 0ll << 0ll;
    QTest::newRow("negative denominator") << 3ll << -6ll << -1ll << 2ll << 0ll;
    QTest::newRow("truncates toward zero") << -7ll << 2ll << -7ll << 2ll << -3ll;
    QTest::newRow("whole") << 20ll << 4ll << 5ll << 1ll << 5ll;
}

void TestPricingTypes::ratio()
{
    QFETCH(qint64, num);
    QFETCH(qint64, den);
    QFETCH(qint64, expectNum);
    QFETCH(qint64, expectDen);
    QFETCH(qint64, value);
    const Ratio r(num, den);
    QCOMPARE(r.num, expectNum);
    QCOMPARE(r.den, expectDen);
    QCOMPARE(r.value(), value);
}

void TestPricingTypes::storedLine_data()
{
    QTest::addColumn<int>("carat");
    QTest::addColumn<qint64>("cfnum");
    QTest::addColumn<qint64>("cfden");
    QTest::addColumn<int>("milyem");
    QTest::addColumn<QString>("json");
    QTest::addColumn<int>("levelScale");
    // The JSON carries the fineness numerator in lowest terms and cfnum 0 for goods sold by the gram.
    QTest::newRow("22 by the gram") << 22 << 0ll << 1ll << 916
        << R"({"cfine":229,"cfnum":0,"cfden":1,"ctype":1})" << 99;
    QTest::newRow("24 by the gram") << 24 << 0ll << 1ll << 995 << R"({"cfine":199,"ctype":1})" << 109;
    QTest::newRow("18 by the gram") << 18 << 0ll << 1ll << 750 << R"({"cfine":3})" << 81;
    QTest::newRow("14 by the gram") << 14 << 0ll << 1ll << 585 << R"({"cfine":117})" << 63;
    QTest::newRow("coin 1.75 g") << 22 << 175ll << 100ll << 916
        << R"({"cfnum":7,"cfden":4,"ctype":0})" << 100;
    QTest::newRow("unknown fineness") << 21 << 0ll << 1ll << 0 << R"({"cfine":0})" << 95;
    QTest::newRow("no carat") << 0 << 0ll << 1ll << 0 << R"({"cfine":0})" << 0;
    QTest::newRow("one gram piece") << 22 << 1ll << 1ll << 916 << R"({"cfnum":1,"cfden":1,"ctype":0})" << 100;
}

void TestPricingTypes::storedLine()
{
    QFETCH(int, carat);
    QFETCH(qint64, cfnum);
    QFETCH(qint64, cfden);
    QFETCH(int, milyem);
    QFETCH(QString, json);
    QFETCH(int, levelScale);
    const CaratConfig line = CaratConfig::fromStored(3, carat, "c", "p", "l", cfnum, cfden, true, milyem);
    QCOMPARE(int(line.levelScale), levelScale);
    QVERIFY(!line.enabled);
    const QJsonObject o = line.toJO();
    QCOMPARE(o.size(), 12);
    QCOMPARE(o["index"].toInt(), 3);
    QCOMPARE(o["required"].toInt(), 1);
    const QJsonObject expected = QJsonDocument::fromJson(json.toUtf8()).object();
    for (auto it = expected.begin(); it != expected.end(); ++it)
        QCOMPARE(o[it.key()], it.value());
}

void TestPricingTypes::laborJson_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("output");
    QTest::newRow("empty object keeps the VAT at 20") << "{}"
        << R"({"taxratio":"20","unitmin":"0","unitmax":"0","limit":"0"})";
    QTest::newRow("zero tax writes 20") << R"({"taxratio":"0"})"
        << R"({"taxratio":"20","unitmin":"0","unitmax":"0","limit":"0"})";
    QTest::newRow("strings read") << R"({"taxratio":"18","unitmin":"2000","unitmax":"5000","limit":"100"})"
        << R"({"taxratio":"18","unitmin":"2000","unitmax":"5000","limit":"100"})";
    QTest::newRow("a JSON number reads 0") << R"({"unitmin":2000})"
        << R"({"taxratio":"20","unitmin":"0","unitmax":"0","limit":"0"})";
    QTest::newRow("outside 32 bits reads 0") << R"({"limit":"99999999999"})"
        << R"({"taxratio":"20","unitmin":"0","unitmax":"0","limit":"0"})";
    QTest::newRow("text reads 0") << R"({"limit":"abc","taxratio":"x"})"
        << R"({"taxratio":"20","unitmin":"0","unitmax":"0","limit":"0"})";
}

void TestPricingTypes::laborJson()
{
    QFETCH(QString, input);
    QFETCH(QString, output);
    LaborConfig labor;
    QVERIFY(labor.fromJO(QJsonDocument::fromJson(input.toUtf8()).object()));
    QCOMPARE(labor.toJO(), QJsonDocument::fromJson(output.toUtf8()).object());
}

void TestPricingTypes::caratJson_data()
{
    QTest::addColumn<int>("ct");
    QTest::addColumn<qint64>("at");
    QTest::addColumn<qint64>("pc");
    QTest::addColumn<QString>("atText");
    QTest::addColumn<QString>("pcText");
    QTest::newRow("pieces drop the decimals") << 0 << 250ll << 123456ll << "2" << "1.234,56";
    QTest::newRow("grams show two decimals") << 1 << 250ll << 5ll << "2,50" << "0,05";
    QTest::newRow("zero is empty") << 1 << 0ll << 0ll << "" << "";
    QTest::newRow("millions") << 1 << 123456789ll << 100000000000ll << "1.234.567,89" << "1.000.000.000,00";
    QTest::newRow("negative") << 1 << -150ll << -123456ll << "-1,50" << "-1.234,56";
}

void TestPricingTypes::caratJson()
{
    QFETCH(int, ct);
    QFETCH(qint64, at);
    QFETCH(qint64, pc);
    QFETCH(QString, atText);
    QFETCH(QString, pcText);
    Carat c;
    c.ct = quint8(ct);
    c.at = at;
    c.pc = pc;
    const QJsonObject o = c.toJO();
    QCOMPARE(o["at"].toString(), atText);
    QCOMPARE(o["pc"].toString(), pcText);
    QCOMPARE(o["lt"].toString(), QString());
    QCOMPARE(o["dv"].toInt(), 20);
    QCOMPARE(o["ll"].toInt(), 3);

    // fromJO reads integers, not display texts, and leaves the scores alone.
    Carat back;
    back.dv = 7;
    back.fromJO(QJsonObject{{"ct", ct}, {"at", at}, {"pc", pc}, {"lt", "12,00"}});
    QCOMPARE(back.at, at);
    QCOMPARE(back.pc, pc);
    QCOMPARE(back.lt, 0);
    QCOMPARE(int(back.dv), 7);
}

void TestPricingTypes::lineFromJsonChangesOnlyPresentKeys()
{
    CaratConfig line = CaratConfig::fromStored(2, 22, "22 Ayar", "p", "l", 0, 1, false, 916);
    line.fromJO(QJsonObject{{"id", 9}, {"cname", "Bilezik"}, {"cfine", 300}, {"enabled", 5}, {"minperc", "x"}});
    QCOMPARE(int(line.index), 9);
    QCOMPARE(line.cname, QString("Bilezik"));
    QCOMPARE(line.pname, QString("p"));
    QCOMPARE(line.cfine.num, 300);
    QCOMPARE(line.cfine.den, 250);   // the denominator is kept, nothing is normalised
    QVERIFY(line.enabled);
    QCOMPARE(int(line.minperc), 0);

    line.fromJO(QJsonObject{{"index", 4}, {"id", 7}});
    QCOMPARE(int(line.index), 4);    // "index" wins over "id"
}

void TestPricingTypes::listFromJsonKeepsRequiredAndNumbersNewLines()
{
    CaratConfigList list;
    list.append(CaratConfig::fromStored(1, 22, "22", "p", "l", 0, 1, true, 916));
    list.append(CaratConfig::fromStored(3, 14, "14", "p", "l", 0, 1, false, 585));
    list.pad();

    const QJsonArray array{
        QJsonObject{{"index", 3}, {"cname", "14 Ayar"}},
        QJsonObject{{"cname", "Yeni"}},
        QJsonObject{{"cname", "Daha yeni"}},
        QJsonValue("not an object"),
    };
    list.fromJA(array);

    QCOMPARE(list.size(), 6);   // indexes 1, 3, 4, 5 padded into positions 0..5
    QCOMPARE(list[3].cname, QString("14 Ayar"));
    QCOMPARE(list[3].carat, 14);   // kept from the old line
    QCOMPARE(list[4].cname, QString("Yeni"));
    QCOMPARE(list[5].cname, QString("Daha yeni"));
    QCOMPARE(list[1].cname, QString("22"));   // required, left out by the client, kept
    QVERIFY(list[1].required);
    QCOMPARE(list[2].index, 0);

    const QJsonArray out = list.toJA();
    QCOMPARE(out.size(), 4);
    QCOMPARE(out[0].toObject()["index"].toInt(), 1);
}

void TestPricingTypes::padPlacesLinesAtTheirIndex()
{
    CaratConfigList list;
    CaratConfig a, b, negative;
    a.index = 5;
    a.cname = "five";
    b.index = 2;
    b.cname = "two";
    negative.index = -1;
    list << a << b << negative;
    list.pad();
    QCOMPARE(list.size(), 6);
    QCOMPARE(list[2].cname, QString("two"));
    QCOMPARE(list[5].cname, QString("five"));
    for (int i : {0, 1, 3, 4})
        QCOMPARE(int(list[i].index), 0);
    QCOMPARE(list.toJA().size(), 2);

    CaratConfigList empty;
    empty.pad();
    QVERIFY(empty.isEmpty());
}

void TestPricingTypes::parties()
{
    CompanySettings company;
    company.Phone = "kept";
    company.fromJO(QJsonObject{{"Company", "  ABC  "}, {"Unknown", "x"}});
    QCOMPARE(company.Company, QString("ABC"));
    QCOMPARE(company.Phone, QString("kept"));
    QCOMPARE(company.toJO().size(), 12);

    CustomerInfo customer;
    customer.city = "old";
    customer.ident = 12345;
    customer.fromJO(QJsonObject{});
    QCOMPARE(customer.city, QString());
    QCOMPARE(customer.country, QString("Türkiye"));
    QCOMPARE(customer.ident, 12345);
}

QTEST_GUILESS_MAIN(TestPricingTypes)
#include "tst_pricingtypes.moc"
