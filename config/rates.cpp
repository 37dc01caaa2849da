// Config's side of the gold rates: the workers, the lookups and the blocking network wait.
#include "config.h"
#include "configworker.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QEventLoop>
#include <QJsonObject>
#include <QMutexLocker>
#include <QNetworkReply>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QTimer>
#include <QtDebug>

namespace {

QMutex clockMutex;

std::function<QDateTime()> &clockFunction()
{
    static std::function<QDateTime()> clock;
    return clock;
}

QString exchangeBase(const Config &config, const char *hostKey)
{
    const QString host = config[QLatin1String(hostKey)];
    if (host.isEmpty())
        return QString();
    QString scheme = config[QStringLiteral("exchange.schm")];
    if (scheme.isEmpty())
        scheme = QStringLiteral("https");
    return scheme + QStringLiteral("://") + host;
}

// Off the main thread: the cache, then rate.db through a connection of the calling thread.
// The network is never asked from here.
CurrencyData storedRate(Config *config, const QByteArray &date)
{
    const QDate day = QDate::fromString(QString::fromLatin1(date), QStringLiteral("yyyy-MM-dd"));
    if (date < QByteArrayLiteral("2020-01-01") || !day.isValid() || day > Config::now().date()
        || day.toString(QStringLiteral("yyyy-MM-dd")).toLatin1() != date)
        return {};
    {
        QMutexLocker lock(&config->cacheMutex);
        const auto it = config->rateCache.constFind(date);
        if (it != config->rateCache.constEnd())
            return it.value();
    }
    CurrencyData found;
    const QString name = QStringLiteral("rates_%1").arg(quintptr(QThread::currentThread()));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(Config::dataPath(QStringLiteral("rate.db")));
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        if (db.open()) {
            QSqlQuery q(db);
            q.prepare(QStringLiteral("SELECT date, oldc, newl, newh, newc FROM currency WHERE date = ?"));
            q.addBindValue(QString::fromLatin1(date));
            if (q.exec() && q.next()) {
                found.date = q.value(0).toByteArray();
                found.oldc = q.value(1).toLongLong();
                found.newl = q.value(2).toLongLong();
                found.newh = q.value(3).toLongLong();
                found.newc = q.value(4).toLongLong();
            }
        }
    }
    QSqlDatabase::removeDatabase(name);
    if (!found.date.isEmpty()) {
        QMutexLocker lock(&config->cacheMutex);
        config->rateCache.insert(found.date, found);
    }
    return found;
}

} // namespace

QDateTime Config::now()
{
    std::function<QDateTime()> clock;
    {
        QMutexLocker lock(&clockMutex);
        clock = clockFunction();
    }
    return clock ? clock() : QDateTime::currentDateTime();
}

void Config::setClock(std::function<QDateTime()> clock)
{
    QMutexLocker lock(&clockMutex);
    clockFunction() = std::move(clock);
}

bool Config::initWorkers()
{
    const RateTuning tuning = ConfigWorker::tuning();
    if (!mainWorker)
        mainWorker = new ConfigWorker(this, 0);
    if (!threadWorker)
        threadWorker = new ConfigWorker(this, tuning.threadFillPauseMs);
    if (!workerThread)
        workerThread = new QThread;
    if (!mainWorker->init()) {
        qDebug() << "Failed to initialize main thread ConfigWorker database";
        return false;
    }
    const QString bulletin = exchangeBase(*this, "exchange.host");
    const QString live = exchangeBase(*this, "exchange.livehost");
    const QString linked = desktopMode ? serverUrl : QString();
    mainWorker->setExchange(bulletin, live);
    mainWorker->setServerUrl(linked);
    // A second init() finds the thread worker already running on its thread.
    if (threadWorker->thread() == workerThread || !tuning.startThread)
        return true;
    threadWorker->setExchange(bulletin, live);
    threadWorker->setServerUrl(linked);
    threadWorker->moveToThread(workerThread);
    QObject::connect(workerThread, &QThread::started, threadWorker, &ConfigWorker::run);
    QObject::connect(workerThread, &QThread::finished, threadWorker, &ConfigWorker::done);
    workerThread->start(QThread::InheritPriority);
    return true;
}

CurrencyData Config::currencyRateOf(const QByteArray &date)
{
    return mainWorker ? mainWorker->currencyOf(date) : CurrencyData();
}

RateConfig Config::rateOf(const QByteArray &date)
{
    // The main worker's connection and network manager belong to its thread.
    const CurrencyData r = mainWorker && QThread::currentThread() == mainWorker->thread()
                               ? mainWorker->currencyOf(date)
                               : storedRate(this, date);
    RateConfig rate;
    rate.low = r.newl == 0 ? r.oldc * 99 / 100 : r.oldc == 0 ? r.newl : qMin(r.oldc, r.newl);
    rate.high = r.newh == 0 ? r.oldc * 101 / 100 : r.oldc == 0 ? r.newh : qMax(r.oldc, r.newh);
    return rate;
}

QJsonArray Config::getAllCurrencyRates(int limit)
{
    QJsonArray rates;
    if (!rateDb.isValid())
        return rates;
    QSqlQuery q(rateDb);
    q.prepare(QStringLiteral("SELECT date, oldc, newl, newh, newc FROM currency ORDER BY date DESC LIMIT ?"));
    q.addBindValue(limit);
    if (!q.exec())
        return rates;
    while (q.next()) {
        rates.append(QJsonObject{
            {QStringLiteral("date"), QString::fromLatin1(q.value(0).toByteArray())},
            {QStringLiteral("oldc"), q.value(1).toLongLong()},
            {QStringLiteral("newl"), q.value(2).toLongLong()},
            {QStringLiteral("newh"), q.value(3).toLongLong()},
            {QStringLiteral("newc"), q.value(4).toLongLong()},
        });
    }
    return rates;
}

QNetworkReply *Config::progress(QNetworkReply *reply, const QString &label, int minimumDurationMs, int timeoutMs)
{
    if (!reply)
        return nullptr;
    bool canceled = false;
    BusyIndicator *busy = nullptr;
    QMetaObject::Connection cancel;
    const QCoreApplication *app = QCoreApplication::instance();
    // Only the main thread reads the hook: the desktop may install it while the worker runs.
    if (app && QThread::currentThread() == app->thread() && desktopMode && busyIndicator)
        busy = busyIndicator(label, minimumDurationMs);
    if (busy) {
        cancel = QObject::connect(busy, &BusyIndicator::canceled, reply, [&canceled, reply] {
            canceled = true;
            reply->abort();
        });
    }
    if (!reply->isFinished()) {
        QEventLoop loop;
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        QTimer timeout;
        timeout.setSingleShot(true);
        if (timeoutMs > 0) {
            QObject::connect(&timeout, &QTimer::timeout, reply, &QNetworkReply::abort);
            timeout.start(timeoutMs);
        }
        if (!QThread::currentThread()->isInterruptionRequested())
            loop.exec();
        // A quitting thread leaves every event loop at once: give the request up.
        if (!reply->isFinished())
            reply->abort();
    }
    if (busy) {
        QObject::disconnect(cancel);
        busy->deleteLater();
    }
    reply->deleteLater();
    return canceled ? nullptr : reply;
}

QNetworkAccessManager *Config::nam() const
{
    return mainWorker ? mainWorker->nam : nullptr;
}
