#include "row.h"

#include "config/config.h"
#include "config/user.h"
#include "config/util.h"
#include "pricing/muldiv.h"

#include <QDate>

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace {

// Ordering of CaratList::sort, for ties between equal stepped values.
bool keyLess(const Carat &a, const Carat &b)
{
    if (a.ob != b.ob)
        return a.ob < b.ob;
    if (a.li != b.li)
        return a.li < b.li;
    if (a.lt != b.lt)
        return a.lt < b.lt;
    if (a.dv != b.dv)
        return a.dv < b.dv;
    return a.ci < b.ci;
}

QString quantityText(const Carat &c)
{
    if (c.at == 0)
        return QString();
    if (c.ct == 0)
        return QString::number(c.at / 100);
    return formatTurkish(c.at, 2 * c.ct);
}

// (value × 100 + 50) ÷ at: a price over a quantity in hundredths, to the nearest kuruş per unit.
qint64 perUnit(qint64 value, qint64 at)
{
    if (at == 0)
        return 0;
    const __int128 q = (__int128(value) * 100 + 50) / at;
    if (q > std::numeric_limits<qint64>::max())
        return std::numeric_limits<qint64>::max();
    if (q < std::numeric_limits<qint64>::min())
        return std::numeric_limits<qint64>::min();
    return qint64(q);
}

qint64 distance(qint64 a, qint64 b)
{
    const __int128 d = __int128(a) - b;
    const __int128 m = d < 0 ? -d : d;
    return m > std::numeric_limits<qint64>::max() ? std::numeric_limits<qint64>::max() : qint64(m);
}

} // namespace

bool isValidTaxNo(quint64 n)
{
    if (n < 1000000000ULL || n > 9999999999ULL)
        return false;
    int digits[10];
    for (int i = 9; i >= 0; --i) {
        digits[i] = int(n % 10);
        n /= 10;
    }
    int sum = 0;
    for (int i = 1; i <= 9; ++i) {
        const int t = (digits[i - 1] + 10 - i) % 10;
        if (t == 0)
            continue;
        int term = (t * (1 << (10 - i))) % 9;
        sum += term == 0 ? 9 : term;
    }
    return digits[9] == (10 - sum % 10) % 10;
}

bool isValidNationalNo(quint64 n)
{
    if (n < 10000000000ULL || n > 99999999999ULL)
        return false;
    int d[11];
    for (int i = 10; i >= 0; --i) {
        d[i] = int(n % 10);
        n /= 10;
    }
    const int odd = d[0] + d[2] + d[4] + d[6] + d[8];
    const int even = d[1] + d[3] + d[5] + d[7];
    const int tenth = ((7 * odd - even) % 10 + 10) % 10;
    if (d[9] != tenth)
        return false;
    int sum = 0;
    for (int i = 0; i < 10; ++i)
        sum += d[i];
    return d[10] == sum % 10;
}

void normalizeName(QString &name)
{
    util::latinize(name);
    name = name.trimmed().toUpper();
}

Row::Row(User *user) : user(user)
{
    carats.user = user;
}

Row::Row(User *user, const QByteArray &date, const QByteArray &name, qint64 price, qint64 ident)
    : date(date), names{name}, scores{0}, user(user), price(price)
{
    carats.user = user;
    fetchRate();
    taxNo = isValidTaxNo(quint64(ident)) ? ident : 0;
    nationalNo = isValidNationalNo(quint64(ident)) ? ident : 0;
    checkPrice();
    calculate();
    refresh();
}

void Row::clear()
{
    raw.clear();
    draftId.clear();
    invoiceNo.clear();
    date.clear();
    names.clear();
    scores.clear();
    rate = RateConfig();
    carats.clear();
    carats.user = user;
    texts.clear();
    tokens = {QByteArray()};
    note.clear();
    price = taxNo = nationalNo = amount = pureRate = 0;
    caratIndex = caratId = 0;
    invoiced = invalid = excluded = filtered = combined = false;
}

void Row::fetchRate()
{
    rate = user && user->config ? user->config->rateOf(date) : RateConfig();
}

// ---- identity and name ----

void Row::setIdent(qint64 n)
{
    if (n == 0) {
        taxNo = nationalNo = 0;
    } else if (isValidTaxNo(quint64(n))) {
        taxNo = n;
        nationalNo = 0;
    } else if (isValidNationalNo(quint64(n))) {
        taxNo = 0;
        nationalNo = n;
    } else {
        taxNo = 0;
        nationalNo = unknownPerson;
    }
}

qint64 Row::ident() const
{
    const int s = scores.value(0);
    const int u = s % 10;
    const int t = s / 10;
    const bool oneName = names.size() == 1 && !names.first().isEmpty();
    if (oneName && u == 5)
        return nationalNo;
    if (oneName && (u < 1 || u > 5) && (t == 4 || t == 5))
        return taxNo != 0 ? taxNo : nationalNo;
    return nationalNo != 0 ? nationalNo : taxNo;
}

int Row::kind() const
{
    if (names.size() != 1 || names.first().isEmpty())
        return PayerUndetermined;
    const int s = scores.value(0);
    const int u = s % 10;
    const int t = s / 10;
    if (u >= 1 && u <= 3)
        return PayerUndetermined;
    if (u == 5)
        return PayerPerson;
    if (u == 4)
        return nationalNo != 0 && taxNo == 0 ? PayerPerson : PayerUndetermined;
    if (t >= 1 && t <= 3)
        return PayerUndetermined;
    if (t == 5)
        return PayerCompany;
    if (t == 4)
        return taxNo != 0 || nationalNo == 0 ? PayerCompany : PayerUndetermined;
    if (taxNo != 0)
        return nationalNo == 0 ? PayerCompany : PayerUndetermined;
    return nationalNo != 0 ? PayerPerson : PayerUndetermined;
}

void Row::setName(const QByteArray &name)
{
    tokens.clear();
    filtered = false;
    invalid = price < minimumPrice;
    const QByteArray previousName = names.value(0);
    const int previousScore = scores.value(0);
    names.resize(1);
    scores.resize(1);
    names[0] = name;
    scores[0] = name == previousName && previousScore >= 40 ? previousScore : 0;
}

void Row::checkName()
{
    if (!names.isEmpty()) {
        tokens.removeIf([](const QByteArray &token) { return token.size() <= 2; });
        return;
    }
    tokens.clear();
    QList<QByteArray> fields = raw.toUpper().split('|');
    if (!fields.isEmpty())
        fields.removeFirst();
    for (const QByteArray &field : std::as_const(fields)) {
        if (!field.contains(' '))
            continue;
        for (const QByteArray &word : field.split(' ')) {
            if (!word.isEmpty())
                tokens.append(word);
        }
    }
    if (tokens.isEmpty()) {
        for (const QByteArray &field : std::as_const(fields)) {
            if (!field.isEmpty() && field.at(0) >= 'A' && field.at(0) <= 'Z')
                tokens.append(field);
        }
    }
    if (tokens.size() >= 2) {
        QByteArray joined = tokens.join(' ');
        while (joined.size() >= 37 && !tokens.isEmpty()) {
            tokens.removeLast();
            joined = tokens.join(' ');
        }
        tokens = {tokens.isEmpty() ? QByteArray() : joined};
    }
    if (price >= minimumPrice && (taxNo != 0 || nationalNo != 0)) {
        invalid = false;
        names = {QByteArray()};
    } else {
        invalid = true;
        names = tokens;
        tokens.clear();
    }
    // An entry of numbers only leaves no name at all; scores stay paired with names.
    scores = QList<int>(names.size(), 0);
}

bool Row::checkFilter()
{
    if (tokens.contains(QByteArrayLiteral("?"))) {
        checkName();
        invalid = true;
        return true;
    }
    invalid = price < minimumPrice;
    return false;
}

bool Row::garbage() const
{
    if (price >= minimumPrice)
        return false;
    return (names.isEmpty() && tokens.isEmpty()) || (price == 0 && !raw.contains(','));
}

void Row::reset()
{
    fetchRate();
    carats.clear();
    carats.user = user;
    texts.clear();
    amount = pureRate = 0;
    caratIndex = caratId = 0;

    if (!user || !user->config)
        return;
    qint64 n = ident();
    if (n == 0 && !firstName().isEmpty()) {
        const qint64 found = user->findCustomerIdent(QString::fromLatin1(firstName()));
        if (found <= 0)
            return;
        setIdent(found);
        n = found;
    }
    if ((isValidTaxNo(quint64(n)) || isValidNationalNo(quint64(n))) && firstName().isEmpty()) {
        const CustomerInfo customer = user->getCustomer(n);
        if (customer.ident != 0 || !customer.name.isEmpty()) {
            QString name = customer.name;
            normalizeName(name);
            setName(name.toLatin1());
        }
    }
}

// ---- date and money ----

void Row::setDate(const QByteArray &text)
{
    if (text == date)
        return;
    const QString s = QString::fromLatin1(text);
    QDate day = QDate::fromString(s, QStringLiteral("yyyy-MM-dd"));
    if (!day.isValid())
        day = QDate::fromString(s, QStringLiteral("dd.MM.yyyy"));
    if (!day.isValid())
        day = QDate::fromString(s, QStringLiteral("dd/MM/yyyy"));
    if (!day.isValid() || !user || !user->config)
        return;
    const QByteArray formatted = day.toString(QStringLiteral("yyyy-MM-dd")).toLatin1();
    const RateConfig found = user->config->rateOf(formatted);
    if (found.low == 0 || found.high == 0)
        return;
    rate = found;
    date = formatted;
    calculate();
}

void Row::setPrice(qint64 p)
{
    if (p == price || (p < minimumPrice && p < price))
        return;
    price = p;
    amount = pureRate = 0;
    calculate();
}

void Row::checkPrice()
{
    if (rate.low / 100 >= price)
        price = ((rate.high + 500000) / 1000000) * 10000000;
}

void Row::calculate()
{
    carats.user = user;
    if (price <= 999) {
        invalid = true;
        Carat empty;
        empty.ll = 0;
        empty.dv = 0;
        empty.pc = price;
        carats.clear();
        carats.append(empty);
        caratIndex = caratId = 0;
        return;
    }
    if (amount == 0) {
        caratIndex = caratId = 0;
        carats = Carat::calc(user, rate, price);
        return;
    }
    const Carat *current = selected();
    const int id = current ? current->ci : caratId;
    const QList<Carat> found = Carat::calc(user, rate, price, id, amount, pureRate);
    carats.clear();
    carats.append(found);
    carats.user = user;
    carats.sort();

    int best = -1;
    for (int i = 0; i < carats.size(); ++i) {
        if (carats[i].ci == id && (best < 0 || distance(carats[i].at, amount) < distance(carats[best].at, amount)))
            best = i;
    }
    caratId = id;
    if (best < 0) {
        // No split exists at this quantity: the row shows no candidate until another is asked for.
        caratIndex = 0;
        return;
    }
    caratIndex = best;
    amount = carats[best].at;

    if (pureRate != 0) {
        int closest = -1;
        for (int i = 0; i < carats.size(); ++i) {
            const Carat &c = carats[i];
            if (c.ci == id && c.at == amount
                && (closest < 0 || distance(c.pr, pureRate) < distance(carats[closest].pr, pureRate)))
                closest = i;
        }
        if (closest >= 0) {
            caratIndex = closest;
            pureRate = carats[closest].pr;
        }
    }
}

void Row::setAmount(qint64 a)
{
    if (a == amount)
        return;
    amount = a;
    pureRate = 0;
    calculate();
}

void Row::setPureRate(qint64 r)
{
    if (r == pureRate)
        return;
    const Carat *current = selected();
    amount = current ? current->at : 0;
    pureRate = std::max(rate.low, std::min(rate.high, r));
    calculate();
}

void Row::setRate(qint64 r)
{
    const CaratConfig *line = selectedLine();
    qint64 pure = 0;
    if (line && line->cfine.num != 0 && line->cf.num != 0 && line->cfine.den != 0 && line->cf.den != 0)
        pure = scaled(r, Ratio(line->cfine.den, line->cfine.num), Ratio(line->cf.den, line->cf.num));
    if (pure == pureRate)
        return;
    const Carat *current = selected();
    amount = current ? current->at : 0;
    pureRate = std::max(rate.low, std::min(rate.high, pure));
    calculate();
}

void Row::setProductPrice(qint64 v)
{
    const Carat *current = selected();
    const qint64 at = current ? current->at : 0;
    setRate(perUnit(v, at));
}

void Row::setLaborPrice(qint64 l)
{
    const Ratio tax = user ? user->labor.taxratio : Ratio();
    const qint64 taxed = tax.den == 0 ? 0 : mulDiv(l, tax.num + tax.den, tax.den);
    const Carat *current = selected();
    const qint64 at = current ? current->at : 0;
    setRate(perUnit(price - taxed, at));
}

void Row::setLaborTax(qint64 x)
{
    const Ratio tax = user ? user->labor.taxratio : Ratio();
    setLaborPrice(tax.num == 0 ? 0 : mulDiv(x, tax.den, tax.num));
}

void Row::setLaborUnit(qint64 u)
{
    const Carat *current = selected();
    setLaborPrice(mulDiv(u, current ? current->at : 0, 100));
}

void Row::setLaborGram(qint64 g)
{
    const CaratConfig *line = selectedLine();
    const qint64 unitLabor = line ? scaled(g, line->cf) : 0;
    const Carat *current = selected();
    setLaborPrice(mulDiv(unitLabor, current ? current->at : 0, 100));
}

// ---- stepping ----

void Row::step(Stepped what, int direction)
{
    const Carat *current = selected();
    if (!current)
        return;
    auto valueOf = [what](const Carat &c) {
        switch (what) {
        case Stepped::Rate: return c.rt;
        case Stepped::Amount: return c.at;
        case Stepped::LaborUnit: return c.lu;
        case Stepped::ProductPrice: return c.pp;
        case Stepped::LaborPrice: return c.lp;
        case Stepped::LaborTax: return c.lt;
        }
        return qint64(0);
    };
    QList<int> same;
    for (int i = 0; i < carats.size(); ++i) {
        if (carats[i].ci == current->ci)
            same.append(i);
    }
    std::sort(same.begin(), same.end(), [&](int a, int b) {
        const qint64 va = valueOf(carats[a]), vb = valueOf(carats[b]);
        if (va != vb)
            return va < vb;
        if (keyLess(carats[a], carats[b]) || keyLess(carats[b], carats[a]))
            return keyLess(carats[a], carats[b]);
        return a < b;
    });
    const int k = int(same.indexOf(caratIndex));
    if (k < 0)
        return;
    int next = k;
    if (direction < 0 && k > 0)
        next = k - 1;
    else if (direction > 0 && k < same.size() - 1)
        next = k + 1;
    selectIndex(same[next]);
    refresh();
}

void Row::incRate(int direction) { step(Stepped::Rate, direction); }
void Row::incAmount(int direction) { step(Stepped::Amount, direction); }
void Row::incLaborUnit(int direction) { step(Stepped::LaborUnit, direction); }
void Row::incProductPrice(int direction) { step(Stepped::ProductPrice, direction); }
void Row::incLaborPrice(int direction) { step(Stepped::LaborPrice, direction); }
void Row::incLaborTax(int direction) { step(Stepped::LaborTax, direction); }

void Row::selectIndex(int index)
{
    caratIndex = index;
    caratId = carats.at(index).ci;
}

// ---- column access ----

void Row::set(int column, qint64 v)
{
    if (locked())
        return;
    switch (column) {
    case 2: setIdent(v); break;
    case 3: setPrice(v); break;
    case 4: uindex(int(std::clamp<qint64>(v, -1, std::numeric_limits<int>::max()))); break;
    case 5: setAmount(v); break;
    case 6: setPureRate(v); break;
    case 7: setRate(v); break;
    case 8: setProductPrice(v); break;
    case 9: setLaborGram(v); break;
    case 10: setLaborUnit(v); break;
    case 11: setLaborPrice(v); break;
    case 12: setLaborTax(v); break;
    default: return;
    }
    refresh();
}

void Row::set(int column, const QByteArray &text)
{
    if (locked())
        return;
    switch (column) {
    case 0: setDate(text); break;
    case 1: setName(text); break;
    case 2: setIdent(text.trimmed().toLongLong()); break;
    default: return;
    }
    refresh();
}

void Row::set(int column, const QString &text)
{
    QString normalized = text;
    normalizeName(normalized);
    set(column, normalized.toLatin1());
}

void Row::set(int column, int direction, qint64 v)
{
    if (locked())
        return;
    switch (column) {
    case 3: setPrice(v); break;
    case 5: incAmount(direction); break;
    case 6:
    case 7: incRate(direction); break;
    case 8: incProductPrice(direction); break;
    case 9:
    case 10: incLaborUnit(direction); break;
    case 11: incLaborPrice(direction); break;
    case 12: incLaborTax(direction); break;
    default: return;
    }
    refresh();
}

qint64 Row::value(int column) const
{
    const Carat *c = selected();
    if (!c)
        return 0;
    switch (column) {
    case 3: return c->pc;
    case 5: {
        const CaratConfig *line = selectedLine();
        return line ? scaled(c->at, line->cfine, line->cf) : 0;
    }
    case 6: return c->pr;
    case 7: return c->rt;
    case 8: return c->pp;
    case 9: return c->lg;
    case 10: return c->lu;
    case 11: return c->lp;
    case 12: return c->lt;
    default: return 0;
    }
}

// ---- products ----

QList<int> Row::caratIndices() const
{
    QList<int> result;
    for (const Carat &c : carats) {
        if (!result.contains(c.ci))
            result.append(c.ci);
    }
    return result;
}

QList<QString> Row::caratNames() const
{
    QList<QString> result;
    for (int ci : caratIndices()) {
        const CaratConfig *line = lineOf(ci);
        result.append(line ? line->cname : QString());
    }
    return result;
}

void Row::uindex(int i)
{
    const QList<int> indices = caratIndices();
    if (i < 0 || i >= indices.size())
        return;
    const int id = indices.at(i);
    caratIndex = 0;
    for (int k = 0; k < carats.size(); ++k) {
        if (carats[k].ci == id) {
            caratIndex = k;
            break;
        }
    }
    caratId = id;
    refresh();
}

int Row::uindex() const
{
    const Carat *c = selected();
    return c ? int(caratIndices().indexOf(c->ci)) : -1;
}

const Carat *Row::selected() const
{
    return caratIndex >= 0 && caratIndex < carats.size() ? &carats.at(caratIndex) : nullptr;
}

const CaratConfig *Row::lineOf(int ci) const
{
    return user && ci >= 0 && ci < user->carats.size() ? &user->carats.at(ci) : nullptr;
}

const CaratConfig *Row::selectedLine() const
{
    const Carat *c = selected();
    return c ? lineOf(c->ci) : nullptr;
}

// ---- recalculation ----

void Row::recalc()
{
    if (carats.isEmpty()) {
        calculate();
        return;
    }
    if (!user || price < minimumPrice || carats.first().ll == user->laborLevel)
        return;
    carats.user = user;
    carats.sort();
    caratIndex = 0;
    if (caratId != 0) {
        for (int i = 0; i < carats.size(); ++i) {
            if (carats[i].ci == caratId) {
                caratIndex = i;
                break;
            }
        }
    }
}

void Row::operator()()
{
    if (locked())
        return;
    recalc();
    refresh();
}

void Row::refresh()
{
    const int columns = user && user->config && !user->config->columns.isEmpty()
                            ? int(user->config->columns.size())
                            : columnCount;
    texts.resize(columns);
    for (QString &text : texts)
        text.clear();
    auto put = [&](int column, const QString &text) {
        if (column < texts.size())
            texts[column] = text;
    };
    put(0, QString::fromLatin1(date));
    put(1, QString::fromLatin1(firstName()));
    const qint64 id = ident();
    put(2, id == 0 ? QString() : QString::number(id));
    const Carat *c = selected();
    if (!c) {
        put(3, formatTurkish(price));
        return;
    }
    const CaratConfig *line = lineOf(c->ci);
    put(3, formatTurkish(c->pc));
    put(4, line ? line->cname : QString());
    put(5, quantityText(*c));
    put(6, formatTurkish(c->pr));
    put(7, formatTurkish(c->rt));
    put(8, formatTurkish(c->pp));
    put(9, formatTurkish(c->lg));
    put(10, formatTurkish(c->lu));
    put(11, formatTurkish(c->lp));
    put(12, formatTurkish(c->lt));
}

QString Row::statusText() const
{
    if (excluded)
        return filtered ? QStringLiteral("FİLTRELENMİŞ") : QStringLiteral("SİLİNMİŞ");
    if (invalid)
        return QStringLiteral("GEÇERSİZ");
    if (invoiced)
        return QStringLiteral("FATURA:  ") + QString::fromLatin1(invoiceNo);
    if (!draftId.isEmpty())
        return QStringLiteral("TASLAK:  ") + QString::fromLatin1(invoiceNo);
    const qint64 id = ident();
    if (names.size() == 1 && !names.first().isEmpty() && id != 0)
        return QStringLiteral("HAZIR");
    if (id == 0)
        return QStringLiteral("EKSİK: Kimlik No");
    if (names.size() < 2)
        return QStringLiteral("EKSİK: Gönderen");
    return QStringLiteral("EKSİK: Gönderen (Belirsiz)");
}

// ---- JSON ----

QJsonObject Row::toJO() const
{
    QJsonArray al;
    for (const QByteArray &token : tokens)
        al.append(QString::fromLatin1(token));
    QJsonArray sl;
    for (const QByteArray &part : raw.split('|'))
        sl.append(QString::fromLatin1(part));
    return QJsonObject{
        {"dt", QString::fromLatin1(date)},
        {"pc", formatTurkish(price)},
        {"id", ident()},
        {"nn", nationalNo},
        {"tn", taxNo},
        {"st", kind()},
        {"nl", nameListToJA(names, scores)},
        {"al", al},
        {"sl", sl},
        {"cl", carats.toJA()},
    };
}

QJsonArray Row::nameListToJA(const QList<QByteArray> &names, const QList<int> &scores)
{
    QJsonArray list;
    if (names.isEmpty() || names.size() != scores.size())
        return list;
    for (qsizetype i = 0; i < names.size(); ++i)
        list.append(QJsonArray{scores.at(i), QString::fromLatin1(names.at(i))});
    return list;
}
