#include "caratconfig.h"

#include <QSet>

#include <limits>

namespace {

// The JSON value's integer reading, as for fields sent by clients: non-numbers read 0.
qint64 jsonInt(const QJsonValue &v)
{
    return v.toInteger();
}

// A decimal string converted to a 32-bit integer; anything else reads 0.
qint32 stringInt32(const QJsonValue &v)
{
    bool ok = false;
    const qint64 n = v.toString().toLongLong(&ok, 10);
    if (!ok || n < std::numeric_limits<qint32>::min() || n > std::numeric_limits<qint32>::max())
        return 0;
    return qint32(n);
}

} // namespace

CaratConfig CaratConfig::fromStored(int id, int carat, const QString &cname, const QString &pname,
                                    const QString &lname, qint64 cfnum, qint64 cfden, bool required,
                                    int milyem)
{
    CaratConfig c;
    c.index = qint8(id);
    c.carat = carat;
    c.cname = cname;
    c.pname = pname;
    c.lname = lname;
    c.required = required;
    c.cfine = milyem != 0 ? Ratio(milyem, 1000) : Ratio(0, 1);
    const qint64 numerator = quint64(cfnum) <= 1 ? 1 : cfnum;
    c.cf = cfden == 0 ? Ratio::raw(numerator, 0) : Ratio(numerator, cfden);
    c.ctype = cfnum == 0 ? 1 : 0;
    if (cfnum != 0)
        c.levelScale = 100;
    else if (carat != 0)
        c.levelScale = qint8((carat * 100 + 21) / 22 - 1);
    else
        c.levelScale = 0;
    c.enabled = false;
    c.minperc = 0;
    return c;
}

QJsonObject CaratConfig::toJO() const
{
    return QJsonObject{
        {"index", index},
        {"carat", carat},
        {"cname", cname},
        {"pname", pname},
        {"lname", lname},
        {"ctype", ctype},
        {"cfine", cfine.num},
        {"cfnum", ctype != 0 ? 0 : cf.num},
        {"cfden", cf.den},
        {"enabled", enabled ? 1 : 0},
        {"minperc", minperc},
        {"required", required ? 1 : 0},
    };
}

bool CaratConfig::fromJO(const QJsonObject &o)
{
    if (o.contains("index"))
        index = qint8(jsonInt(o["index"]));
    else if (o.contains("id"))
        index = qint8(jsonInt(o["id"]));
    if (o.contains("carat"))
        carat = qint32(jsonInt(o["carat"]));
    if (o.contains("cname"))
        cname = o["cname"].toString();
    if (o.contains("pname"))
        pname = o["pname"].toString();
    if (o.contains("lname"))
        lname = o["lname"].toString();
    if (o.contains("ctype"))
        ctype = quint8(jsonInt(o["ctype"]));
    if (o.contains("cfine"))
        cfine.num = jsonInt(o["cfine"]);
    if (o.contains("cfnum"))
        cf.num = jsonInt(o["cfnum"]);
    if (o.contains("cfden"))
        cf.den = jsonInt(o["cfden"]);
    if (o.contains("enabled"))
        enabled = jsonInt(o["enabled"]) != 0;
    if (o.contains("required"))
        required = jsonInt(o["required"]) != 0;
    if (o.contains("minperc"))
        minperc = quint8(jsonInt(o["minperc"]));
    return true;
}

QJsonArray CaratConfigList::toJA() const
{
    QJsonArray a;
    for (const CaratConfig &c : *this) {
        if (c.index > 0)
            a.append(c.toJO());
    }
    return a;
}

void CaratConfigList::fromJA(const QJsonArray &array)
{
    qint64 next = maxIndex();
    const CaratConfigList old = *this;
    CaratConfigList fresh;

    for (const QJsonValue &v : array) {
        if (!v.isObject())
            continue;
        QJsonObject o = v.toObject();
        qint64 k = jsonInt(o["id"]);
        if (k == 0)
            k = jsonInt(o["index"]);
        if (k == 0) {
            k = ++next;
            o["index"] = k;
        }
        auto it = std::find_if(old.cbegin(), old.cend(), [k](const CaratConfig &c) { return c.index == k; });
        CaratConfig line = it != old.cend() ? *it : CaratConfig();
        line.fromJO(o);
        fresh.append(line);
    }

    QSet<qint8> kept;
    for (const CaratConfig &c : fresh)
        kept.insert(c.index);
    for (const CaratConfig &c : old) {
        if (c.required && !kept.contains(c.index))
            fresh.append(c);
    }

    *this = fresh;
    pad();
}

qint8 CaratConfigList::maxIndex() const
{
    qint8 m = 0;
    for (const CaratConfig &c : *this)
        m = std::max(m, c.index);
    return m;
}

void CaratConfigList::pad()
{
    const qint8 d = maxIndex();
    if (d == 0)
        return;
    CaratConfigList padded;
    padded.resize(d + 1);
    for (const CaratConfig &c : std::as_const(*this)) {
        if (c.index >= 0 && c.index <= d)
            padded[c.index] = c;
    }
    *this = padded;
}

QJsonObject LaborConfig::toJO() const
{
    qint64 percent = taxratio.den == 0 ? 0 : taxratio.num * 100 / taxratio.den;
    if (percent == 0)
        percent = 20;
    return QJsonObject{
        {"taxratio", QString::number(percent)},
        {"unitmin", QString::number(unitmin)},
        {"unitmax", QString::number(unitmax)},
        {"limit", QString::number(limit)},
    };
}

bool LaborConfig::fromJO(const QJsonObject &o)
{
    if (o.contains("taxratio"))
        taxratio = Ratio(stringInt32(o["taxratio"]), 100);
    if (o.contains("unitmin"))
        unitmin = stringInt32(o["unitmin"]);
    if (o.contains("unitmax"))
        unitmax = stringInt32(o["unitmax"]);
    if (o.contains("limit"))
        limit = stringInt32(o["limit"]);
    return true;
}
