#include "configworker.h"

#include "config.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutexLocker>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <QtDebug>

#if QT_CONFIG(ssl)
#include <QSslConfiguration>
#include <QSslSocket>
#endif

namespace {

const QByteArray exchangeAgent = "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36";
const QByteArray serverAgent = "Corvina-Client/1.0";
const QString dateFormat = QStringLiteral("yyyy-MM-dd");
// Enough for a holiday week of bulletins without a previous close; stops a walk back to 2020.
constexpr int maxPreviousCloseDepth = 7;

QMutex tuningMutex;
RateTuning currentTuning;

QByteArray dateKey(const QDate &date)
{
    return date.toString(dateFormat).toLatin1();
}

// Only the canonical form is a key of the cache and of rate.db.
QDate dateOf(const QByteArray &date)
{
    const QDate d = QDate::fromString(QString::fromLatin1(date), dateFormat);
    return d.isValid() && dateKey(d) == date ? d : QDate();
}

// The live page stamps its values with a time; the record belongs to that stamp's day.
QByteArray dayOfStamp(const QString &stamp)
{
    const QString head = stamp.trimmed().left(10);
    for (const QString &format : {dateFormat, QStringLiteral("dd.MM.yyyy")}) {
        const QDate d = QDate::fromString(head, format);
        if (d.isValid())
            return dateKey(d);
    }
    return stamp.toLatin1();
}

// The day is still trading: its prices are not final and must not be stored.
bool notClosedYet(const QByteArray &date)
{
    const QDateTime now = Config::now();
    return date == dateKey(now.date()) && now.date().dayOfWeek() <= 5 && now.time() < QTime(17, 0);
}

bool unreachable(QNetworkReply::NetworkError error)
{
    switch (error) {
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::HostNotFoundError:
    case QNetworkReply::TimeoutError:
    case QNetworkReply::OperationCanceledError:
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::UnknownNetworkError:
        return true;
    default:
        return false;
    }
}

CurrencyData rowOf(const QSqlQuery &q)
{
    CurrencyData c;
    c.date = q.value(0).toByteArray();
    c.oldc = q.value(1).toLongLong();
    c.newl = q.value(2).toLongLong();
    c.newh = q.value(3).toLongLong();
    c.newc = q.value(4).toLongLong();
    return c;
}

} // namespace

ConfigWorker::ConfigWorker(Config *config, int fillPause, QObject *parent)
    : QObject(parent), config(config), fillPause(fillPause)
{
}

ConfigWorker::~ConfigWorker()
{
    delete timer;
    timer = nullptr;
    if (!connectionName.isEmpty()) {
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(connectionName);
    }
}

RateTuning ConfigWorker::tuning()
{
    QMutexLocker lock(&tuningMutex);
    return currentTuning;
}

void ConfigWorker::setTuning(const RateTuning &tuning)
{
    QMutexLocker lock(&tuningMutex);
    currentTuning = tuning;
}

bool ConfigWorker::init()
{
    if (db.isOpen() && nam)
        return true;
    if (connectionName.isEmpty()) {
        connectionName = QStringLiteral("worker_%1").arg(quintptr(QThread::currentThread()));
        // A second worker on the same thread must not take over the first one's connection.
        if (QSqlDatabase::contains(connectionName))
            connectionName += QStringLiteral("_%1").arg(quintptr(this));
        db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
    }
    db.setDatabaseName(Config::dataPath(QStringLiteral("rate.db")));
    if (!db.open()) {
        qDebug() << "Failed to open worker database:" << db.lastError().text();
        return false;
    }
    if (!nam)
        nam = new QNetworkAccessManager(this);
    return true;
}

void ConfigWorker::run()
{
    if (!init()) {
        qDebug() << "Failed to initialize worker database";
        return;
    }
    updateCurrentData();
    fillMissingData();
    if (!interrupted())
        setupPeriodicUpdates();
}

void ConfigWorker::done()
{
    if (timer) {
        timer->stop();
        delete timer;
        timer = nullptr;
    }
    // Network objects belong to this thread: release them here, not from the destructor.
    delete nam;
    nam = nullptr;
    db.close();
}

CurrencyData ConfigWorker::currencyOf(const QByteArray &date)
{
    if (date < QByteArrayLiteral("2020-01-01"))
        return {};
    const QDate day = dateOf(date);
    if (!day.isValid() || day > Config::now().date())
        return {};
    const CurrencyData cached = readCache(date);
    if (!cached.date.isEmpty())
        return cached;
    const CurrencyData loaded = loadCurrency(date);
    if (loaded.date.isEmpty())
        return {};
    writeCache(loaded);
    return loaded;
}

CurrencyData ConfigWorker::readCache(const QByteArray &date)
{
    QMutexLocker lock(&config->cacheMutex);
    return config->rateCache.value(date);
}

void ConfigWorker::writeCache(const CurrencyData &data)
{
    if (data.date.isEmpty())
        return;
    QMutexLocker lock(&config->cacheMutex);
    config->rateCache.insert(data.date, data);
}

void ConfigWorker::updateCurrentData()
{
    const QDateTime now = Config::now();
    {
        QMutexLocker lock(&config->cacheMutex);
        config->rateMisses.clear();
    }
    const QByteArray day = dateKey(now.date());
    if (!isTradingTime(now)) {
        writeCache(loadCurrency(day));
        return;
    }
    const qint64 cachedOldc = readCache(day).oldc;
    CurrencyData live = fetchCurrencyLive(day);
    // A holiday or a stale page shows another day's values: they are not today's rate.
    if (live.date != day)
        live = CurrencyData();
    live.oldc = cachedOldc;
    writeCache(live);
    if (cachedOldc == 0) {
        live.oldc = findPreviousClose(day);
        if (live.oldc != 0) {
            if (live.date.isEmpty())
                live.date = day;
            writeCache(live);
        }
    }
}

void ConfigWorker::fillMissingData()
{
    pause = fillPause;
    const QDate yesterday = Config::now().date().addDays(-1);
    for (int back = 0; back <= 90 && !interrupted(); ++back)
        currencyOf(dateKey(yesterday.addDays(-back)));
}

void ConfigWorker::setupPeriodicUpdates()
{
    timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, &ConfigWorker::updateCurrentData);
    timer->setInterval(tuning().refreshMs);
    timer->start();
}

CurrencyData ConfigWorker::loadCurrency(const QByteArray &date)
{
    const QDate day = dateOf(date);
    if (!day.isValid() || day > Config::now().date())
        return {};
    QSqlQuery q(db);
    q.prepare(QStringLiteral("SELECT date, oldc, newl, newh, newc FROM currency WHERE date = ?"));
    q.addBindValue(QString::fromLatin1(date));
    if (!q.exec()) {
        qDebug() << "Database query error:" << q.lastError().text();
    } else if (q.next()) {
        const CurrencyData stored = rowOf(q);
        if (!stored.date.isEmpty())
            return stored;
    }
    if (isMissing(date))
        return {};
    const bool outerAnswered = answered;
    answered = false;
    CurrencyData fetched = fetchCurrencyFromServer(date);
    if (fetched.date.isEmpty())
        fetched = fetchCurrency(date);
    // Only an answer without data is a miss; an unreachable host has its own memory.
    if (fetched.date.isEmpty() && answered)
        addMiss(date);
    answered = outerAnswered || answered;
    if (fetched.date.isEmpty())
        return {};
    saveCurrency(fetched);
    return fetched;
}

CurrencyData ConfigWorker::fetchCurrencyLive(const QByteArray &date)
{
    const CurrencyData linked = fetchCurrencyFromServer(date);
    if (!linked.date.isEmpty())
        return linked;
    if (liveBase.isEmpty())
        return {};
    QNetworkReply *reply = wait(
        liveBase + QStringLiteral("/bist-pay-indexes.php?op=fetchPayEndeksleri&mainIndexGroupId=2&subIndexGroupId=11"),
        exchangeAgent, false, QStringLiteral("Güncel altın kuru yükleniyor..."));
    if (!reply)
        return {};
    if (reply->error() != QNetworkReply::NoError) {
        qDebug() << "Network error:" << reply->errorString();
        return {};
    }
    return parseResponseLive(reply->readAll());
}

qint64 ConfigWorker::findPreviousClose(const QByteArray &date)
{
    const QDate day = dateOf(date);
    if (!day.isValid() || previousCloseDepth >= maxPreviousCloseDepth)
        return 0;
    ++previousCloseDepth;
    const CurrencyData before = currencyOf(dateKey(day.addDays(-1)));
    --previousCloseDepth;
    return before.newc != 0 ? before.newc : before.oldc;
}

CurrencyData ConfigWorker::fetchCurrency(const QByteArray &date)
{
    if (bulletinBase.isEmpty())
        return {};
    const QString day = QString::fromLatin1(date);
    QNetworkReply *reply = wait(
        bulletinBase + QStringLiteral("/periodic-bulletin.php?op=fetchDonemselVerileri&startDate=%1&endDate=%1").arg(day),
        exchangeAgent, false, QStringLiteral("Altın kuru yükleniyor: ") + day);
    if (!reply)
        return {};
    CurrencyData result;
    if (reply->error() != QNetworkReply::NoError)
        qDebug() << "Network error:" << reply->errorString();
    else
        result = parseResponse(date, reply->readAll());
    // Spaces the back-fill's requests to the exchange's site.
    if (pause != 0 && !interrupted())
        QThread::msleep(ulong(pause));
    return result;
}

CurrencyData ConfigWorker::parseResponse(const QByteArray &date, const QByteArray &body)
{
    if (body.isEmpty())
        return {};
    static const QRegularExpression textLine(
        QStringLiteral("TL/kg\\s+([0-9.,]+)\\s+([0-9.,]+)\\s+([0-9.,]+)\\s+([0-9.,]+)"));
    static const QRegularExpression xmlTags[4] = {
        QRegularExpression(QStringLiteral("<onceki_kapanis>([0-9.,]+)</onceki_kapanis>")),
        QRegularExpression(QStringLiteral("<en_dusuk>([0-9.,]+)</en_dusuk>")),
        QRegularExpression(QStringLiteral("<en_yuksek>([0-9.,]+)</en_yuksek>")),
        QRegularExpression(QStringLiteral("<kapanis>([0-9.,]+)</kapanis>")),
    };
    const QString page = QString::fromUtf8(body);
    QString prices[4];
    if (!page.contains(QLatin1String("<?xml"))) {
        const QRegularExpressionMatch m = textLine.match(page);
        if (!m.hasMatch())
            return {};
        for (int i = 0; i < 4; ++i)
            prices[i] = m.captured(i + 1);
    } else {
        for (int i = 0; i < 4; ++i) {
            const QRegularExpressionMatch m = xmlTags[i].match(page);
            if (!m.hasMatch())
                return {};
            prices[i] = m.captured(1);
        }
    }
    CurrencyData c;
    c.date = date;
    c.oldc = priceOf(prices[0]);
    if (c.oldc == 0)
        c.oldc = findPreviousClose(date);
    c.newl = priceOf(prices[1]);
    c.newh = priceOf(prices[2]);
    c.newc = priceOf(prices[3]);
    if (c.oldc == 0)
        return {};
    return c;
}

CurrencyData ConfigWorker::fetchCurrencyFromServer(const QByteArray &date)
{
    if (serverUrl.isEmpty())
        return {};
    const QString day = QString::fromLatin1(date);
    QNetworkReply *reply = wait(QStringLiteral("%1/api/currency?date=%2").arg(serverUrl, day), serverAgent,
                                config->testMode, QStringLiteral("Altın kuru yükleniyor: ") + day);
    if (!reply)
        return {};
    if (reply->error() != QNetworkReply::NoError) {
        qDebug() << "Network error:" << reply->errorString();
        return {};
    }
    QList<CurrencyData> received;
    if (!parseAndSaveCurrencyRates(reply->readAll(), &received))
        return {};
    CurrencyData result;
    QSqlQuery q(db);
    q.prepare(QStringLiteral("SELECT date, oldc, newl, newh, newc FROM currency WHERE date = ?"));
    q.addBindValue(QString::fromLatin1(date));
    if (q.exec() && q.next())
        result = rowOf(q);
    if (result.date.isEmpty()) {
        // Today's values before the close are kept in the cache only.
        for (const CurrencyData &c : std::as_const(received)) {
            if (c.date == date)
                result = c;
        }
    }
    writeCache(result);
    return result;
}

bool ConfigWorker::parseAndSaveCurrencyRates(const QByteArray &body)
{
    return parseAndSaveCurrencyRates(body, nullptr);
}

bool ConfigWorker::parseAndSaveCurrencyRates(const QByteArray &body, QList<CurrencyData> *received)
{
    if (body.isEmpty())
        return false;
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError) {
        qDebug() << "parseAndSaveCurrencyRates:" << error.errorString();
        return false;
    }
    QJsonArray rates;
    if (doc.isArray()) {
        rates = doc.array();
    } else if (doc.isObject()) {
        rates.append(doc.object());
    } else {
        qDebug() << "Expected JSON array or object from server";
        return false;
    }
    if (rates.isEmpty()) {
        qDebug() << "No currency rates found in response";
        return false;
    }
    QSqlQuery q(db);
    q.prepare(QStringLiteral("INSERT OR REPLACE INTO currency (date, oldc, newl, newh, newc) VALUES (?, ?, ?, ?, ?)"));
    int kept = 0;
    for (const QJsonValue &value : std::as_const(rates)) {
        if (!value.isObject())
            continue;
        const QJsonObject o = value.toObject();
        CurrencyData c;
        c.date = o.value(QLatin1String("date")).toString().toLatin1();
        c.oldc = o.value(QLatin1String("oldc")).toInteger(0);
        c.newl = o.value(QLatin1String("newl")).toInteger(0);
        c.newh = o.value(QLatin1String("newh")).toInteger(0);
        c.newc = o.value(QLatin1String("newc")).toInteger(0);
        // Keys that no lookup would ever find are not stored.
        if (c.date.isEmpty() || !dateOf(c.date).isValid())
            continue;
        if (notClosedYet(c.date)) {
            // The server's intraday values would otherwise stand in for the close for good.
            writeCache(c);
        } else {
            q.addBindValue(QString::fromLatin1(c.date));
            q.addBindValue(c.oldc);
            q.addBindValue(c.newl);
            q.addBindValue(c.newh);
            q.addBindValue(c.newc);
            if (!q.exec()) {
                qDebug() << "Failed to insert currency data for" << c.date << ":" << q.lastError().text();
                continue;
            }
            writeCache(c);
        }
        if (received)
            received->append(c);
        ++kept;
    }
    if (kept == 0) {
        qDebug() << "Warning: No currency rates were saved to database";
        return false;
    }
    return true;
}

CurrencyData ConfigWorker::parseResponseLive(const QByteArray &body)
{
    if (body.isEmpty())
        return {};
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError) {
        qDebug() << "parseResponseLive:" << error.errorString();
        return {};
    }
    if (!doc.isObject()) {
        qDebug() << "parseResponseLive:" << "Expected JSON Object";
        return {};
    }
    const QJsonObject root = doc.object();
    QJsonArray items;
    for (auto it = root.begin(); it != root.end(); ++it) {
        if (it.value().isArray())
            items = it.value().toArray();
    }
    auto text = [](const QJsonObject &o, const char *key) {
        const QJsonValue v = o.value(QLatin1String(key));
        return v.isString() ? v.toString() : QString();
    };
    CurrencyData c;
    bool any = false;
    for (const QJsonValue &value : std::as_const(items)) {
        if (!value.isObject())
            continue;
        const QJsonObject o = value.toObject();
        const QString low = text(o, "lowValue");
        const QString high = text(o, "highValue");
        const QString current = text(o, "currentValue");
        const QString stamp = text(o, "lastCalculatedDate");
        if (low.isEmpty() || high.isEmpty() || current.isEmpty() || stamp.isEmpty())
            continue;
        c.date = dayOfStamp(stamp);
        c.newc = qMax(c.newc, priceOf(current));
        c.newh = qMax(c.newh, priceOf(high));
        c.newl = qMin(any ? c.newl : c.newh, priceOf(low));
        any = true;
    }
    return any ? c : CurrencyData();
}

bool ConfigWorker::saveCurrency(const CurrencyData &data)
{
    if (data.date.isEmpty())
        return false;
    if (notClosedYet(data.date))
        return true;
    QSqlQuery q(db);
    q.prepare(QStringLiteral("INSERT OR REPLACE INTO currency (date, oldc, newl, newh, newc) VALUES (?, ?, ?, ?, ?)"));
    q.addBindValue(QString::fromLatin1(data.date));
    q.addBindValue(data.oldc);
    q.addBindValue(data.newl);
    q.addBindValue(data.newh);
    q.addBindValue(data.newc);
    if (!q.exec()) {
        qDebug() << "Failed to save currency data:" << q.lastError().text();
        return false;
    }
    return true;
}

void ConfigWorker::setServerUrl(const QString &url)
{
    serverUrl = url;
}

void ConfigWorker::setExchange(const QString &bulletin, const QString &live)
{
    bulletinBase = bulletin;
    liveBase = live;
}

qint64 ConfigWorker::priceOf(const QString &text)
{
    QString s = text.trimmed();
    const qsizetype c = s.indexOf(QLatin1Char(','));
    const qsizetype d = s.indexOf(QLatin1Char('.'));
    const bool onlyCommas = c >= 0 && d < 0;
    const bool onlyDots = d >= 0 && c < 0;
    const QChar lone = onlyCommas ? QLatin1Char(',') : QLatin1Char('.');
    if ((onlyCommas || onlyDots) && s.count(lone) > 1) {
        // A separator that repeats groups thousands; it is never a decimal mark.
        s.remove(lone);
    } else {
        s.remove(c < d ? QLatin1Char(',') : QLatin1Char('.'));
        if (c != d) {
            const qsizetype cut = s.indexOf(c < d ? QLatin1Char('.') : QLatin1Char(','));
            if (cut >= 0)
                s.truncate(cut);
        }
    }
    bool ok = false;
    const qint64 value = s.toLongLong(&ok);
    return ok && value > 0 ? value / 10 : 0;
}

bool ConfigWorker::isTradingTime(const QDateTime &at)
{
    if (at.date().dayOfWeek() > 5)
        return false;
    const QTime t = at.time();
    return t > QTime(9, 0) && t < QTime(17, 0);
}

QNetworkReply *ConfigWorker::get(const QString &url, const QByteArray &userAgent, bool skipPeerVerify)
{
    QNetworkRequest request{QUrl(url)};
    request.setRawHeader("User-Agent", userAgent);
#if QT_CONFIG(ssl)
    if (skipPeerVerify) {
        QSslConfiguration ssl = request.sslConfiguration();
        ssl.setPeerVerifyMode(QSslSocket::VerifyNone);
        request.setSslConfiguration(ssl);
    }
#else
    Q_UNUSED(skipPeerVerify);
#endif
    return nam->get(request);
}

QNetworkReply *ConfigWorker::wait(const QString &url, const QByteArray &userAgent, bool skipPeerVerify,
                                  const QString &label)
{
    if (!nam || interrupted())
        return nullptr;
    const QUrl parsed(url);
    const QString host = parsed.host() + QLatin1Char(':') + QString::number(parsed.port());
    const QDateTime now = Config::now();
    {
        QMutexLocker lock(&config->cacheMutex);
        if (config->rateMisses.isHostDown(host, now.toMSecsSinceEpoch(), now.date())) {
            qDebug() << "Network error:" << host << "was unreachable a moment ago; not asked again yet";
            return nullptr;
        }
    }
    QNetworkReply *reply = config->progress(get(url, userAgent, skipPeerVerify), label, 1000, tuning().timeoutMs);
    if (!reply)
        return nullptr;
    if (!unreachable(reply->error())) {
        answered = true;
    } else if (!interrupted()) {
        const qint64 at = Config::now().toMSecsSinceEpoch();
        QMutexLocker lock(&config->cacheMutex);
        config->rateMisses.addHostDown(host, at);
    }
    return reply;
}

bool ConfigWorker::isMissing(const QByteArray &date)
{
    const QDateTime now = Config::now();
    QMutexLocker lock(&config->cacheMutex);
    return config->rateMisses.isMissing(date, now.toMSecsSinceEpoch(), now.date());
}

void ConfigWorker::addMiss(const QByteArray &date)
{
    if (interrupted())
        return;
    const QDateTime now = Config::now();
    QMutexLocker lock(&config->cacheMutex);
    config->rateMisses.addMiss(date, now.toMSecsSinceEpoch(), now.date());
}

bool ConfigWorker::interrupted() const
{
    return QThread::currentThread()->isInterruptionRequested();
}
