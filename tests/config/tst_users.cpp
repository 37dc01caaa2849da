#include "common/testdata.h"
#include "config/config.h"
#include "config/password.h"

#include <QJsonArray>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QtTest>

Q_DECLARE_METATYPE(Ratio)

class TestUsers : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void passwords_data();
    void passwords();
    void plainPasswordIsEncryptedOnSave();
    void longPlainPasswordLoadsAsStored();
    void saveAndLoadRoundTrip();
    void saveIsAllOrNothing_data();
    void saveIsAllOrNothing();
    void laborTaxRatio_data();
    void laborTaxRatio();
    void loadDefaultsAndFilters();
    void loginRules();
    void addUserWithExistingNameKeepsOldRows();
    void settingsVersion();
    void settingsVersionTracksStoredSettings_data();
    void settingsVersionTracksStoredSettings();
    void webSettingsAllOrNothing();
    void fromJOWritesOnlyWebAndMobile();
    void appSettings_data();
    void appSettings();
};

namespace {

// Every stored row of one user, to tell whether a save left a trace.
QStringList snapshot(QSqlDatabase db, int uid)
{
    QStringList rows;
    const char *queries[] = {
        "SELECT sec, key, val FROM params WHERE uid = ? ORDER BY sec, key",
        "SELECT name, pass, base FROM users WHERE uid = ?",
        "SELECT id, carat, cname, pname, lname, cfnum, cfden, required FROM carats WHERE uid = ? ORDER BY id",
        "SELECT cid, minperc FROM clist WHERE uid = ? ORDER BY cid",
    };
    for (const char *sql : queries) {
        QSqlQuery q(db);
        q.prepare(QLatin1String(sql));
        q.addBindValue(uid);
        if (!q.exec())
            return {QStringLiteral("query failed: ") + QLatin1String(sql)};
        while (q.next()) {
            QStringList fields;
            for (int i = 0; i < q.record().count(); ++i)
                fields << q.value(i).toString();
            rows << fields.join(QLatin1Char('|'));
        }
    }
    return rows;
}

} // namespace

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

void TestUsers::longPlainPasswordLoadsAsStored()
{
    // Long enough to decode to 8 bytes or more, so the checksum is tried and fails.
    TestDataDir data;
    Config config(false);
    QSqlQuery q(config.userDb);
    QVERIFY(q.exec("UPDATE users SET name = 'demo', pass = 'uzunDuzParola2024' WHERE uid = 0"));
    QTest::ignoreMessage(QtDebugMsg, "Password decryption checksum mismatch for user 0");
    config.localUser.load();
    QCOMPARE(config.localUser.pass, QString("uzunDuzParola2024"));
    QVERIFY(config.localUser.save());
    QVERIFY(q.exec("SELECT pass FROM users WHERE uid = 0") && q.next());
    QCOMPARE(q.value(0).toString(), encryptPassword("uzunDuzParola2024", 0));
    config.localUser.pass.clear();
    QVERIFY(config.localUser.load());
    QCOMPARE(config.localUser.pass, QString("uzunDuzParola2024"));
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

void TestUsers::saveIsAllOrNothing_data()
{
    // Each trigger blocks one step of the save; every step before it has written by then.
    QTest::addColumn<QString>("trigger");
    QTest::newRow("no failure") << QString();
    QTest::newRow("company row") << "BEFORE INSERT ON params WHEN NEW.sec = 'company'";
    QTest::newRow("account row") << "BEFORE UPDATE ON users";
    QTest::newRow("carat line") << "BEFORE INSERT ON carats";
    QTest::newRow("line list") << "BEFORE INSERT ON clist";
    QTest::newRow("app settings") << "BEFORE INSERT ON params WHEN NEW.sec = 'app'";
    QTest::newRow("labour settings") << "BEFORE INSERT ON params WHEN NEW.sec = 'labor'";
}

void TestUsers::saveIsAllOrNothing()
{
    QFETCH(QString, trigger);
    TestDataDir data;
    Config config(false);
    QVERIFY(config.ok);
    QSqlQuery q(config.userDb);
    if (!trigger.isEmpty())
        QVERIFY(q.exec("CREATE TRIGGER blocked " + trigger + " BEGIN SELECT RAISE(ABORT, 'blocked'); END"));
    const QStringList before = snapshot(config.userDb, 0);

    User &user = config.localUser;
    QVERIFY(user.carats.size() > 2);
    user.company.Company = "Yeni Unvan";
    user.pass = "yeni";
    user.carats[1].cname = "Yeni Ayar";
    user.carats[2].enabled = false;
    user.theme = "Fusion";
    user.labor.unitmax = 777;

    QCOMPARE(user.save(), trigger.isEmpty());
    if (trigger.isEmpty()) {
        QVERIFY(snapshot(config.userDb, 0) != before);
        return;
    }
    QCOMPARE(snapshot(config.userDb, 0), before);
    QCOMPARE(user.company.Company, QString("Yeni Unvan"));   // the object keeps its unsaved changes
    QCOMPARE(user.labor.unitmax, 777);
    // Once the cause is gone the same object saves.
    QVERIFY(q.exec("DROP TRIGGER blocked"));
    QVERIFY(user.save());
    QVERIFY(user.load());
    QCOMPARE(user.carats[1].cname, QString("Yeni Ayar"));
    QVERIFY(!user.carats[2].enabled);
    QCOMPARE(user.pass, QString("yeni"));
}

void TestUsers::laborTaxRatio_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<Ratio>("loaded");
    QTest::addColumn<Ratio>("saved");
    QTest::addColumn<QString>("savedText");
    QTest::newRow("18 per cent") << "18" << Ratio(9, 50) << Ratio(9, 50) << "18";
    QTest::newRow("0 keeps the default") << "0" << Ratio(1, 5) << Ratio(1, 5) << "20";
    QTest::newRow("text keeps the default") << "yirmi" << Ratio(1, 5) << Ratio(1, 5) << "20";
    QTest::newRow("a zero ratio is saved as 20") << "18" << Ratio(9, 50) << Ratio(0, 1) << "20";
    QTest::newRow("no denominator is saved as 20") << "18" << Ratio(9, 50) << Ratio::raw(3, 0) << "20";
}

void TestUsers::laborTaxRatio()
{
    QFETCH(QString, stored);
    QFETCH(Ratio, loaded);
    QFETCH(Ratio, saved);
    QFETCH(QString, savedText);
    TestDataDir data;
    Config config(true);
    User *user = config.addUser(QStringLiteral("vergi"));
    QVERIFY(user);
    QVERIFY(user->saveParam("labor", "taxratio", stored));
    QVERIFY(user->load());
    QCOMPARE(user->labor.taxratio, loaded);
    user->labor.taxratio = saved;
    QVERIFY(user->save());
    QCOMPARE(user->readParam("labor", "taxratio"), savedText);
}

void TestUsers::loadDefaultsAndFilters()
{
    TestDataDir data;
    Config config(false);
    User &user = config.localUser;
    QVERIFY(user.saveParam("app", "description", ""));
    QVERIFY(user.saveParam("app", "filterlist", ""));
    QVERIFY(user.saveParam("app", "autofilter", "0"));
    QVERIFY(user.saveParam("company", "Company", "Öz Çağlar Kuyumculuk Ticaret Limited"));
    QVERIFY(user.saveParam("company", "FirstName", ""));
    QVERIFY(user.saveParam("company", "LastName", ""));
    user.filters.clear();
    QVERIFY(user.load());
    QCOMPARE(user.description, QString("KREDİ KARTI SATIŞI"));
    QCOMPARE(user.filters, QStringList{"OZ CAGLAR KUYUMCULUK"});
    QVERIFY(user.load());   // a reload does not add the entry again
    QCOMPARE(user.filters, QStringList{"OZ CAGLAR KUYUMCULUK"});

    QVERIFY(user.saveParam("app", "filterlist", ";ALTIN;;KIRA;"));
    QVERIFY(user.load());
    QCOMPARE(user.filters, (QStringList{"ALTIN", "KIRA"}));
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
    QCOMPARE(config.getUser(QStringLiteral("ali"), QStringLiteral("dogru ")), nullptr);   // exact match only
    QCOMPARE(config.getUser(QStringLiteral("ali"), QStringLiteral("DOGRU")), nullptr);
    QCOMPARE(config.getUser(QString(), QString()), nullptr);
    QCOMPARE(config.findUserId("ali"), uid);

    // The template user never logs in, even with a name and password of its own.
    User *templateUser = config.getUser(0);
    QVERIFY(templateUser);
    templateUser->name = "sablon";
    templateUser->pass = "gizli";
    QVERIFY(templateUser->save());
    QCOMPARE(config.getUser(QStringLiteral("sablon"), QStringLiteral("gizli")), nullptr);

    // A new account has no password yet: an empty one does not open it.
    User *fresh = config.addUser(QStringLiteral("yeni"));
    QVERIFY(fresh);
    QCOMPARE(config.getUser(QStringLiteral("yeni"), QString()), nullptr);

    // The same name again replaces the account row under a new uid.
    User *replaced = config.addUser(QStringLiteral("ali"));
    QVERIFY(replaced && replaced->uid != uid);
}

void TestUsers::addUserWithExistingNameKeepsOldRows()
{
    TestDataDir data;
    Config config(true);
    User *first = config.addUser(QStringLiteral("ayni"));
    QVERIFY(first);
    const int oldUid = first->uid;
    QVERIFY(first->saveParam("web", "k", "v"));
    User *second = config.addUser(QStringLiteral("ayni"));
    QVERIFY(second && second->uid != oldUid);
    QCOMPARE(config.findUserId("ayni"), second->uid);
    QSqlQuery q(config.userDb);
    QVERIFY(q.exec(QStringLiteral("SELECT (SELECT COUNT(*) FROM carats WHERE uid = %1), "
                                  "(SELECT COUNT(*) FROM params WHERE uid = %1 AND sec = 'web')").arg(oldUid)));
    QVERIFY(q.next());
    QVERIFY(q.value(0).toInt() > 0);
    QCOMPARE(q.value(1).toInt(), 1);
    // The replaced account has no users row, so it no longer loads.
    QCOMPARE(config.addUser(oldUid), nullptr);
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

void TestUsers::settingsVersionTracksStoredSettings_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("changesVersion");
    QTest::newRow("company") << "UPDATE params SET val = 'X' WHERE uid = %1 AND sec = 'company' AND key = 'Company'"
                             << true;
    QTest::newRow("app") << "UPDATE params SET val = 'Fusion' WHERE uid = %1 AND sec = 'app' AND key = 'theme'"
                         << true;
    QTest::newRow("labour") << "UPDATE params SET val = '301' WHERE uid = %1 AND sec = 'labor' AND key = 'unitmin'"
                            << true;
    QTest::newRow("web") << "INSERT INTO params (uid, sec, key, val) VALUES (%1, 'web', 'k', 'v')" << true;
    QTest::newRow("line list") << "UPDATE clist SET minperc = 10 WHERE uid = %1 AND cid = 1" << true;
    QTest::newRow("password") << "UPDATE users SET pass = 'x' WHERE uid = %1" << true;
    QTest::newRow("mobile") << "INSERT INTO params (uid, sec, key, val) VALUES (%1, 'mobile', 'k', 'v')" << false;
    QTest::newRow("line names") << "UPDATE carats SET cname = 'Yeni' WHERE uid = %1" << false;
    QTest::newRow("another user")
        << "INSERT OR REPLACE INTO params (uid, sec, key, val) VALUES (0, 'company', 'Company', 'X')" << false;
}

void TestUsers::settingsVersionTracksStoredSettings()
{
    QFETCH(QString, change);
    QFETCH(bool, changesVersion);
    TestDataDir data;
    Config config(true);
    User *user = config.addUser(QStringLiteral("surum"));
    QVERIFY(user);
    user->company.Company = "Eski";
    QVERIFY(user->save());
    const int before = user->getSettingsVersion();
    QSqlQuery q(config.userDb);
    QVERIFY(q.exec(change.contains("%1") ? change.arg(user->uid) : change));
    QVERIFY(q.numRowsAffected() > 0);
    QCOMPARE(user->getSettingsVersion() != before, changesVersion);

    // Nothing stored at all gives 1.
    QCOMPARE(User(&config, 987654).getSettingsVersion(), 1);
}

void TestUsers::webSettingsAllOrNothing()
{
    TestDataDir data;
    Config config(false);
    QSqlQuery q(config.userDb);
    // Keys are written in key order: "a" is in before "b" fails.
    QVERIFY(q.exec("CREATE TRIGGER blocked BEFORE INSERT ON params WHEN NEW.key = 'b' "
                   "BEGIN SELECT RAISE(ABORT, 'blocked'); END"));
    QVERIFY(!config.localUser.setWebSettings(QJsonObject{{"b", "2"}, {"a", "1"}}));
    QVERIFY(config.localUser.getWebSettings().isEmpty());
    QVERIFY(config.localUser.setMobileSettings(QJsonObject{{"a", "1"}}));
    QCOMPARE(config.localUser.getMobileSettings(), (QJsonObject{{"a", "1"}}));
}

void TestUsers::fromJOWritesOnlyWebAndMobile()
{
    TestDataDir data;
    Config config(false);
    User &user = config.localUser;
    QJsonObject settings = user.toJO();
    QJsonObject company = settings.value("company").toObject();
    company.insert("Company", "JSON Kuyumculuk");
    settings.insert("company", company);
    settings.insert("web", QJsonObject{{"lang", "tr"}});
    settings.insert("app", QJsonObject{{"theme", "Fusion"}});
    QVERIFY(user.fromJO(settings));
    QCOMPARE(user.company.Company, QString("JSON Kuyumculuk"));
    QCOMPARE(user.theme, QString("Fusion"));
    QCOMPARE(user.readParam("web", "lang"), QString("tr"));   // written at once
    QVERIFY(user.readParam("company", "Company").isEmpty());   // only with the next save
    QVERIFY(user.readParam("app", "theme") != "Fusion");
    QVERIFY(user.save());
    QCOMPARE(user.readParam("company", "Company"), QString("JSON Kuyumculuk"));
    QCOMPARE(user.toJO().value("hash").toInt(), user.getSettingsVersion());
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
