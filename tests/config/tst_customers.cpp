#include "common/testdata.h"
#include "config/config.h"

#include <QtTest>

class TestCustomers : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void address_data();
    void address();
    void directory();
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
    QVERIFY(user.addCustomer(changed, false));   // the stored customer wins
    QCOMPARE(user.getCustomer(ayse.ident).city, QString("İzmir"));
    QVERIFY(user.updateCustomer(changed));
    QCOMPARE(user.getCustomer(ayse.ident).city, QString("Ankara"));

    QCOMPARE(user.findCustomerIdent("AYSE YILMAZ"), ayse.ident);
    CustomerInfo namesake = ayse;
    namesake.ident = 1234567890;
    QVERIFY(user.addCustomer(namesake, false));
    QCOMPARE(user.findCustomerIdent("AYSE YILMAZ"), 0);   // ambiguous
    QVERIFY(user.getCustomer("AYSE YILMAZ").ident != 0);

    // Unknown number, known name: the named customer with its own number.
    QVERIFY(user.getCustomer(99999999999, "AYSE YILMAZ").ident != 99999999999);
    QCOMPARE(user.getCustomer(99999999999, "NOBODY").ident, 0);

    QVERIFY(!user.addCustomer(CustomerInfo(), true));
    QVERIFY(!user.deleteCustomer(555));
    QVERIFY(user.deleteCustomer(namesake.ident));
    QCOMPARE(user.getAllCustomers().size(), 1);

    // Another user's directory is separate.
    User other(&config, 9);
    QVERIFY(other.getAllCustomers().isEmpty());
}

QTEST_GUILESS_MAIN(TestCustomers)
#include "tst_customers.moc"
