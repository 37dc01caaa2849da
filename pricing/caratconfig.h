#pragma once

#include "ratio.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QString>

// One product line the jeweller sells: a carat of jewellery by the gram, or a coin by the piece.
struct CaratConfig
{
    QString cname;          // carat name shown in the table and menus
    QString pname;          // product name, the invoice's gold line
    QString lname;          // labour name, the invoice's labour line
    qint32 carat = 0;
    Ratio cfine;            // fineness as a fraction of 1
    Ratio cf;               // grams of gold in one unit; 1/1 for goods sold by the gram
    qint8 levelScale = 0;   // derived, never serialised
    quint8 ctype = 0;       // 0: pieces, 1: grams
    qint8 index = 0;
    bool required = false;
    bool enabled = true;
    quint8 minperc = 0;

    // Builds a line from a stored carat row; milyem is the fineness of its carat (0 when unknown).
    static CaratConfig fromStored(int id, int carat, const QString &cname, const QString &pname,
                                  const QString &lname, qint64 cfnum, qint64 cfden, bool required,
                                  int milyem);

    QJsonObject toJO() const;
    bool fromJO(const QJsonObject &o);
};

class CaratConfigList : public QList<CaratConfig>
{
public:
    using QList<CaratConfig>::QList;

    QJsonArray toJA() const;
    void fromJA(const QJsonArray &array);
    qint8 maxIndex() const;
    // Rebuilds the list so that every line sits at the position equal to its index.
    void pad();
};

struct LaborConfig
{
    Ratio taxratio;         // VAT on labour
    qint32 unitmin = 0;     // kuruş of labour per 100,000 kuruş of pure gold
    qint32 unitmax = 0;
    qint32 limit = 0;       // grams of pure gold at which the labour band is fully shifted

    QJsonObject toJO() const;
    bool fromJO(const QJsonObject &o);
};

struct RateConfig
{
    qint64 low = 0;         // kuruş per gram of pure gold
    qint64 high = 0;
};
