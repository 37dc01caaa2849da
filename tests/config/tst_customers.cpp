#include "common/testdata.h"
#include "config/config.h"

#include <QtTest>

class TestCustomers : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void address_data();
    void address();
    void unpackIgnoresForeignPieces_data();
    void unpackIgnoresForeignPieces();
    void directory();
    void allFieldsStoredAndListedByName();
};

void TestCustomers::address_data()
{
    QTest::addColumn<QString>("city");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("phone");
    QTest::addColumn<QString>("packed");
    QTest::addColumn<QString>("cityBack");
    QTest::addColumn<QString>("addressBack");
    QTest::newRow("city and phone") << "Bursa" << "" << "0224" << "City=Bursa;Phone=0224" << "Bursa" << "";
    QTest::newRow("semicolon dropped from the address")
        << "" << "Çarşı Cd. 5; Kat 2" << "" << "Address=Çarşı Cd. 5 Kat 2" << "" << "Çarşı Cd. 5 Kat 2";
    QTest::newRow("semicolon in the city cuts it") << "Bur;sa" << "" << "" << "City=Bur;sa" << "Bur" << "";
    QTest::newRow("equals sign kept") << "" << "Blok=A" << "" << "Address=Blok=A" << "" << "Blok=A";
}

void TestCustomers::address()
{
    QFETCH(QString, city);
    QFETCH(QString, address);
    QFETCH(QString, phone);
    QFETCH(QString, packed);
    QFETCH(QString, cityBack);
    QFETCH(QString, addressBack);
    CustomerInfo info;
    info.city = city;
    info.address = address;
    info.phone = phone;
    QCOMPARE(User::packAddress(info), packed);
    CustomerInfo back;
    User::unpackAddress(packed, back);
    QCOMPARE(back.city, cityBack);
    QCOMPARE(back.address, addressBack);
    QCOMPARE(back.phone, phone);
    QVERIFY(back.district.isEmpty() && back.taxoffice.isEmpty() && back.country.isEmpty());
}

void TestCustomers::unpackIgnoresForeignPieces_data()
{
    QTest::addColumn<QString>("packed");
    QTest::addColumn<QString>("district");
    QTest::addColumn<QString>("phone");
    QTest::newRow("keys are case-sensitive") << "district=Nilufer;Phone=1" << "" << "1";
    QTest::newRow("no key before the equals sign") << "=Nilufer;District=Osmangazi" << "Osmangazi" << "";
    QTest::newRow("unknown keys and empty pieces") << ";;Fax=2;District=Yildirim;;" << "Yildirim" << "";
    QTest::newRow("piece without equals sign") << "Nilufer;Phone=3" << "" << "3";
    QTest::newRow("empty value") << "District=;Phone=4" << "" << "4";
}

void TestCustomers::unpackIgnoresForeignPieces()
{
    QFETCH(QString, packed);
    CustomerInfo info;
    User::unpackAddress(packed, info);
    QTEST(info.district, "district");
    QTEST(info.phone, "phone");
    QVERIFY(info.city.isEmpty() && info.taxoffice.isEmpty() && info.country.isEmpty() && info.address.isEmpty());
}

void TestCustomers::directory()
{
    TestDataDir data;
    Config config(false);
    QVERIFY(config.ok);
    User &user = config.localUser;

    CustomerInfo ayse;
    ayse.ident = 10000000146;
    ayse.name = "AYSE YILMAZ";
    ayse.city = "İzmir";
    QVERIFY(user.addCustomer(ayse, false));

    CustomerInfo changed = ayse;
    changed.city = "Ankara";
    changed.name = "AYSE YILMAZ KAYA";
    QVERIFY(user.addCustomer(changed, false));   // the stored customer wins
    QCOMPARE(user.getCustomer(ayse.ident).city, QString("İzmir"));
    QCOMPARE(user.getCustomer(ayse.ident).name, QString("AYSE YILMAZ"));
    changed.name = ayse.name;
    QVERIFY(user.updateCustomer(changed));
    QCOMPARE(user.getCustomer(ayse.ident).city, QString("Ankara"));

    QCOMPARE(user.findCustomerIdent("AYSE YILMAZ"), ayse.ident);
    CustomerInfo namesake = ayse;
    namesake.ident = 1234567890;
    QVERIFY(user.addCustomer(namesake, false));
    QCOMPARE(user.findCustomerIdent("AYSE YILMAZ"), 0);   // ambiguous
    QVERIFY(user.getCustomer("AYSE YILMAZ").ident != 0);

    // Unknown number, known name: the named customer with its own number.
    const qint64 found = user.getCustomer(99999999999, "AYSE YILMAZ").ident;
    QVERIFY(found == ayse.ident || found == namesake.ident);
    QCOMPARE(user.getCustomer(namesake.ident, "NOBODY").ident, namesake.ident);
    QCOMPARE(user.getCustomer(99999999999, "NOBODY").ident, 0);

    QVERIFY(!user.addCustomer(CustomerInfo(), true));
    QVERIFY(!user.deleteCustomer(555));
    QVERIFY(user.deleteCustomer(namesake.ident));
    QCOMPARE(user.getAllCustomers().size(), 1);

    // Another user's directory is separate.
    User other(&config, 9);
    QVERIFY(other.getAllCustomers().isEmpty());
}

void TestCustomers::allFieldsStoredAndListedByName()
{
    TestDataDir data;
    Config config(false);
    User &user = config.localUser;
    CustomerInfo full;
    full.ident = 1234567890;
    full.name = "ÇELİK KUYUMCULUK LTD";
    full.city = "Bursa";
    full.district = "Osmangazi";
    full.taxoffice = "Uludağ";
    full.country = "Türkiye";
    full.address = "Kapalıçarşı No=12; İç Bedesten";
    full.phone = "+90 224 000 00 00";
    QVERIFY(user.addCustomer(full, false));
    CustomerInfo plain;
    plain.ident = 10000000146;
    plain.name = "ZEYNEP AK";
    QVERIFY(user.addCustomer(plain, false));

    const CustomerInfo back = user.getCustomer(full.ident);
    QCOMPARE(back.name, full.name);
    QCOMPARE(back.city, full.city);
    QCOMPARE(back.district, full.district);
    QCOMPARE(back.taxoffice, full.taxoffice);
    QCOMPARE(back.country, full.country);
    QCOMPARE(back.address, QString("Kapalıçarşı No=12 İç Bedesten"));
    QCOMPARE(back.phone, full.phone);

    // Byte order of the stored text: "Ç" (UTF-8 0xC3...) after "Z".
    const QList<CustomerInfo> all = user.getAllCustomers();
    QCOMPARE(all.size(), 2);
    QCOMPARE(all[0].ident, plain.ident);
    QCOMPARE(all[1].ident, full.ident);
    QCOMPARE(all[1].district, full.district);
}

QTEST_GUILESS_MAIN(TestCustomers)
#include "tst_customers.moc"
