#pragma once

#include "caratconfig.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QList>

class User;

// One candidate split of a payment into gold and labour for one carat line.
struct CaratVals
{
    quint8 ci = 0;      // carat line index
    quint8 ct = 0;      // line's ctype
    quint8 li = 0;      // distance of ll from the user's labour level
    quint8 ll = 3;      // labour level 0..6
    quint8 pos = 0;     // position after sorting
    qint8 dv = 20;      // roundness score, 0 when every figure is whole lira
    qint32 ob = 0;      // distance from the labour band
    qint64 pc = 0;      // payment
    qint64 at = 0;      // quantity, hundredths of a unit
    qint64 rt = 0;      // gold rate per unit
    qint64 unit = 0;    // total price per unit
    qint64 pp = 0;      // product (gold) price
    qint64 lu = 0;      // net labour per unit
    qint64 lg = 0;      // net labour per gram
    qint64 lp = 0;      // net labour price
    qint64 lt = 0;      // VAT on labour
    qint64 np = 0;      // payment less labour VAT
    qint64 pr = 0;      // pure-gold rate per gram implied by the split

    CaratVals() = default;
    CaratVals(const CaratConfig &line, qint64 P, qint64 Q, qint64 R, Ratio tax);
    void operator()(qint64 a, qint64 b, qint64 c);
};

class CaratList;

struct Carat : CaratVals
{
    using CaratVals::CaratVals;
    Carat() = default;
    Carat(const CaratVals &v) : CaratVals(v) {}

    QJsonObject toJO() const;
    void fromJO(const QJsonObject &o);
    QString name(const User *user) const;

    static QList<Carat> calc(const LaborConfig &labor, const CaratConfig &line, const RateConfig &rates,
                             qint64 price, qint64 amount, qint64 rate);
    static QList<Carat> calc(const User *user, const RateConfig &rates, qint64 price, int index,
                             qint64 amount, qint64 rate);
    static CaratList calc(const User *user, const RateConfig &rates, qint64 price);
};

class CaratList : public QList<Carat>
{
public:
    using QList<Carat>::QList;

    const User *user = nullptr;   // not owned; outlives the list

    QJsonArray toJA() const;
    void sort();
};

// Formats value / scale in the Turkish locale with the given decimals
// (123456, 100, 2 gives "1.234,56"); an empty text for 0.
QString formatTurkish(qint64 value, int decimals = 2);
