#include "common/testdata.h"
#include "config/config.h"
#include "config/password.h"

#include <QJsonArray>
#include <QSqlQuery>
#include <QtTest>

class TestUsers : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void passwords_data();
    void passwords();
    void plainPasswordIsEncryptedOnSave();
    void saveAndLoadRoundTrip();
    void saveIsAllOrNothing();
    void loginRules();
    void settingsVersion();
    void appSettings_data();
    void appSettings();
};

void TestUsers::passwords_data()
{
    QTest::addColumn<QString>("password");
    QTest::newRow("ascii") << "secret";
    QTest::newRow("turkish and symbols") << "Şifre+/=<&>ığü";
    QTest::newRow("long") << QString(200, QLatin1Char('x'));
}

void TestUsers::passwords()
{
    QFETCH(QString, password);
    const QString stored = encryptPassword(password, 7);
    QVERIFY(!stored.contains('+') && !stored.contains('/') && !stored.contains('='));
    QCOMPARE(decryptPassword(stored, 7), password);
    // Another uid's key fails the checksum: the stored text is used as it is.
    QTest::ignoreMessage(QtDebugMsg, "Password decryption checksum mismatch for user 8");
    QCOMPARE(decryptPassword(stored, 8), stored);
    QCOMPARE(encryptPassword("ENC:typed", 7), QString("ENC:typed"));
    QCOMPARE(encryptPassword(QString(), 7), QString());
}

void TestUsers::plainPasswordIsEncryptedOnSave()
{
    TestDataDir data;
    Config config(false);
    QSqlQuery q(config.userDb);
    QVERIFY(q.exec("UPDATE users SET name = 'demo', pass = 'short', base = 'edm' WHERE uid = 0"));
    QVERIFY(config.localUser.load());
    QCOMPARE(config.localUser.pass, QString("short"));
    QVERIFY(config.localUser.integratorType == IntegratorType::EDM);
    QVERIFY(config.localUser.save());
    QVERIFY(q.exec("SELECT pass FROM users WHERE uid = 0") && q.next());
    QVERIFY(q.value(0).toString() != "short");
    QCOMPARE(decryptPassword(q.value(0).toString(), 0), QString("short"));
}

void TestUsers::saveAndLoadRoundTrip()
{
    TestDataDir data;
    Config config(true);
    User *user = config.addUser(QStringLiteral("kuyumcu"));
    QVERIFY(user);
    QVERIFY(user->uid > 0);
    QVERIFY(user->carats.size() > 1);   // seeded from the template user
    user->company.Company = "Demir Kuyumculuk";
    user->labor.taxratio = Ratio(18, 100);
    user->carats[2].enabled = false;
    user->pass = "p";
    QVERIFY(config.saveUserSettings(user->uid));
    const int uid = user->uid;
    QVERIFY(config.loadAllUsers());
    User *again = config.getUser(uid);
    QVERIFY(again);
    QCOMPARE(again->company.Company, QString("Demir Kuyumculuk"));
    QCOMPARE(again->labor.taxratio, Ratio(9, 50));
    QCOMPARE(again->labor.toJO().value("taxratio").toString(), QString("18"));
    QVERIFY(!again->carats[2].enabled);
    QVERIFY(again->carats[1].enabled);
    QCOMPARE(again->pass, QString("p"));
}

void TestUsers::saveIsAllOrNothing()
{
    TestDataDir data;
    Config config(false);
    QSqlQuery q(config.userDb);
    QVERIFY(q.exec("CREATE TRIGGER no_labor BEFORE INSERT ON params WHEN NEW.sec = 'labor' "
                   "BEGIN SELECT RAISE(ABORT, 'blocked'); END"));
    config.localUser.company.Company = "Yeni Unvan";
    config.localUser.labor.unitmax = 777;
    QVERIFY(!config.localUser.save());
    QVERIFY(q.exec("SELECT COUNT(*) FROM params WHERE sec = 'company' AND val = 'Yeni Unvan'") && q.next());
    QCOMPARE(q.value(0).toInt(), 0);
}

void TestUsers::loginRules()
{
    TestDataDir data;
    Config config(true);
    User *user = config.addUser(QStringLiteral("ali"));
    user->pass = "dogru";
    QVERIFY(config.saveUserSettings(user->uid));
    const int uid = user->uid;
    QCOMPARE(config.getUser(QStringLiteral("ali"), QStringLiteral("dogru"))->uid, uid);
    QCOMPARE(config.getUser(QStringLiteral("ali"), QStringLiteral("yanlis")), nullptr);
    QCOMPARE(config.getUser(QString(), QString()), nullptr);   // the template user never logs in
    QCOMPARE(config.findUserId("ali"), uid);

    // The same name again replaces the account row under a new uid.
    User *replaced = config.addUser(QStringLiteral("ali"));
    QVERIFY(replaced && replaced->uid != uid);
}

void TestUsers::settingsVersion()
{
    TestDataDir data;
    Config config(true);
    User *user = config.addUser(QStringLiteral("v"));
    const int first = user->getSettingsVersion();
    QVERIFY(first > 0 && first < 1000000);
    QVERIFY(user->setMobileSettings(QJsonObject{{"k", "x"}}));
    QCOMPARE(user->getSettingsVersion(), first);   // mobile keys do not count
    QVERIFY(user->setWebSettings(QJsonObject{{"k", "x"}, {"n", 5}}));
    QVERIFY(user->getSettingsVersion() != first);
    QCOMPARE(user->getWebSettings().value("n").toString(), QString(""));
    QCOMPARE(user->toJO().value("user").toObject().value("pass").toString(), QString(""));
}

void TestUsers::appSettings_data()
{
    QTest::addColumn<QJsonObject>("input");
    QTest::addColumn<int>("combine");
    QTest::addColumn<QString>("filterlist");
    QTest::newRow("combine as number reads 0") << QJsonObject{{"combine", 2}} << 0 << "";
    QTest::newRow("combine as text") << QJsonObject{{"combine", "2"}} << 2 << "";
    QTest::newRow("filter words trimmed, others dropped")
        << QJsonObject{{"filterlist", QJsonArray{"  ALTIN ", "", 5, "KIRA"}}} << 0 << "ALTIN;KIRA";
}

void TestUsers::appSettings()
{
    QFETCH(QJsonObject, input);
    QFETCH(int, combine);
    QFETCH(QString, filterlist);
    TestDataDir data;
    Config config(false);
    config.localUser.setAppSettings(input);
    QCOMPARE(config.localUser.combine, combine);
    QCOMPARE(config.localUser.filterlist, filterlist);
}

QTEST_GUILESS_MAIN(TestUsers)
#include "tst_users.moc"
