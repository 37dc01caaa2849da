#include "common/testdata.h"
#include "config/config.h"
#include "config/configworker.h"
#include "fakes/fakeexchange.h"

#include <QPointer>
#include <QSqlQuery>
#include <QTcpServer>
#include <QtTest>

#include <atomic>
#include <memory>
#include <thread>

namespace {

std::atomic<qint64> fakeNowMs{0};

QDateTime at(const char *stamp)
{
    return QDateTime::fromString(QLatin1String(stamp), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

void setNow(const QDateTime &t)
{
    fakeNowMs = t.toMSecsSinceEpoch();
}

void advance(qint64 ms)
{
    fakeNowMs += ms;
}

QByteArray dayText(const QDate &d)
{
    return d.toString(QStringLiteral("yyyy-MM-dd")).toLatin1();
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

qint64 scalar(const QString &dbFile, const QString &sql)
{
    qint64 value = -1;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "inspect");
        db.setDatabaseName(dbFile);
        if (db.open()) {
            QSqlQuery q(db);
            if (q.exec(sql) && q.next())
                value = q.value(0).toLongLong();
        }
    }
    QSqlDatabase::removeDatabase("inspect");
    return value;
}

// One of the exchange's standard days: 2.345.678,90 / 2.300.000 / 2.400.000 / 2.350.000 TL/kg.
QByteArray standardDay()
{
    return FakeExchange::textBulletin("2.345.678,90", "2.300.000,00", "2.400.000,00", "2.350.000,00");
}

// A data directory, the fakes, and a Config whose every service address points at them.
struct Rig
{
    explicit Rig(bool serverMode = true, bool linked = false)
    {
        exchange.listen();
        server.listen();
        QStringList statements = {
            "UPDATE params SET val = 'http' WHERE sec = 'exchange' AND key = 'schm'",
            QString("UPDATE params SET val = '%1' WHERE sec = 'exchange' AND key IN ('host', 'livehost')")
                .arg(exchange.hostAndPort()),
        };
        if (linked) {
            statements << "UPDATE params SET val = 'http' WHERE sec = 'server' AND key = 'schm'"
                       << "UPDATE params SET val = '127.0.0.1' WHERE sec = 'server' AND key = 'host'"
                       << QString("UPDATE params SET val = '%1' WHERE sec = 'server' AND key = 'port'").arg(server.port());
        }
        execOn(data.file("conf.db"), statements);
        config = std::make_unique<Config>(serverMode);
    }

    ConfigWorker *worker() const { return config->mainWorker; }
    QString rateDb() const { return data.file("rate.db"); }
    qint64 storedRows(const QByteArray &date) const
    {
        return scalar(rateDb(), QString("SELECT COUNT(*) FROM currency WHERE CAST(date AS TEXT) = '%1'")
                                    .arg(QString::fromLatin1(date)));
    }
    CurrencyData cached(const QByteArray &date) const
    {
        QMutexLocker lock(&config->cacheMutex);
        return config->rateCache.value(date);
    }

    TestDataDir data;
    FakeExchange exchange;
    FakeLinkedServer server;
    std::unique_ptr<Config> config;
};

const QByteArray wednesday = "2024-06-12";   // "today" unless a test moves the clock
const QByteArray tuesday = "2024-06-11";
const QByteArray monday = "2024-06-10";

} // namespace

class TestRates : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void priceText_data();
    void priceText();
    void rateFormulas_data();
    void rateFormulas();
    void rateOfOffTheMainThread();
    void allRatesNewestFirst();

    void bulletins_data();
    void bulletins();
    void livePage_data();
    void livePage();
    void previousClose_data();
    void previousClose();
    void tradingHours_data();
    void tradingHours();
    void openDayIsNotStored_data();
    void openDayIsNotStored();
    void datesOutOfRangeTouchNothing_data();
    void datesOutOfRangeTouchNothing();
    void storedDatesAreText();

    void missMemory();
    void missMemoryIsBounded();
    void refusedPortFailsFast();
    void slowAnswerTimesOutAndHostRests();
    void unusableDatabase();

    void linkedServerFirst();
    void linkedServerWithoutAnswer_data();
    void linkedServerWithoutAnswer();
    void linkedServerIntradayIsNotStored();
    void linkedServerPayloads_data();
    void linkedServerPayloads();
    void serverModeNeverAsksALinkedServer();

    void backFillOrderPacingAndRefresh();
    void shutdownStopsTheBackFill();
    void twoWorkersOnTheSameDates();

    void busyIndicator_data();
    void busyIndicator();
};

void TestRates::initTestCase()
{
    Config::setClock([] { return QDateTime::fromMSecsSinceEpoch(fakeNowMs); });
}

void TestRates::cleanupTestCase()
{
    Config::setClock({});
    ConfigWorker::setTuning(RateTuning());
}

void TestRates::init()
{
    setNow(at("2024-06-12 12:00:00"));   // a Wednesday, trading
    RateTuning tuning;
    tuning.timeoutMs = 5000;
    tuning.startThread = false;
    ConfigWorker::setTuning(tuning);
}

void TestRates::priceText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("kurus");
    QTest::newRow("English grouping") << "2,345,678.90" << qint64(234567);
    QTest::newRow("Turkish grouping") << "2.345.678,90" << qint64(234567);
    QTest::newRow("plain") << "3050" << qint64(305);
    QTest::newRow("lone comma is a decimal comma") << "1,234" << qint64(0);
    QTest::newRow("lone dot is a decimal point") << "1.234" << qint64(0);
    QTest::newRow("decimals dropped, not rounded") << "2.345.679,99" << qint64(234567);
    QTest::newRow("repeated dots group thousands") << "2.345.678" << qint64(234567);
    QTest::newRow("repeated commas group thousands") << "2,345,678" << qint64(234567);
    QTest::newRow("empty") << "" << qint64(0);
    QTest::newRow("not a number") << "n/a" << qint64(0);
    QTest::newRow("too long") << "99999999999999999999999" << qint64(0);
}

void TestRates::priceText()
{
    QFETCH(QString, text);
    QFETCH(qint64, kurus);
    QCOMPARE(ConfigWorker::priceOf(text), kurus);
}

void TestRates::rateFormulas_data()
{
    QTest::addColumn<qint64>("oldc");
    QTest::addColumn<qint64>("newl");
    QTest::addColumn<qint64>("newh");
    QTest::addColumn<qint64>("low");
    QTest::addColumn<qint64>("high");
    QTest::newRow("previous close only") << qint64(1000) << qint64(0) << qint64(0) << qint64(990) << qint64(1010);
    QTest::newRow("previous close only, truncated") << qint64(1999) << qint64(0) << qint64(0) << qint64(1979)
                                                    << qint64(2018);
    QTest::newRow("day around the close") << qint64(1000) << qint64(950) << qint64(1050) << qint64(950) << qint64(1050);
    QTest::newRow("day above the close") << qint64(1000) << qint64(1010) << qint64(1100) << qint64(1000)
                                         << qint64(1100);
    QTest::newRow("day below the close") << qint64(1000) << qint64(900) << qint64(990) << qint64(900) << qint64(1000);
    QTest::newRow("low only") << qint64(0) << qint64(500) << qint64(0) << qint64(500) << qint64(0);
    QTest::newRow("high only") << qint64(0) << qint64(0) << qint64(700) << qint64(0) << qint64(700);
    QTest::newRow("low and high without close") << qint64(0) << qint64(500) << qint64(700) << qint64(500)
                                                << qint64(700);
}

void TestRates::rateFormulas()
{
    QFETCH(qint64, oldc);
    QFETCH(qint64, newl);
    QFETCH(qint64, newh);
    QFETCH(qint64, low);
    QFETCH(qint64, high);
    Rig rig;
    QVERIFY(rig.config->ok);
    QVERIFY(rig.worker()->saveCurrency({tuesday, oldc, newl, newh, 1}));
    const RateConfig rate = rig.config->rateOf(tuesday);
    QCOMPARE(rate.low, low);
    QCOMPARE(rate.high, high);
    QCOMPARE(rig.exchange.requestCount(), 0);

    // A day without a rate prices at nothing.
    const RateConfig none = rig.config->rateOf(monday);
    QCOMPARE(none.low, qint64(0));
    QCOMPARE(none.high, qint64(0));
}

void TestRates::rateOfOffTheMainThread()
{
    Rig rig;
    QVERIFY(rig.worker()->saveCurrency({tuesday, 1000, 950, 1050, 1020}));
    RateConfig stored, missing, inCache;
    {
        QMutexLocker lock(&rig.config->cacheMutex);
        rig.config->rateCache.clear();
        rig.config->rateCache.insert(monday, {monday, 2000, 0, 0, 0});
    }
    std::thread pool([&] {
        stored = rig.config->rateOf(tuesday);
        missing = rig.config->rateOf("2024-06-07");
        inCache = rig.config->rateOf(monday);
    });
    pool.join();
    QCOMPARE(stored.low, qint64(950));
    QCOMPARE(stored.high, qint64(1050));
    QCOMPARE(missing.low, qint64(0));
    QCOMPARE(inCache.low, qint64(1980));
    // Only the main thread may wait on the network.
    QCOMPARE(rig.exchange.requestCount(), 0);
}

void TestRates::allRatesNewestFirst()
{
    Rig rig;
    QVERIFY(rig.worker()->saveCurrency({"2024-06-07", 1, 2, 3, 4}));
    QVERIFY(rig.worker()->saveCurrency({monday, 5, 6, 7, 8}));
    QVERIFY(rig.worker()->saveCurrency({tuesday, 9, 10, 11, 12}));
    const QJsonArray rates = rig.config->getAllCurrencyRates(2);
    QCOMPARE(rates.size(), 2);
    QCOMPARE(rates[0].toObject(), (QJsonObject{{"date", "2024-06-11"}, {"oldc", 9}, {"newl", 10}, {"newh", 11},
                                               {"newc", 12}}));
    QCOMPARE(rates[1].toObject().value("date").toString(), QString("2024-06-10"));
}

void TestRates::bulletins_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("delayMs");
    QTest::addColumn<QList<qint64>>("prices");   // oldc, newl, newh, newc; empty: no record
    QTest::addColumn<QString>("log");

    const QList<qint64> standard = {234567, 230000, 240000, 235000};
    QTest::newRow("text, Turkish style") << standardDay() << 200 << 0 << standard << "";
    QTest::newRow("text, English style")
        << FakeExchange::textBulletin("2,345,678.90", "2,300,000.00", "2,400,000.00", "2,350,000.00") << 200 << 0
        << standard << "";
    QTest::newRow("text, plain numbers") << FakeExchange::textBulletin("3050", "3000", "3100", "3060") << 200 << 0
                                         << QList<qint64>{305, 300, 310, 306} << "";
    QTest::newRow("xml") << FakeExchange::xmlBulletin("2.345.678,90", "2.300.000,00", "2.400.000,00", "2.350.000,00")
                         << 200 << 0 << standard << "";
    for (const char *tag : {"onceki_kapanis", "en_dusuk", "en_yuksek", "kapanis"}) {
        QTest::addRow("xml without %s", tag)
            << FakeExchange::xmlBulletin("2.345.678,90", "2.300.000,00", "2.400.000,00", "2.350.000,00", tag) << 200
            << 0 << QList<qint64>() << "";
    }
    QTest::newRow("xml tags without the declaration are not read")
        << FakeExchange::xmlBulletin("1", "2", "3", "4").mid(40) << 200 << 0 << QList<qint64>() << "";
    QTest::newRow("empty day") << FakeExchange::emptyDay() << 200 << 0 << QList<qint64>() << "";
    QTest::newRow("empty body") << QByteArray() << 200 << 0 << QList<qint64>() << "";
    QTest::newRow("three prices") << QByteArray("ALTIN TL/kg 2.345.678,90 2.300.000,00 2.400.000,00\n") << 200 << 0
                                  << QList<qint64>() << "";
    QTest::newRow("prices that are not numbers") << FakeExchange::textBulletin("...", ",,,", ".", ",") << 200 << 0
                                                 << QList<qint64>() << "";
    QTest::newRow("server error") << standardDay() << 500 << 0 << QList<qint64>() << "^Network error:";
    QTest::newRow("answer beyond the time-out") << standardDay() << 200 << 3000 << QList<qint64>()
                                                << "^Network error:.*[Cc]ancel";
}

void TestRates::bulletins()
{
    QFETCH(QByteArray, body);
    QFETCH(int, status);
    QFETCH(int, delayMs);
    QFETCH(QList<qint64>, prices);
    QFETCH(QString, log);
    RateTuning tuning = ConfigWorker::tuning();
    tuning.timeoutMs = 300;
    ConfigWorker::setTuning(tuning);

    Rig rig;
    FakeResponse day = FakeResponse::ok(body);
    day.status = status;
    day.delayMs = delayMs;
    rig.exchange.setBulletin(tuesday, day);
    // The previous day has no close, so a zero previous close could not be covered up.
    if (!log.isEmpty())
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression(log));
    const CurrencyData c = rig.config->currencyRateOf(tuesday);
    QCOMPARE(rig.exchange.bulletinRequests(tuesday), 1);
    const FakeRequest request = rig.exchange.requests().value(0);
    QCOMPARE(request.query.queryItemValue("op"), QString("fetchDonemselVerileri"));
    QCOMPARE(request.query.queryItemValue("endDate"), QString(tuesday));
    QVERIFY(request.headers.value("user-agent").startsWith("Mozilla/5.0 (Windows NT 10.0; Win64; x64)"));
    if (prices.isEmpty()) {
        QVERIFY(c.date.isEmpty());
        QCOMPARE(rig.storedRows(tuesday), 0);
        return;
    }
    QCOMPARE(c.date, tuesday);
    QCOMPARE((QList<qint64>{c.oldc, c.newl, c.newh, c.newc}), prices);
    QCOMPARE(rig.storedRows(tuesday), 1);
}

void TestRates::livePage_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("date");
    QTest::addColumn<QList<qint64>>("prices");   // newl, newh, newc
    QTest::addColumn<QString>("log");

    QTest::newRow("one element")
        << FakeExchange::liveJson({{"2.300.000,00", "2.400.000,00", "2.350.000,00", "2024-06-12T14:35:00"}})
        << wednesday << QList<qint64>{230000, 240000, 235000} << "";
    QTest::newRow("several elements: lowest low, highest high and current")
        << FakeExchange::liveJson({{"2.300.000,00", "2.400.000,00", "2.350.000,00", "2024-06-12T14:30:00"},
                                   {"2.250.000,00", "2.380.000,00", "2.370.000,00", "2024-06-12T14:35:00"}})
        << wednesday << QList<qint64>{225000, 240000, 237000} << "";
    QTest::newRow("incomplete element ignored")
        << FakeExchange::liveJson({{"", "9.400.000,00", "9.350.000,00", "2024-06-12"},
                                   {"2.300.000,00", "2.400.000,00", "2.350.000,00", "2024-06-12"}})
        << wednesday << QList<qint64>{230000, 240000, 235000} << "";
    QTest::newRow("dotted date stamp") << FakeExchange::liveJson({{"1000", "2000", "1500", "12.06.2024 14:35"}})
                                       << wednesday << QList<qint64>{100, 200, 150} << "";
    QTest::newRow("last array member is read")
        << QByteArray(R"({"a":[{"lowValue":"10","highValue":"20","currentValue":"15","lastCalculatedDate":"2024-06-11"}],)"
                      R"("b":[{"lowValue":"1000","highValue":"2000","currentValue":"1500","lastCalculatedDate":"2024-06-12"}]})")
        << wednesday << QList<qint64>{100, 200, 150} << "";
    QTest::newRow("numbers instead of texts")
        << QByteArray(R"({"data":[{"lowValue":1000,"highValue":2000,"currentValue":1500,"lastCalculatedDate":"2024-06-12"}]})")
        << QByteArray() << QList<qint64>() << "";
    QTest::newRow("no array") << QByteArray(R"({"data":{"lowValue":"1"}})") << QByteArray() << QList<qint64>() << "";
    QTest::newRow("empty body") << QByteArray() << QByteArray() << QList<qint64>() << "";
    QTest::newRow("not JSON") << QByteArray("<html>busy</html>") << QByteArray() << QList<qint64>()
                              << "^parseResponseLive:";
    QTest::newRow("JSON not an object") << QByteArray(R"([{"lowValue":"1"}])") << QByteArray() << QList<qint64>()
                                        << "^parseResponseLive: Expected JSON Object$";
}

void TestRates::livePage()
{
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, date);
    QFETCH(QList<qint64>, prices);
    QFETCH(QString, log);
    if (!log.isEmpty())
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression(log));
    const CurrencyData c = ConfigWorker::parseResponseLive(body);
    QCOMPARE(c.date, date);
    QCOMPARE(c.oldc, qint64(0));
    if (!prices.isEmpty())
        QCOMPARE((QList<qint64>{c.newl, c.newh, c.newc}), prices);
}

void TestRates::previousClose_data()
{
    QTest::addColumn<QByteArray>("dayBefore");   // Monday's page
    QTest::addColumn<qint64>("oldc");            // Tuesday's previous close; 0: no record
    QTest::newRow("the day before's close") << FakeExchange::textBulletin("2.000.000,00", "1", "1", "2.100.000,00")
                                            << qint64(210000);
    QTest::newRow("the day before without close gives its previous close")
        << FakeExchange::textBulletin("2.050.000,00", "2.000.000,00", "2.100.000,00", "0") << qint64(205000);
    QTest::newRow("no day before: rejected") << FakeExchange::emptyDay() << qint64(0);
}

void TestRates::previousClose()
{
    QFETCH(QByteArray, dayBefore);
    QFETCH(qint64, oldc);
    Rig rig;
    rig.exchange.setBulletin(tuesday, FakeResponse::ok(
                                          FakeExchange::textBulletin("0,00", "2.300.000,00", "2.400.000,00", "2.350.000,00")));
    rig.exchange.setBulletin(monday, FakeResponse::ok(dayBefore));
    const CurrencyData c = rig.config->currencyRateOf(tuesday);
    QCOMPARE(c.oldc, oldc);
    QCOMPARE(c.date.isEmpty(), oldc == 0);
    if (oldc)
        QCOMPARE(c.newc, qint64(235000));
}

void TestRates::tradingHours_data()
{
    QTest::addColumn<QDateTime>("now");
    QTest::addColumn<bool>("trading");
    QTest::newRow("Wednesday noon") << at("2024-06-12 12:00:00") << true;
    QTest::newRow("Wednesday 09:00:00") << at("2024-06-12 09:00:00") << false;
    QTest::newRow("Wednesday 09:00:01") << at("2024-06-12 09:00:01") << true;
    QTest::newRow("Wednesday 16:59:59") << at("2024-06-12 16:59:59") << true;
    QTest::newRow("Wednesday 17:00:00") << at("2024-06-12 17:00:00") << false;
    QTest::newRow("Monday 08:59:59") << at("2024-06-10 08:59:59") << false;
    QTest::newRow("Friday 16:00") << at("2024-06-14 16:00:00") << true;
    QTest::newRow("Saturday noon") << at("2024-06-15 12:00:00") << false;
    QTest::newRow("Sunday noon") << at("2024-06-16 12:00:00") << false;
}

void TestRates::tradingHours()
{
    QFETCH(QDateTime, now);
    QFETCH(bool, trading);
    setNow(now);
    const QByteArray today = dayText(now.date());
    const QByteArray yesterday = dayText(now.date().addDays(-1));
    Rig rig;
    rig.exchange.setFallbackBulletin([](const FakeRequest &) { return FakeResponse::ok(standardDay()); });
    rig.exchange.setLive(FakeResponse::ok(
        FakeExchange::liveJson({{"2.310.000,00", "2.410.000,00", "2.360.000,00", today + "T10:00:00"}})));

    rig.worker()->updateCurrentData();
    const CurrencyData c = rig.cached(today);
    QCOMPARE(c.date, today);
    if (trading) {
        QCOMPARE(rig.exchange.liveRequests(), 1);
        QCOMPARE(rig.exchange.bulletinRequests(today), 0);
        // Live values, with yesterday's close as the previous close; nothing stored before the close.
        QCOMPARE((QList<qint64>{c.oldc, c.newl, c.newh, c.newc}), (QList<qint64>{235000, 231000, 241000, 236000}));
        QCOMPARE(rig.exchange.bulletinRequests(yesterday), 1);
        QCOMPARE(rig.storedRows(today), 0);
    } else {
        QCOMPARE(rig.exchange.liveRequests(), 0);
        QCOMPARE(rig.exchange.bulletinRequests(today), 1);
        QCOMPARE((QList<qint64>{c.oldc, c.newl, c.newh, c.newc}), (QList<qint64>{234567, 230000, 240000, 235000}));
    }
}

void TestRates::openDayIsNotStored_data()
{
    QTest::addColumn<QDateTime>("now");
    QTest::addColumn<int>("daysBack");
    QTest::addColumn<bool>("stored");
    QTest::newRow("today, Wednesday noon") << at("2024-06-12 12:00:00") << 0 << false;
    QTest::newRow("today, Wednesday 08:00") << at("2024-06-12 08:00:00") << 0 << false;
    QTest::newRow("today, Wednesday 18:00") << at("2024-06-12 18:00:00") << 0 << true;
    QTest::newRow("today, Saturday noon") << at("2024-06-15 12:00:00") << 0 << true;
    QTest::newRow("yesterday, Wednesday noon") << at("2024-06-12 12:00:00") << 1 << true;
}

void TestRates::openDayIsNotStored()
{
    QFETCH(QDateTime, now);
    QFETCH(int, daysBack);
    QFETCH(bool, stored);
    setNow(now);
    Rig rig;
    const QByteArray date = dayText(now.date().addDays(-daysBack));
    QVERIFY(rig.worker()->saveCurrency({date, 1000, 990, 1010, 1005}));
    QCOMPARE(rig.storedRows(date), stored ? 1 : 0);
}

void TestRates::datesOutOfRangeTouchNothing_data()
{
    QTest::addColumn<QByteArray>("date");
    QTest::newRow("2019-12-31") << QByteArray("2019-12-31");
    QTest::newRow("tomorrow") << QByteArray("2024-06-13");
    QTest::newRow("next year") << QByteArray("2025-01-02");
    QTest::newRow("not a date") << QByteArray("2024-13-45");
    QTest::newRow("not canonical") << QByteArray("2024-6-1");
    QTest::newRow("empty") << QByteArray();
}

void TestRates::datesOutOfRangeTouchNothing()
{
    QFETCH(QByteArray, date);
    Rig rig(false, true);
    // A stored row would be found if the database were asked.
    QVERIFY(execOn(rig.rateDb(), {QString("INSERT INTO currency VALUES ('%1', 1, 2, 3, 4)")
                                      .arg(QString::fromLatin1(date))}));
    QVERIFY(rig.config->currencyRateOf(date).date.isEmpty());
    QCOMPARE(rig.config->rateOf(date).low, qint64(0));
    QCOMPARE(rig.exchange.requestCount(), 0);
    QCOMPARE(rig.server.requestCount(), 0);
}

void TestRates::storedDatesAreText()
{
    Rig rig(false);
    // A day written by another tool, as text, is found.
    QVERIFY(execOn(rig.rateDb(), {QString("INSERT INTO currency VALUES ('%1', 300000, 299000, 301000, 300500)")
                                      .arg(QString::fromLatin1(monday))}));
    QCOMPARE(rig.config->rateOf(monday).low, qint64(299000));

    // A store keyed by BLOBs (as once written) is converted when opened; where a day
    // exists both ways, the text row stays.
    rig.config.reset();
    QVERIFY(execOn(rig.rateDb(), {
        QString("INSERT INTO currency VALUES (CAST('%1' AS BLOB), 200000, 199000, 201000, 200500)")
            .arg(QString::fromLatin1(tuesday)),
        QString("INSERT INTO currency VALUES (CAST('%1' AS BLOB), 1, 1, 1, 1)").arg(QString::fromLatin1(monday)),
    }));
    rig.config = std::make_unique<Config>(false);
    QCOMPARE(scalar(rig.rateDb(), "SELECT COUNT(*) FROM currency WHERE typeof(date) <> 'text'"), qint64(0));
    QCOMPARE(rig.storedRows(monday), qint64(1));
    QCOMPARE(rig.config->rateOf(tuesday).low, qint64(199000));
    QCOMPARE(rig.config->rateOf(monday).low, qint64(299000));
}

void TestRates::missMemory()
{
    Rig rig;
    const QByteArray saturday = "2024-06-08";
    for (int i = 0; i < 5; ++i) {
        QVERIFY(rig.config->currencyRateOf(saturday).date.isEmpty());
        QVERIFY(rig.config->currencyRateOf("2024-06-09").date.isEmpty());
    }
    QCOMPARE(rig.exchange.bulletinRequests(saturday), 1);
    QCOMPARE(rig.exchange.bulletinRequests("2024-06-09"), 1);

    advance(4 * 60 * 1000);
    rig.config->currencyRateOf(saturday);
    QCOMPARE(rig.exchange.bulletinRequests(saturday), 1);
    advance(60 * 1000 + 1);
    rig.config->currencyRateOf(saturday);
    QCOMPARE(rig.exchange.bulletinRequests(saturday), 2);

    // The refresh forgets the misses.
    setNow(at("2024-06-12 18:00:00"));
    rig.worker()->updateCurrentData();
    rig.config->currencyRateOf(saturday);
    QCOMPARE(rig.exchange.bulletinRequests(saturday), 3);

    // So does a new day, well within five minutes.
    setNow(at("2024-06-12 23:59:00"));
    rig.config->currencyRateOf(saturday);
    QCOMPARE(rig.exchange.bulletinRequests(saturday), 4);
    setNow(at("2024-06-13 00:00:30"));
    rig.config->currencyRateOf(saturday);
    QCOMPARE(rig.exchange.bulletinRequests(saturday), 5);

    // A day that gains data later is found once the miss is forgotten.
    rig.exchange.setBulletin(saturday, FakeResponse::ok(standardDay()));
    advance(RateMisses::missMs);
    QCOMPARE(rig.config->currencyRateOf(saturday).newc, qint64(235000));
}

void TestRates::missMemoryIsBounded()
{
    RateMisses misses;
    const QDate today(2024, 6, 12);
    const qint64 t0 = QDateTime(today, QTime(12, 0)).toMSecsSinceEpoch();
    for (int i = 0; i < RateMisses::capacity; ++i)
        misses.addMiss(QByteArray::number(i), t0 + i, today);
    QCOMPARE(misses.size(), RateMisses::capacity);
    misses.addMiss("new", t0 + RateMisses::capacity, today);
    QCOMPARE(misses.size(), RateMisses::capacity);
    QVERIFY(!misses.isMissing("0", t0 + 600, today));   // the oldest went
    QVERIFY(misses.isMissing("1", t0 + 600, today));
    QVERIFY(misses.isMissing("new", t0 + 600, today));
    // Expired entries make room before a live one is dropped.
    misses.addMiss("later", t0 + RateMisses::missMs + 5, today);
    QVERIFY(misses.isMissing("new", t0 + RateMisses::missMs + 5, today));
    QVERIFY(misses.size() < RateMisses::capacity);
}

void TestRates::refusedPortFailsFast()
{
    RateTuning tuning = ConfigWorker::tuning();
    tuning.timeoutMs = 60000;   // a wait for the time-out would show as a hang
    ConfigWorker::setTuning(tuning);
    int closedPort = 0;
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        closedPort = probe.serverPort();
    }
    Rig rig;
    rig.config.reset();
    QVERIFY(execOn(rig.data.file("conf.db"),
                   {QString("UPDATE params SET val = '127.0.0.1:%1' WHERE sec = 'exchange' AND key = 'host'")
                        .arg(closedPort)}));
    rig.config = std::make_unique<Config>(true);
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^Network error:.*[Cc]onnection refused"));
    QVERIFY(rig.config->currencyRateOf(tuesday).date.isEmpty());
    // Other dates do not knock on the closed door again right away.
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^Network error:.*unreachable"));
    QVERIFY(rig.config->currencyRateOf(monday).date.isEmpty());
}

void TestRates::slowAnswerTimesOutAndHostRests()
{
    RateTuning tuning = ConfigWorker::tuning();
    tuning.timeoutMs = 200;
    ConfigWorker::setTuning(tuning);
    Rig rig;
    rig.exchange.setFallbackBulletin([](const FakeRequest &) { return FakeResponse::slow(5000, standardDay()); });
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^Network error:.*[Cc]ancel"));
    QVERIFY(rig.config->currencyRateOf(tuesday).date.isEmpty());
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^Network error:.*unreachable"));
    QVERIFY(rig.config->currencyRateOf(monday).date.isEmpty());
    QCOMPARE(rig.exchange.bulletinRequests(), 1);

    advance(RateMisses::hostDownMs + 1);
    rig.exchange.setFallbackBulletin([](const FakeRequest &) { return FakeResponse::ok(standardDay()); });
    QCOMPARE(rig.config->currencyRateOf(monday).newc, qint64(235000));
}

void TestRates::unusableDatabase()
{
    Rig rig;
    QVERIFY(rig.config->ok);

    // A worker whose database cannot be opened answers nothing and asks nobody.
    Config::setDataDir(rig.data.path + "/missing/dir");
    {
        ConfigWorker worker(rig.config.get(), 0);
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^Failed to open worker database:"));
        QVERIFY(!worker.init());
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^Database query error:"));
        QVERIFY(worker.currencyOf(tuesday).date.isEmpty());
    }
    Config::setDataDir(rig.data.path);
    QCOMPARE(rig.exchange.requestCount(), 0);

    // A broken table: the exchange still answers, and the failed save is reported.
    rig.exchange.setBulletin(tuesday, FakeResponse::ok(standardDay()));
    QVERIFY(execOn(rig.rateDb(), {"DROP TABLE currency"}));
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^Database query error:"));
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^Failed to save currency data:"));
    QCOMPARE(rig.config->currencyRateOf(tuesday).newc, qint64(235000));

    // rate.db that cannot be opened at all leaves the store not ready.
    rig.config.reset();
    TestDataDir broken;
    QVERIFY(QDir().mkpath(broken.file("rate.db")));
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^Failed to open rate database:"));
    Config config(true);
    QVERIFY(!config.ok);
}

void TestRates::linkedServerFirst()
{
    Rig rig(false, true);
    rig.server.setCurrency(tuesday, FakeResponse::ok("[" + FakeLinkedServer::record(tuesday, 1000, 990, 1010, 1005) + ","
                                                     + FakeLinkedServer::record(monday, 900, 890, 910, 905) + "]"));
    const CurrencyData c = rig.config->currencyRateOf(tuesday);
    QCOMPARE((QList<qint64>{c.oldc, c.newl, c.newh, c.newc}), (QList<qint64>{1000, 990, 1010, 1005}));
    QCOMPARE(rig.server.currencyRequests(tuesday), 1);
    QVERIFY(rig.server.requests().value(0).headers.value("user-agent") == "Corvina-Client/1.0");
    QCOMPARE(rig.exchange.requestCount(), 0);
    // Every day of the answer was kept.
    QCOMPARE(rig.storedRows(monday), 1);
    QCOMPARE(rig.config->currencyRateOf(monday).newc, qint64(905));
    QCOMPARE(rig.server.requestCount(), 1);
}

void TestRates::linkedServerWithoutAnswer_data()
{
    QTest::addColumn<FakeResponse>("answer");
    QTest::addColumn<QString>("log");
    QTest::newRow("nothing for the date") << FakeResponse::ok("[]") << "^No currency rates found in response$";
    QTest::newRow("server error") << FakeResponse::error(500) << "^Network error:";
    QTest::newRow("not JSON") << FakeResponse::ok("<html/>") << "^parseAndSaveCurrencyRates:";
    QTest::newRow("no dates") << FakeResponse::ok(R"([{"oldc":1}])")
                              << "^Warning: No currency rates were saved to database$";
}

void TestRates::linkedServerWithoutAnswer()
{
    QFETCH(FakeResponse, answer);
    QFETCH(QString, log);
    Rig rig(false, true);
    rig.server.setCurrency(tuesday, answer);
    rig.exchange.setBulletin(tuesday, FakeResponse::ok(standardDay()));
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression(log));
    QCOMPARE(rig.config->currencyRateOf(tuesday).newc, qint64(235000));
    QCOMPARE(rig.server.currencyRequests(tuesday), 1);
    QCOMPARE(rig.exchange.bulletinRequests(tuesday), 1);
}

void TestRates::linkedServerIntradayIsNotStored()
{
    Rig rig(false, true);
    rig.server.setCurrency(wednesday, FakeResponse::ok(FakeLinkedServer::record(wednesday, 1000, 990, 1010, 1005)));
    rig.worker()->updateCurrentData();
    QCOMPARE(rig.exchange.liveRequests(), 0);
    QCOMPARE(rig.cached(wednesday).newc, qint64(1005));
    // Stored now, the morning's value would stand in for the close for good.
    QCOMPARE(rig.storedRows(wednesday), 0);
}

void TestRates::linkedServerPayloads_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("result");
    QTest::addColumn<int>("rows");
    QTest::addColumn<QString>("log");
    QTest::addColumn<qint64>("tuesdayClose");   // as found afterwards; 0: none
    const QByteArray a = FakeLinkedServer::record(monday, 1, 2, 3, 4);
    const QByteArray b = FakeLinkedServer::record(tuesday, 5, 6, 7, 8);
    QTest::newRow("array") << "[" + a + "," + b + "]" << true << 2 << "" << qint64(8);
    QTest::newRow("one object") << b << true << 1 << "" << qint64(8);
    QTest::newRow("element without a date skipped") << "[" + QByteArray(R"({"oldc":9},7,)") + b + "]" << true << 1
                                                    << "" << qint64(8);
    QTest::newRow("non-integral prices read as 0")
        << QByteArray(R"({"date":"2024-06-11","oldc":1.5,"newl":"6","newh":7,"newc":8})") << true << 1 << ""
        << qint64(8);
    QTest::newRow("only elements without dates") << QByteArray(R"([{"oldc":9},{"date":""}])") << false << 0
                                                 << "^Warning: No currency rates were saved to database$" << qint64(0);
    QTest::newRow("empty array") << QByteArray("[]") << false << 0 << "^No currency rates found in response$"
                                 << qint64(0);
    QTest::newRow("empty body") << QByteArray() << false << 0 << "" << qint64(0);
    QTest::newRow("broken JSON") << QByteArray("[{") << false << 0 << "^parseAndSaveCurrencyRates:" << qint64(0);
}

void TestRates::linkedServerPayloads()
{
    QFETCH(QByteArray, body);
    QFETCH(bool, result);
    QFETCH(int, rows);
    QFETCH(QString, log);
    QFETCH(qint64, tuesdayClose);
    Rig rig;
    if (!log.isEmpty())
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression(log));
    QCOMPARE(rig.worker()->parseAndSaveCurrencyRates(body), result);
    QCOMPARE(scalar(rig.rateDb(), "SELECT COUNT(*) FROM currency"), qint64(rows));
    if (tuesdayClose) {
        const CurrencyData c = rig.config->currencyRateOf(tuesday);
        QCOMPARE(c.newc, tuesdayClose);
        QCOMPARE(c.oldc == 0, body.contains("1.5"));
        QCOMPARE(rig.exchange.requestCount(), 0);
    }
}

void TestRates::serverModeNeverAsksALinkedServer()
{
    Rig rig(true, true);
    QVERIFY(!rig.config->serverUrl.isEmpty());
    rig.server.setCurrency(tuesday, FakeResponse::ok(FakeLinkedServer::record(tuesday, 1, 2, 3, 4)));
    rig.exchange.setBulletin(tuesday, FakeResponse::ok(standardDay()));
    QCOMPARE(rig.config->currencyRateOf(tuesday).newc, qint64(235000));
    QCOMPARE(rig.server.requestCount(), 0);
}

void TestRates::backFillOrderPacingAndRefresh()
{
    constexpr int pauseMs = 30;
    RateTuning tuning = ConfigWorker::tuning();
    tuning.startThread = true;
    tuning.threadFillPauseMs = pauseMs;
    tuning.refreshMs = 200;
    ConfigWorker::setTuning(tuning);
    const QDate saturday(2024, 6, 15);
    setNow(QDateTime(saturday, QTime(12, 0)));

    Rig rig;
    rig.exchange.setFallbackBulletin([](const FakeRequest &r) {
        const QDate d = QDate::fromString(r.query.queryItemValue("startDate"), "yyyy-MM-dd");
        return FakeResponse::ok(d.dayOfWeek() > 5 ? FakeExchange::emptyDay() : standardDay());
    });
    QVERIFY(rig.config->ok);
    QTRY_VERIFY_WITH_TIMEOUT(rig.exchange.bulletinRequests() >= 92, 30000);

    const QList<QByteArray> dates = rig.exchange.bulletinDates();
    QCOMPARE(dates.first(), dayText(saturday));   // today's check at start
    int weekdays = 0;
    for (int i = 0; i < 91; ++i) {
        const QDate expected = saturday.addDays(-1 - i);
        QCOMPARE(dates[1 + i], dayText(expected));
        weekdays += expected.dayOfWeek() <= 5;
    }
    // Every back-fill request waits out the pause after the previous one.
    const QList<FakeRequest> log = rig.exchange.requests();
    for (int i = 2; i <= 91; ++i) {
        const qint64 gapMs = (log[i].receivedNs - log[i - 1].receivedNs) / 1000000;
        QVERIFY2(gapMs >= pauseMs - 1, qPrintable(QString("request %1 came %2 ms after the one before").arg(i).arg(gapMs)));
    }
    QTRY_COMPARE(scalar(rig.rateDb(), "SELECT COUNT(*) FROM currency"), qint64(weekdays));
    // The main thread finds back-filled days in the cache.
    QCOMPARE(rig.config->currencyRateOf("2024-06-14").newc, qint64(235000));
    QCOMPARE(rig.exchange.bulletinRequests("2024-06-14"), 1);

    // The periodic refresh asks for today again.
    QTRY_VERIFY(rig.exchange.bulletinRequests(dayText(saturday)) >= 2);
}

void TestRates::shutdownStopsTheBackFill()
{
    RateTuning tuning = ConfigWorker::tuning();
    tuning.startThread = true;
    tuning.threadFillPauseMs = 200;
    ConfigWorker::setTuning(tuning);
    setNow(at("2024-06-15 12:00:00"));
    Rig rig;
    rig.exchange.setFallbackBulletin([](const FakeRequest &) { return FakeResponse::ok(standardDay()); });
    QTRY_VERIFY_WITH_TIMEOUT(rig.exchange.bulletinRequests() >= 3, 10000);
    rig.config.reset();
    const int asked = rig.exchange.bulletinRequests();
    QVERIFY2(asked < 10, qPrintable(QString::number(asked)));
    QCoreApplication::processEvents();
    QCOMPARE(rig.exchange.bulletinRequests(), asked);
}

void TestRates::twoWorkersOnTheSameDates()
{
    RateTuning tuning = ConfigWorker::tuning();
    tuning.startThread = true;
    tuning.threadFillPauseMs = 0;
    ConfigWorker::setTuning(tuning);
    const QDate saturday(2024, 6, 15);
    setNow(QDateTime(saturday, QTime(12, 0)));
    // Each day has prices of its own, so a record filed under another date shows.
    auto closeOf = [](const QDate &d) { return qint64(200000 + d.dayOfYear() * 10); };
    Rig rig;
    rig.exchange.setFallbackBulletin([closeOf](const FakeRequest &r) {
        const QDate d = QDate::fromString(r.query.queryItemValue("startDate"), "yyyy-MM-dd");
        if (d.dayOfWeek() > 5)
            return FakeResponse::ok(FakeExchange::emptyDay());
        const QByteArray close = QByteArray::number(closeOf(d) * 10);
        return FakeResponse::ok(FakeExchange::textBulletin("2.000.000,00", "1.900.000,00", "2.100.000,00", close));
    });
    int weekdays = 0;
    for (int i = 1; i <= 91; ++i) {
        const QDate d = saturday.addDays(-i);
        const CurrencyData c = rig.config->currencyRateOf(dayText(d));
        if (d.dayOfWeek() > 5) {
            QVERIFY(c.date.isEmpty());
            continue;
        }
        ++weekdays;
        QCOMPARE(c.date, dayText(d));
        QCOMPARE(c.newc, closeOf(d));
    }
    QTRY_VERIFY_WITH_TIMEOUT(rig.exchange.bulletinDates().contains(dayText(saturday.addDays(-91))), 30000);
    QTRY_COMPARE(scalar(rig.rateDb(), "SELECT COUNT(*) FROM currency"), qint64(weekdays));
    QMutexLocker lock(&rig.config->cacheMutex);
    QCOMPARE(rig.config->rateCache.size(), weekdays);
    for (auto it = rig.config->rateCache.cbegin(); it != rig.config->rateCache.cend(); ++it) {
        QCOMPARE(it.value().date, it.key());
        QCOMPARE(it.value().newc, closeOf(QDate::fromString(QString::fromLatin1(it.key()), "yyyy-MM-dd")));
    }
}

void TestRates::busyIndicator_data()
{
    QTest::addColumn<bool>("serverMode");
    QTest::addColumn<bool>("cancel");
    QTest::newRow("desktop, waited out") << false << false;
    QTest::newRow("desktop, cancelled") << false << true;
    QTest::newRow("server shows nothing") << true << false;
}

void TestRates::busyIndicator()
{
    QFETCH(bool, serverMode);
    QFETCH(bool, cancel);
    Rig rig(serverMode);
    rig.exchange.setBulletin(tuesday, FakeResponse::slow(cancel ? 3000 : 0, standardDay()));
    QStringList labels;
    QList<int> delays;
    QPointer<BusyIndicator> shown;
    rig.config->busyIndicator = [&](const QString &label, int minimumDurationMs) {
        labels << label;
        delays << minimumDurationMs;
        shown = new BusyIndicator;
        if (cancel)
            QTimer::singleShot(50, shown, [b = shown] { Q_EMIT b->canceled(); });
        return shown.data();
    };
    const CurrencyData c = rig.config->currencyRateOf(tuesday);
    QCOMPARE(c.date.isEmpty(), cancel);
    if (serverMode) {
        QVERIFY(labels.isEmpty());
        return;
    }
    QCOMPARE(labels, QStringList{"Altın kuru yükleniyor: 2024-06-11"});
    QCOMPARE(delays, QList<int>{1000});
    QTRY_VERIFY(shown.isNull());
}

QTEST_GUILESS_MAIN(TestRates)
#include "tst_rates.moc"
