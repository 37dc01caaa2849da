// The split search: for each carat line, the best split of a payment at each labour level.
#include "carat.h"
#include "muldiv.h"

#include "config/user.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <limits>

namespace {

constexpr int levelCount = 7;

qint64 divOrZero(qint64 a, qint64 b)
{
    return b == 0 ? 0 : a / b;
}

// The hundredth of x, halves going up.
qint64 nearest(qint64 x)
{
    return (x + 50) / 100;
}

bool wholeHundreds(qint64 v)
{
    return v % 100 == 0;
}

// Keeps a loop over a range of about n·10 grains to a few hundred values.
qint64 stepFactor(qint64 n)
{
    qint64 p = 100;
    while (p <= n && p <= std::numeric_limits<qint64>::max() / 10)
        p *= 10;
    return n >= p / 2 ? p / 20 : p / 100;
}

qint64 alignDown(qint64 v, qint64 step)
{
    return (v / step) * step;
}

bool present(const CaratVals &v)
{
    return v.at != 0 && v.lp != 0 && v.lt != 0;
}

// Packs (ob, li, lt, dv, ci) so that comparing packs compares the fields in that order.
// ob and lt are non-negative in every split the search keeps; negative ones (foreign lists)
// still order correctly through the signed first field.
struct SortKey
{
    qint32 ob;
    quint8 li;
    qint64 lt;
    qint8 dv;
    quint8 ci;

    explicit SortKey(const Carat &c) : ob(c.ob), li(c.li), lt(c.lt), dv(c.dv), ci(c.ci) {}
    bool operator<(const SortKey &o) const
    {
        if (ob != o.ob)
            return ob < o.ob;
        if (li != o.li)
            return li < o.li;
        if (lt != o.lt)
            return lt < o.lt;
        if (dv != o.dv)
            return dv < o.dv;
        return ci < o.ci;
    }
};

} // namespace

CaratVals::CaratVals(const CaratConfig &line, qint64 P, qint64 Q, qint64 R, Ratio tax)
    : ci(quint8(line.index)), ct(line.ctype), li(0), ll(3), pos(0), dv(20), ob(0), pc(P), at(Q), rt(R)
{
    unit = nearest(divOrZero(P * 10000, Q));
    if (R >= unit)
        return;

    const qint64 t = tax.num;
    const qint64 d = tax.den;
    if (d != 0)
        lt = nearest(mulDiv(Q * t, unit - R, t + d));
    if (R != 0) {
        if (t == 0)
            return;
        lp = nearest(mulDiv(d * lt, 100, t));
    } else {
        lp = P - lt;
    }
    if (lt == 0 || lp == 0)
        return;

    np = P - lt;
    pp = P - lt - lp;
    lu = nearest(divOrZero(lp * 10000, Q));
    const qint64 g = nearest(divOrZero(pp * 10000, Q));

    if (line.cf.num != 0) {
        if (line.cfine.num != 0) {
            const __int128 num = __int128(g) * line.cf.den * line.cfine.den;
            const __int128 den = __int128(line.cf.num) * line.cfine.num;
            pr = qint64(num / den);
        }
        lg = mulDiv(lu, line.cf.den, line.cf.num);
    }

    int penalty = 0;
    if (wholeHundreds(lt))
        penalty += 4;
    if (wholeHundreds(lp))
        penalty += 5;
    if (wholeHundreds(pp))
        penalty += 5;
    if (wholeHundreds(lu))
        penalty += 2;
    if (wholeHundreds(g))
        penalty += 3;
    if (wholeHundreds(Q))
        penalty += 1;
    dv = qint8(20 - penalty);
}

void CaratVals::operator()(qint64 a, qint64 b, qint64 c)
{
    const qint64 r = lp == 0 || c == 0 ? 0 : (pp * 100 / lp) / c;
    // The reference arithmetic is 32-bit here: 5r wraps and f is kept in 32 bits.
    const qint32 fiveR = qint32(quint32(qint32(r)) * 5u);
    const qint64 span = b - a;
    const qint32 f = span == 0 ? 0 : qint32(((b - 6 * a) + fiveR) / span);
    ll = quint8(6 - std::clamp(f, 0, 6));
    const qint64 shifted = qint64(f) + (rt == 0 ? 1 : 0);
    const qint64 distance = std::abs(shifted + ll - 6);
    ob = qint32(std::min<qint64>(distance, std::numeric_limits<qint32>::max()));
}

QList<Carat> Carat::calc(const LaborConfig &labor, const CaratConfig &line, const RateConfig &rates,
                         qint64 price, qint64 amount, qint64 rate)
{
    if (labor.unitmin == 0 || labor.unitmax == 0 || labor.limit == 0 || labor.taxratio.den == 0
        || line.index == 0 || !line.enabled || line.levelScale == 0 || line.cf.den == 0
        || line.cfine.den == 0 || rates.low == 0 || rates.high == 0)
        return {};

    const Ratio tax = labor.taxratio;
    const Ratio k(tax.num + tax.den, tax.den);
    const qint64 s = line.ctype == 0 ? 100 : 1;
    const qint64 lo = rate != 0 ? rate : rates.low;
    const qint64 hi = rate != 0 ? rate : rates.high;

    const qint32 x = 20000 / labor.unitmax;
    const qint32 y = 20000 / labor.unitmin;
    if (x == y)
        return {};

    const qint32 m = qint32(std::min<qint64>(labor.limit, qint32(price / lo)));

    const qint64 U0 = scaled(lo, line.cfine, line.cf);
    const qint64 U1 = scaled(hi, line.cfine, line.cf);
    const qint64 L0 = scaled(lo, line.cf, Ratio(labor.unitmin, 100000));
    const qint64 L1 = scaled(hi, line.cf, Ratio(labor.unitmax, 100000));
    const qint64 T0 = scaled(L0, k);
    const qint64 T1 = scaled(L1, k);

    const qint64 payment = price * 100;
    qint64 rlo = U0, rhi = U1;
    if (T0 + U0 > payment)
        rlo = rhi = 0;

    qint64 qmin, qmax, h = 1;
    if (amount != 0) {
        qmin = qmax = amount;
    } else {
        qmin = payment / std::max<qint64>(T1 + rhi, 1);
        qmax = payment / std::max<qint64>(T0 + rlo, 1);
        const qint64 n = (qmax - qmin) / (s * 10);
        if (n >= 50)
            h = stepFactor(n);
    }
    const qint64 qstep = h * s;
    const qint64 rstep = rhi - rlo < 50000 ? 100 : stepFactor((rhi - rlo) / 1000) * 100;

    const qint64 qs = alignDown(qmin, qstep);
    const qint64 qe = alignDown(qmax, qstep);
    const qint64 rs = alignDown(rlo, rstep);
    const qint64 re = alignDown(rhi, rstep);
    if (qs > qe)
        return {};

    const qint64 q = qint64(6) * m * (y - x) / labor.limit - qint64(3) * (y - x);
    const qint64 A = qint64(5) * x + std::max<qint64>(q, 0);
    const qint64 B = qint64(5) * y + std::min<qint64>(q, 0);

    std::array<CaratVals, levelCount> best;
    for (CaratVals &slot : best) {
        slot = CaratVals();
        slot.ci = slot.ct = slot.li = slot.ll = slot.pos = 0;
        slot.dv = 0;
        slot.ob = std::numeric_limits<qint32>::max();
    }

    for (qint64 Q = qs; Q <= qe; Q += qstep) {
        if (Q == 0)
            continue;
        for (qint64 R = rs; R <= re; R += rstep) {
            CaratVals split(line, price, Q, R, tax);
            if (!present(split))
                continue;
            split(A, B, line.levelScale);
            CaratVals &slot = best[split.ll];
            const bool better = split.ob < slot.ob
                                || (split.ob == slot.ob
                                    && (split.dv < slot.dv || (split.dv == slot.dv && split.lt < slot.lt)));
            if (better)
                slot = split;
        }
    }

    QList<Carat> result;
    for (const CaratVals &slot : best) {
        if (present(slot))
            result.append(Carat(slot));
    }
    return result;
}

QList<Carat> Carat::calc(const User *user, const RateConfig &rates, qint64 price, int index, qint64 amount,
                         qint64 rate)
{
    if (!user || index < 0 || index >= user->carats.size())
        return {};
    return calc(user->labor, user->carats.at(index), rates, price, amount, rate);
}

CaratList Carat::calc(const User *user, const RateConfig &rates, qint64 price)
{
    CaratList list;
    list.user = user;
    if (user) {
        for (const CaratConfig &line : user->carats)
            list.append(calc(user->labor, line, rates, price, 0, 0));
    }
    if (list.isEmpty()) {
        Carat placeholder;
        placeholder.ll = 0;
        placeholder.dv = 0;
        placeholder.pc = price;
        list.append(placeholder);
        return list;
    }
    list.sort();
    return list;
}

void CaratList::sort()
{
    const int level = user ? user->laborLevel : 3;
    for (Carat &c : *this)
        c.li = quint8(std::abs(int(c.ll) - level));
    std::stable_sort(begin(), end(), [](const Carat &a, const Carat &b) { return SortKey(a) < SortKey(b); });
    for (qsizetype i = 0; i < size(); ++i)
        (*this)[i].pos = quint8(i);
}
