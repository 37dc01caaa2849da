#include "config/config.h"
#include "common/testdata.h"

#include <QSqlQuery>
#include <QtTest>

namespace {

QVariant scalar(const QString &dbFile, const QString &sql)
{
    QVariant value;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "inspect");
        db.setDatabaseName(dbFile);
        if (db.open()) {
            QSqlQuery q(db);
            if (q.exec(sql) && q.next())
                value = q.value(0);
        }
    }
    QSqlDatabase::removeDatabase("inspect");
    return value;
}

bool execOn(const QString &dbFile, const QStringList &statements)
{
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "modify");
        db.setDatabaseName(dbFile);
        ok = db.open();
        QSqlQuery q(db);
        for (const QString &s : statements)
            ok = ok && q.exec(s);
    }
    QSqlDatabase::removeDatabase("modify");
    return ok;
}

} // namespace

class TestConfig : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void firstStartSeedsTheTemplateUser();
    void secondStartSeedsNothingNew();
    void failingStarts_data();
    void failingStarts();
    void confWithoutCaratsWorksOnceUserHasLines();
    void apostropheInPath();
    void shippedDataIsUseful();
    void wordLists_data();
    void wordLists();
    void serverUrl_data();
    void serverUrl();
    void caratRows();
    void repairTurnsLinesIntoGramLines();
    void restoreDefaults();
    void nameTableExample();
    void nameTableRoundTrip();
};

void TestConfig::firstStartSeedsTheTemplateUser()
{
    TestDataDir data;
    {
        Config config(false);
        QVERIFY(config.ok);
        QCOMPARE(config.totalWidth, 1465);
        QCOMPARE(config.columns.size(), 13);
        QVERIFY(QFile::exists(data.file("user.db")));
        QVERIFY(QFile::exists(data.file("rate.db")));
        QVERIFY(config.localUser.carats.size() > 1);
        for (const CaratConfig &line : config.localUser.carats) {
            if (line.index > 0)
                QVERIFY2(line.enabled, qPrintable(line.cname));
        }
        QCOMPARE(config.localUser.description, QString("KREDİ KARTI SATIŞI"));
        QCOMPARE(config.localUser.labor.taxratio, Ratio(1, 5));
    }
    const QString user = data.file("user.db");
    const int lines = scalar(data.file("conf.db"), "SELECT COUNT(*) FROM carats").toInt();
    QCOMPARE(scalar(user, "SELECT COUNT(*) FROM carats WHERE uid = 0").toInt(), lines);
    QCOMPARE(scalar(user, "SELECT COUNT(*) FROM clist WHERE uid = 0 AND minperc = 0").toInt(), lines);
    QCOMPARE(scalar(user, "SELECT COUNT(*) FROM params WHERE uid = 0 AND sec = 'app'").toInt(), 6);
    QCOMPARE(scalar(user, "SELECT COUNT(*) FROM params WHERE uid = 0 AND sec = 'labor'").toInt(), 4);
    QCOMPARE(scalar(user, "SELECT val FROM params WHERE uid = 0 AND key = 'unitmax'").toString(), QString("500"));
    QCOMPARE(scalar(user, "SELECT name FROM users WHERE uid = 0").toString(), QString(""));
    QCOMPARE(scalar(user, "SELECT COUNT(*) FROM sqlite_master WHERE name LIKE 'idx_sessions_%'").toInt(), 2);
    QCOMPARE(scalar(data.file("rate.db"), "SELECT COUNT(*) FROM sqlite_master WHERE name = 'currency'").toInt(), 1);
}

void TestConfig::secondStartSeedsNothingNew()
{
    TestDataDir data;
    { Config config(false); QVERIFY(config.ok); }
    QVERIFY(execOn(data.file("user.db"), {"UPDATE params SET val = 'Fusion' WHERE uid = 0 AND key = 'theme'",
                                          "DELETE FROM clist WHERE uid = 0 AND cid = 2"}));
    Config config(false);
    QVERIFY(config.ok);
    QCOMPARE(config.localUser.theme, QString("Fusion"));
    QVERIFY(!config.localUser.carats[2].enabled);   // a switched-off line stays off
}

void TestConfig::failingStarts_data()
{
    QTest::addColumn<bool>("withConf");
    QTest::addColumn<bool>("withNames");
    QTest::addColumn<QStringList>("confChanges");
    QTest::newRow("missing conf.db") << false << true << QStringList();
    QTest::newRow("missing data.db") << true << false << QStringList();
    QTest::newRow("conf.db without carats") << true << true << QStringList{"DROP TABLE carats"};
    QTest::newRow("conf.db without params") << true << true << QStringList{"DROP TABLE params"};
}

void TestConfig::failingStarts()
{
    QFETCH(bool, withConf);
    QFETCH(bool, withNames);
    QFETCH(QStringList, confChanges);
    TestDataDir data(withConf, withNames);
    if (!confChanges.isEmpty())
        QVERIFY(execOn(data.file("conf.db"), confChanges));
    Config config(false);
    QVERIFY(!config.ok);
    // A missing conf.db is never created in its place.
    QCOMPARE(QFile::exists(data.file("conf.db")), withConf);
}

void TestConfig::confWithoutCaratsWorksOnceUserHasLines()
{
    TestDataDir data;
    { Config config(false); QVERIFY(config.ok); }
    QVERIFY(execOn(data.file("conf.db"), {"DROP TABLE carats"}));
    Config config(false);
    QVERIFY(config.ok);
}

void TestConfig::apostropheInPath()
{
    TestDataDir data(true, true, "jeweller's data");
    Config config(false);
    QVERIFY(config.ok);
    QVERIFY(config.localUser.carats.size() > 1);
}

void TestConfig::shippedDataIsUseful()
{
    TestDataDir data;
    Config config(false);
    QVERIFY(config.ok);
    QVERIFY(config.names.size() > 5000);
    QVERIFY(config.names.value("MEHMET").first > 0);
    QVERIFY(config.names.value("YILMAZ").second > 0);
    // Statement vocabulary never reads as a name; real surnames that are jewellery words do.
    QVERIFY(!config.names.contains("BAKIYE"));
    QVERIFY(!config.names.contains("HAVALE"));
    QVERIFY(config.names.contains("ALTIN"));
    for (const FieldWordList &field : config.fields) {
        QVERIFY2(!field.words.isEmpty(), qPrintable(field.title));
        QCOMPARE(field.words, field.defaults);
    }
    QVERIFY(config.fields[CompFields].words.contains("KUYUMCULUK"));
    QVERIFY(config.fields[SelectNext].words.contains("GONDEREN"));
    QCOMPARE(config.getMilyemCarats(), (QList<int>{8, 9, 10, 14, 18, 21, 22, 24}));
    QVERIFY(!config["edm.host"].isEmpty());
    QVERIFY(!config["uyumsoft.testhost"].isEmpty());
    QVERIFY(!config["exchange.host"].isEmpty());
    QVERIFY(config.serverUrl.isEmpty());
    // Çeyrek: 1.75 g of 22 carat per piece.
    const CaratConfig &ceyrek = config.localUser.carats[3];
    QCOMPARE(ceyrek.cf, Ratio(7, 4));
    QCOMPARE(ceyrek.cfine, Ratio(229, 250));
    QCOMPARE(int(ceyrek.ctype), 0);
}

void TestConfig::wordLists_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QList<QByteArray>>("words");
    QTest::newRow("empty middle word") << "EFT::FAST" << QList<QByteArray>{"EFT", "", "FAST"};
    QTest::newRow("empty list") << "" << QList<QByteArray>{};
    QTest::newRow("outside Latin-1") << "ŞAHİN" << QList<QByteArray>{"?AH?N"};
    QTest::newRow("Latin-1 kept") << "ÇAĞ:Ü" << QList<QByteArray>{"\xc7" "A?", "\xdc"};
}

void TestConfig::wordLists()
{
    QFETCH(QString, stored);
    QFETCH(QList<QByteArray>, words);
    TestDataDir data;
    QVERIFY(execOn(data.file("conf.db"), {"UPDATE params SET val = '" + stored + "' WHERE sec = 'field' AND key = 'suspfields'"}));
    Config config(false);
    QVERIFY(config.ok);
    QCOMPARE(config.fields[SuspFields].words, words);

    // Saving writes the lists back; the stored defaults survive a reset.
    config.fields[SuspFields].words = {"YENI"};
    QVERIFY(config.saveParams());
    QCOMPARE(scalar(data.file("conf.db"), "SELECT val FROM params WHERE key = 'suspfields'").toString(), QString("YENI"));
    QVERIFY(config.resetToDefaults());
    QCOMPARE(scalar(data.file("conf.db"), "SELECT val FROM params WHERE key = 'suspfields'").toString(),
             scalar(data.file("conf.db"), "SELECT def FROM params WHERE key = 'suspfields'").toString());
}

void TestConfig::serverUrl_data()
{
    QTest::addColumn<QString>("schm");
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("url");
    QTest::newRow("no host") << "https" << "" << "14441" << "";
    QTest::newRow("no port") << "https" << "example.test" << "" << "https://example.test";
    QTest::newRow("full") << "http" << "127.0.0.1" << "14441" << "http://127.0.0.1:14441";
}

void TestConfig::serverUrl()
{
    QFETCH(QString, schm);
    QFETCH(QString, host);
    QFETCH(QString, port);
    QFETCH(QString, url);
    TestDataDir data;
    QVERIFY(execOn(data.file("conf.db"), {"UPDATE params SET val = '" + schm + "' WHERE sec = 'server' AND key = 'schm'",
                                          "UPDATE params SET val = '" + host + "' WHERE sec = 'server' AND key = 'host'",
                                          "UPDATE params SET val = '" + port + "' WHERE sec = 'server' AND key = 'port'"}));
    Config config(true);
    QVERIFY(config.ok);
    QCOMPARE(config.serverUrl, url);
}

void TestConfig::caratRows()
{
    TestDataDir data;
    Config config(false);
    QVERIFY(config.ok);
    const int uid = 7;
    QCOMPARE(config.insertCaratRow(22, "a", "b", "c", 0, 1, 0, uid), 1);
    QCOMPARE(config.insertCaratRow(22, "a", "b", "c", 0, 1, 0, uid), 2);
    QVERIFY(config.deleteCaratRow(1, uid));
    CaratConfig seventh = CaratConfig::fromStored(7, 14, "x", "y", "z", 0, 1, false, 585);
    QVERIFY(config.updateCaratRow(seventh, uid));
    CaratConfig fifth = CaratConfig::fromStored(5, 22, "coin", "y", "z", 7, 4, false, 916);
    QVERIFY(config.updateCaratRow(fifth, uid));
    QCOMPARE(config.insertCaratRow(22, "a", "b", "c", 0, 1, 0, uid), 8);

    const CaratConfigList list = config.getCaratConfigList(uid);
    QCOMPARE(list.size(), 9);
    for (int i : {0, 1, 3, 4, 6})
        QCOMPARE(int(list[i].index), 0);
    QCOMPARE(list[5].cf, Ratio(7, 4));
    QCOMPARE(int(list[7].ctype), 1);
    QVERIFY(!list[7].enabled);   // lines are offered only through the user's list

    // A negative uid means the desktop user.
    QCOMPARE(config.getCaratConfigList(-1).size(), config.localUser.carats.size());
}

void TestConfig::repairTurnsLinesIntoGramLines()
{
    TestDataDir data;
    { Config config(false); QVERIFY(config.ok); }
    // The user made line 1 (sold by the gram in conf.db) a piece of 2 g.
    QVERIFY(execOn(data.file("user.db"), {"UPDATE carats SET cfnum = 2 WHERE id = 1",
                                          "INSERT INTO carats VALUES (4, 1, 22, 'x', 'y', 'z', 3, 1, 0)"}));
    Config config(false);
    QVERIFY(config.ok);
    QCOMPARE(scalar(data.file("user.db"), "SELECT COUNT(*) FROM carats WHERE id = 1 AND cfnum = 0").toInt(), 2);
    QCOMPARE(int(config.localUser.carats[1].ctype), 1);
}

void TestConfig::restoreDefaults()
{
    TestDataDir data;
    Config config(false);
    QVERIFY(config.ok);
    QVERIFY(config.deleteCaratRow(3, 0));
    QVERIFY(config.insertCaratRow(22, "extra", "p", "l", 0, 1, 0, 0) > 0);
    QVERIFY(execOn(data.file("user.db"), {"UPDATE clist SET minperc = 40 WHERE uid = 0"}));
    QVERIFY(config.restoreUserCaratDefaults(0));
    const int lines = scalar(data.file("conf.db"), "SELECT COUNT(*) FROM carats").toInt();
    QCOMPARE(scalar(data.file("user.db"), "SELECT COUNT(*) FROM carats WHERE uid = 0").toInt(), lines);
    QCOMPARE(scalar(data.file("user.db"), "SELECT COUNT(*) FROM clist WHERE uid = 0 AND minperc = 0").toInt(), lines);
    int enabled = 0;
    for (const CaratConfig &line : config.localUser.carats)
        enabled += line.enabled && line.index > 0;
    QCOMPARE(enabled, lines);
}

void TestConfig::nameTableExample()
{
    // 5 bytes hold the units 3, 7, 4, 1, 12, 9, 11, 0: one name, ALIK, with points 3 and 7.
    quint64 bits = 0;
    for (int u : {3, 7, 4, 1, 12, 9, 11, 0})
        bits = (bits << 5) | quint64(u);
    QByteArray bytes;
    for (int i = 4; i >= 0; --i)
        bytes.append(char((bits >> (8 * i)) & 0xFF));
    const auto table = Config::unpackNameTable(bytes);
    QCOMPARE(table.size(), 1);
    QCOMPARE(table.value("ALIK"), NamePoints(3, 7));

    // A zero length stores the empty name.
    const auto empty = Config::unpackNameTable(QByteArray(5, '\0'));
    QVERIFY(empty.contains(QByteArray()));
    QVERIFY(Config::unpackNameTable(QByteArray()).isEmpty());
}

void TestConfig::nameTableRoundTrip()
{
    const QList<QPair<QByteArray, NamePoints>> entries{
        {"AHMET", {31, 0}}, {"YILMAZ", {27, 31}}, {"AL", {0, 5}}, {"ABDURRAHMANGAZI", {3, 1}}, {"AHMET", {30, 2}},
    };
    const auto table = Config::unpackNameTable(Config::packNameTable(entries));
    QCOMPARE(table.size(), 4);
    QCOMPARE(table.value("AHMET"), NamePoints(30, 2));   // a later record replaces an earlier one
    QCOMPARE(table.value("AL"), NamePoints(0, 5));
    QCOMPARE(table.value("ABDURRAHMANGAZI"), NamePoints(3, 1));

    // The same through the file the store reads.
    TestDataDir data(true, false);
    QFile file(data.file("data.db"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(Config::packNameTable(entries));
    file.close();
    Config config(false);
    QVERIFY(config.ok);
    QCOMPARE(config.names, table);
}

QTEST_GUILESS_MAIN(TestConfig)
#include "tst_config.moc"
