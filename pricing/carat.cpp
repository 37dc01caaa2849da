#include "carat.h"

#include "config/user.h"

#include <QLocale>

QString formatTurkish(qint64 value, int decimals)
{
    if (value == 0)
        return QString();
    const bool negative = value < 0;
    const quint64 magnitude = negative ? 0 - quint64(value) : quint64(value);
    static const QLocale turkish(QLocale::Turkish, QLocale::Turkey);
    QString text = turkish.toString(qulonglong(magnitude / 100));
    if (decimals > 0) {
        QString fraction = QString::number(magnitude % 100).rightJustified(2, QLatin1Char('0'));
        if (decimals > 2)
            fraction += QString(decimals - 2, QLatin1Char('0'));
        else
            fraction.truncate(decimals);
        text += turkish.decimalPoint() + fraction;
    }
    return negative ? turkish.negativeSign() + text : text;
}

QJsonObject Carat::toJO() const
{
    QJsonObject o{
        {"ci", ci}, {"ct", ct}, {"ll", ll}, {"li", li}, {"dv", dv}, {"ob", ob},
        {"pc", formatTurkish(pc)}, {"np", formatTurkish(np)}, {"rt", formatTurkish(rt)},
        {"pr", formatTurkish(pr)}, {"lg", formatTurkish(lg)}, {"lu", formatTurkish(lu)},
        {"pp", formatTurkish(pp)}, {"lp", formatTurkish(lp)}, {"lt", formatTurkish(lt)},
    };
    if (at == 0)
        o["at"] = QString();
    else if (ct == 0)
        o["at"] = QString::number(at / 100);
    else
        o["at"] = formatTurkish(at, 2 * ct);
    return o;
}

void Carat::fromJO(const QJsonObject &o)
{
    ct = quint8(o["ct"].toInteger());
    at = o["at"].toInteger();
    pc = o["pc"].toInteger();
    pp = o["pp"].toInteger();
    rt = o["rt"].toInteger();
    pr = o["pr"].toInteger();
    lp = o["lp"].toInteger();
    lt = o["lt"].toInteger();
    lu = o["lu"].toInteger();
    np = o["np"].toInteger();
}

QString Carat::name(const User *user) const
{
    if (!user || ci >= user->carats.size())
        return QString();
    return user->carats.at(ci).cname;
}

QJsonArray CaratList::toJA() const
{
    QJsonArray a;
    for (const Carat &c : *this)
        a.append(c.toJO());
    return a;
}
