#pragma once

#include <QByteArray>
#include <QtGlobal>

// One day's gold prices, kuruş per gram. An empty date means no record.
struct CurrencyData
{
    QByteArray date;   // "yyyy-MM-dd"
    qint64 oldc = 0;   // previous close
    qint64 newl = 0;   // the day's low
    qint64 newh = 0;   // the day's high
    qint64 newc = 0;   // the day's close, or the current value during the day
};
