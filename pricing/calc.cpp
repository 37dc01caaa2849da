// The split search is filled in by the pricing work; until then every entry point offers no candidates.
#include "carat.h"

CaratVals::CaratVals(const CaratConfig &line, qint64 P, qint64 Q, qint64 R, Ratio)
    : ci(quint8(line.index)), ct(line.ctype), pc(P), at(Q), rt(R)
{
}

void CaratVals::operator()(qint64, qint64, qint64) {}

QList<Carat> Carat::calc(const LaborConfig &, const CaratConfig &, const RateConfig &, qint64, qint64, qint64)
{
    return {};
}

QList<Carat> Carat::calc(const User *, const RateConfig &, qint64, int, qint64, qint64)
{
    return {};
}

CaratList Carat::calc(const User *user, const RateConfig &, qint64)
{
    CaratList list;
    list.user = user;
    return list;
}

void CaratList::sort() {}
