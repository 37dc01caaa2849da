#include "fakeexchange.h"

FakeExchange::FakeExchange(QObject *parent)
    : FakeHttpServer(parent)
{
    live = FakeResponse::ok("{}", "application/json");
    route(QLatin1String(bulletinPath), [this](const FakeRequest &request) {
        const QByteArray date = request.query.queryItemValue(QStringLiteral("startDate")).toLatin1();
        const auto it = days.constFind(date);
        if (it != days.constEnd())
            return it.value();
        return fallback ? fallback(request) : FakeResponse::ok(emptyDay(), "text/html; charset=utf-8");
    });
    route(QLatin1String(livePath), [this](const FakeRequest &) { return live; });
}

QByteArray FakeExchange::textBulletin(const QByteArray &prev, const QByteArray &low, const QByteArray &high,
                                      const QByteArray &close)
{
    return "<html><body><pre>\n"
           "KIYMETLI MADENLER PIYASASI - DONEMSEL BULTEN\n"
           "Urun        Birim   Onceki Kapanis   En Dusuk   En Yuksek   Kapanis\n"
           "ALTIN 995/1000 TL/kg   "
           + prev + "   " + low + "   " + high + "   " + close + "\n"
           "GUMUS 999/1000 TL/kg\n"
           "</pre></body></html>\n";
}

QByteArray FakeExchange::xmlBulletin(const QByteArray &prev, const QByteArray &low, const QByteArray &high,
                                     const QByteArray &close, const QByteArray &omit)
{
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<bulten><urun ad=\"ALTIN\" birim=\"TL/kg\">\n";
    const QList<QPair<QByteArray, QByteArray>> tags = {
        {"onceki_kapanis", prev}, {"en_dusuk", low}, {"en_yuksek", high}, {"kapanis", close}};
    for (const auto &[tag, value] : tags) {
        if (tag != omit)
            xml += "  <" + tag + ">" + value + "</" + tag + ">\n";
    }
    return xml + "</urun></bulten>\n";
}

QByteArray FakeExchange::emptyDay()
{
    return "<html><body><p>Secilen tarih araliginda veri bulunamadi.</p></body></html>\n";
}

QByteArray FakeExchange::liveJson(const QList<QList<QByteArray>> &items)
{
    QByteArray json = "{\"success\":true,\"data\":[";
    for (qsizetype i = 0; i < items.size(); ++i) {
        const QList<QByteArray> &v = items[i];
        json += (i ? "," : "") + QByteArray("{\"name\":\"ALTIN\",\"lowValue\":\"") + v.value(0)
                + "\",\"highValue\":\"" + v.value(1) + "\",\"currentValue\":\"" + v.value(2)
                + "\",\"lastCalculatedDate\":\"" + v.value(3) + "\"}";
    }
    return json + "]}";
}

QList<QByteArray> FakeExchange::bulletinDates() const
{
    QList<QByteArray> dates;
    for (const FakeRequest &r : requests()) {
        if (r.path == QLatin1String(bulletinPath))
            dates.append(r.query.queryItemValue(QStringLiteral("startDate")).toLatin1());
    }
    return dates;
}

int FakeExchange::bulletinRequests(const QByteArray &date) const
{
    if (date.isEmpty())
        return requestCount(QLatin1String(bulletinPath));
    return int(bulletinDates().count(date));
}

FakeLinkedServer::FakeLinkedServer(QObject *parent)
    : FakeHttpServer(parent)
{
    route(QStringLiteral("/api/currency"), [this](const FakeRequest &request) {
        const QByteArray date = request.query.queryItemValue(QStringLiteral("date")).toLatin1();
        return answers.value(date, FakeResponse::ok("[]", "application/json"));
    });
}

QByteArray FakeLinkedServer::record(const QByteArray &date, qint64 oldc, qint64 newl, qint64 newh, qint64 newc)
{
    return "{\"date\":\"" + date + "\",\"oldc\":" + QByteArray::number(oldc) + ",\"newl\":" + QByteArray::number(newl)
           + ",\"newh\":" + QByteArray::number(newh) + ",\"newc\":" + QByteArray::number(newc) + "}";
}

int FakeLinkedServer::currencyRequests(const QByteArray &date) const
{
    int n = 0;
    for (const FakeRequest &r : requests()) {
        if (r.path == QLatin1String("/api/currency")
            && (date.isEmpty() || r.query.queryItemValue(QStringLiteral("date")).toLatin1() == date))
            ++n;
    }
    return n;
}
