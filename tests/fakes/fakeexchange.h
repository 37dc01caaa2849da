#pragma once

// The exchange's two gold-price pages and a linked server's currency endpoint.

#include "fakehttpserver.h"

#include <QHash>

class FakeExchange : public FakeHttpServer
{
    Q_OBJECT

public:
    static constexpr const char *bulletinPath = "/periodic-bulletin.php";
    static constexpr const char *livePath = "/bist-pay-indexes.php";

    explicit FakeExchange(QObject *parent = nullptr);

    // The bulletin page of one day ("yyyy-MM-dd", taken from startDate). Days without one get
    // the fallback, by default an empty day: a page without prices.
    void setBulletin(const QByteArray &date, const FakeResponse &response) { days.insert(date, response); }
    void setFallbackBulletin(Handler handler) { fallback = std::move(handler); }
    void setLive(const FakeResponse &response) { live = response; }

    // A text bulletin with one "TL/kg" line of four prices (previous close, low, high, close).
    static QByteArray textBulletin(const QByteArray &prev, const QByteArray &low, const QByteArray &high,
                                   const QByteArray &close);
    // The XML variant; a tag named in `omit` is left out.
    static QByteArray xmlBulletin(const QByteArray &prev, const QByteArray &low, const QByteArray &high,
                                  const QByteArray &close, const QByteArray &omit = QByteArray());
    static QByteArray emptyDay();
    // The live index page with one element per tuple (low, high, current, stamp).
    static QByteArray liveJson(const QList<QList<QByteArray>> &items);

    // startDate of each bulletin request, in the order received.
    QList<QByteArray> bulletinDates() const;
    int bulletinRequests(const QByteArray &date = QByteArray()) const;
    int liveRequests() const { return requestCount(QLatin1String(livePath)); }

private:
    QHash<QByteArray, FakeResponse> days;
    Handler fallback;
    FakeResponse live;
};

class FakeLinkedServer : public FakeHttpServer
{
    Q_OBJECT

public:
    explicit FakeLinkedServer(QObject *parent = nullptr);

    // The answer to "/api/currency?date=<date>"; other dates get "[]".
    void setCurrency(const QByteArray &date, const FakeResponse &response) { answers.insert(date, response); }
    static QByteArray record(const QByteArray &date, qint64 oldc, qint64 newl, qint64 newh, qint64 newc);

    int currencyRequests(const QByteArray &date = QByteArray()) const;

private:
    QHash<QByteArray, FakeResponse> answers;
};
