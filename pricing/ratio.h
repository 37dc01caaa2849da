#pragma once

#include <QtGlobal>

// An exact fraction, always kept in lowest terms with a non-negative denominator.
// x/0 is allowed and normalises to ±1/0; its integer value is 0.
struct Ratio
{
    qint64 num = 0;
    qint64 den = 0;

    constexpr Ratio() = default;
    Ratio(qint64 n, qint64 d) : num(n), den(d) { normalize(); }

    // Builds n/d exactly as given, without reducing (used where a stored
    // denominator of 0 must survive unchanged).
    static constexpr Ratio raw(qint64 n, qint64 d)
    {
        Ratio r;
        r.num = n;
        r.den = d;
        return r;
    }

    void normalize();
    qint64 value() const { return den == 0 ? 0 : num / den; }

    Ratio operator*(qint64 k) const { return Ratio(num * k, den); }
    Ratio operator*(const Ratio &o) const { return Ratio(num * o.num, den * o.den); }
    Ratio operator/(const Ratio &o) const { return Ratio(num * o.den, den * o.num); }
    bool operator==(const Ratio &o) const { return num == o.num && den == o.den; }
    bool operator!=(const Ratio &o) const { return !(*this == o); }
};

qint64 gcd64(qint64 a, qint64 b);
