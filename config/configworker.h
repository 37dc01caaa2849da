#pragma once

#include "currency.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSqlDatabase>
#include <QString>

class Config;
class QNetworkAccessManager;
class QNetworkReply;
class QTimer;

// Timings of the rate workers. The defaults are the production values; tests shorten them
// before constructing Config (the thread worker starts during construction).
struct RateTuning
{
    int timeoutMs = 10000;        // one request to the exchange or the linked server
    int threadFillPauseMs = 100;  // pause after each bulletin request of the back-fill
    int refreshMs = 600000;       // today's refresh
    bool startThread = true;      // tests that drive workers by hand switch the thread off
};

// Answers the gold rate of a date: cache, rate.db, linked server, exchange.
class ConfigWorker : public QObject
{
    Q_OBJECT

public:
    ConfigWorker(Config *config, int fillPause, QObject *parent = nullptr);
    ~ConfigWorker() override;

    static RateTuning tuning();
    static void setTuning(const RateTuning &tuning);

    bool init();
    void run();
    void done();

    CurrencyData currencyOf(const QByteArray &date);
    CurrencyData readCache(const QByteArray &date);
    void writeCache(const CurrencyData &data);

    void updateCurrentData();
    void fillMissingData();
    void setupPeriodicUpdates();
    CurrencyData loadCurrency(const QByteArray &date);
    CurrencyData fetchCurrencyLive(const QByteArray &date);
    qint64 findPreviousClose(const QByteArray &date);
    CurrencyData fetchCurrency(const QByteArray &date);
    CurrencyData parseResponse(const QByteArray &date, const QByteArray &body);
    CurrencyData fetchCurrencyFromServer(const QByteArray &date);
    bool parseAndSaveCurrencyRates(const QByteArray &body);
    static CurrencyData parseResponseLive(const QByteArray &body);
    bool saveCurrency(const CurrencyData &data);

    void setServerUrl(const QString &url);
    // Scheme and host (with an optional port) of the bulletin and the live index pages.
    void setExchange(const QString &bulletinBase, const QString &liveBase);

    // Exchange price text ("2.345.678,90", "2,345,678.90") to kuruş per gram.
    static qint64 priceOf(const QString &text);
    // True on Monday to Friday strictly between 09:00 and 17:00.
    static bool isTradingTime(const QDateTime &at);

    Config *config = nullptr;
    QSqlDatabase db;
    QNetworkAccessManager *nam = nullptr;
    QTimer *timer = nullptr;
    QString serverUrl;
    int pause = 0;
    int fillPause = 0;

private:
    QNetworkReply *get(const QString &url, const QByteArray &userAgent, bool skipPeerVerify);
    // Waits for a GET; null when the host is known to be down or the wait was cancelled.
    QNetworkReply *wait(const QString &url, const QByteArray &userAgent, bool skipPeerVerify, const QString &label);
    bool isMissing(const QByteArray &date);
    void addMiss(const QByteArray &date);
    bool interrupted() const;
    bool parseAndSaveCurrencyRates(const QByteArray &body, QList<CurrencyData> *received);

    QString connectionName;
    QString bulletinBase;
    QString liveBase;
    int previousCloseDepth = 0;
    bool answered = false;   // a source was reached during the current lookup
};
