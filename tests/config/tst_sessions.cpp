#include "common/testdata.h"
#include "config/config.h"

#include <QRegularExpression>
#include <QSqlQuery>
#include <QtTest>

class TestSessions : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void tokenShape();
    void expiry_data();
    void expiry();
    void cleanupRemovesOnlyExpired();
    void deletedUserHasNoSession();
    void lastLogin();
    void serverTokenSurvivesRestart();

private:
    static void age(Config &config, const QString &token, int days)
    {
        QSqlQuery q(config.userDb);
        q.prepare("UPDATE sessions SET mtime = datetime('now', ?) WHERE sid = ?");
        q.addBindValue(QStringLiteral("-%1 days").arg(days));
        q.addBindValue(token);
        QVERIFY(q.exec());
    }
};

void TestSessions::tokenShape()
{
    TestDataDir data;
    Config config(true);
    QVERIFY(config.ok);
    const QString a = config.createSession(5);
    const QString b = config.createSession(5);
    const QString c = config.createSession(5 + 16777216);
    const QString other = config.createSession(6);
    for (const QString &t : {a, b, c, other}) {
        QCOMPARE(t.size(), 47);
        QVERIFY(QRegularExpression("^[A-Za-z0-9_-]+$").match(t).hasMatch());
    }
    QVERIFY(a != b);
    QCOMPARE(a.right(4), b.right(4));      // the uid is encoded at the end
    QCOMPARE(a.right(4), c.right(4));      // only its low 24 bits
    QVERIFY(a.right(4) != other.right(4));
    QCOMPARE(config.validateSession(a), 5);
    QCOMPARE(config.validateSession(QString()), 0);
    QCOMPARE(config.validateSession("nope"), 0);
}

void TestSessions::expiry_data()
{
    QTest::addColumn<int>("idleDays");
    QTest::addColumn<bool>("valid");
    QTest::newRow("29 days") << 29 << true;
    QTest::newRow("30 days") << 30 << false;
    QTest::newRow("31 days") << 31 << false;
}

void TestSessions::expiry()
{
    QFETCH(int, idleDays);
    QFETCH(bool, valid);
    TestDataDir data;
    Config config(true);
    const QString token = config.createSession(3);
    age(config, token, idleDays);
    QCOMPARE(config.validateSession(token), valid ? 3 : 0);

    QSqlQuery q(config.userDb);
    q.prepare("SELECT mtime > datetime('now', '-1 minute') FROM sessions WHERE sid = ?");
    q.addBindValue(token);
    QVERIFY(q.exec());
    QVERIFY(q.next());   // an expired token is refused while its row still exists
    QCOMPARE(q.value(0).toBool(), valid);   // use renews the token, refusal does not
    if (valid) {
        age(config, token, 29);   // 29 more idle days after the renewal
        QCOMPARE(config.validateSession(token), 3);
    }
}

void TestSessions::cleanupRemovesOnlyExpired()
{
    TestDataDir data;
    Config config(true);
    const QString fresh = config.createSession(2);
    const QString stale = config.createSession(2);
    age(config, stale, 40);
    QVERIFY(config.cleanupOldSessions());
    QSqlQuery q(config.userDb);
    QVERIFY(q.exec("SELECT COUNT(*) FROM sessions"));
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toInt(), 1);
    QCOMPARE(config.validateSession(fresh), 2);
}

void TestSessions::deletedUserHasNoSession()
{
    TestDataDir data;
    Config config(true);
    const QString token = config.createSession(77);   // no users row for uid 77
    QCOMPARE(config.validateSession(token), 77);
    QCOMPARE(config.getUser(token), nullptr);
}

void TestSessions::lastLogin()
{
    TestDataDir data;
    Config config(true);
    QCOMPARE(config.getUserLastLoginTimestamp(0), 0);
    QVERIFY(config.updateUserLastLoginTimestamp(0, 1765400000123));
    QCOMPARE(config.getUserLastLoginTimestamp(0), 1765400000123);
    QCOMPARE(config.getUserLastLoginTimestamp(999), 0);
}

void TestSessions::serverTokenSurvivesRestart()
{
    TestDataDir data;
    {
        Config config(false);
        config.setServerToken("link-token");
    }
    {
        Config config(false);
        QCOMPARE(config.serverToken, QString("link-token"));
        config.setServerToken(QString());
    }
    Config config(false);
    QVERIFY(config.serverToken.isEmpty());
}

QTEST_GUILESS_MAIN(TestSessions)
#include "tst_sessions.moc"
