#pragma once

#include <QByteArray>
#include <QDate>
#include <QHash>
#include <QString>
#include <QtGlobal>

// Dates that recently had no rate and hosts that recently could not be reached, so that a
// statement full of weekend payments waits on the network once per date, not once per row.
// Not thread-safe: Config guards it with cacheMutex.
class RateMisses
{
public:
    static constexpr int capacity = 512;
    static constexpr qint64 missMs = 5 * 60 * 1000;
    static constexpr qint64 hostDownMs = 60 * 1000;

    // Both take the current local time in ms since the epoch; a new day forgets everything.
    bool isMissing(const QByteArray &date, qint64 nowMs, const QDate &today)
    {
        turnDay(today);
        const auto it = misses.constFind(date);
        return it != misses.constEnd() && nowMs < it.value();
    }

    void addMiss(const QByteArray &date, qint64 nowMs, const QDate &today)
    {
        turnDay(today);
        if (misses.size() >= capacity && !misses.contains(date)) {
            for (auto it = misses.begin(); it != misses.end();)
                it = it.value() <= nowMs ? misses.erase(it) : std::next(it);
            if (misses.size() >= capacity) {
                auto oldest = misses.begin();
                for (auto it = misses.begin(); it != misses.end(); ++it) {
                    if (it.value() < oldest.value())
                        oldest = it;
                }
                misses.erase(oldest);
            }
        }
        misses.insert(date, nowMs + missMs);
    }

    bool isHostDown(const QString &host, qint64 nowMs, const QDate &today)
    {
        turnDay(today);
        const auto it = downHosts.constFind(host);
        return it != downHosts.constEnd() && nowMs < it.value();
    }

    void addHostDown(const QString &host, qint64 nowMs) { downHosts.insert(host, nowMs + hostDownMs); }
    void clearHost(const QString &host) { downHosts.remove(host); }

    void clear()
    {
        misses.clear();
        downHosts.clear();
    }

    int size() const { return int(misses.size()); }

private:
    void turnDay(const QDate &today)
    {
        if (today != day) {
            clear();
            day = today;
        }
    }

    QHash<QByteArray, qint64> misses;   // date -> forget after (ms since epoch)
    QHash<QString, qint64> downHosts;   // host -> retry after
    QDate day;
};
