#pragma once

#include "ratio.h"

#include <limits>

// Exact a × b ÷ c, truncated toward zero, with a 128-bit intermediate so that money
// times rate times a fraction cannot overflow on the way. A zero divisor gives 0;
// a result beyond 64 bits saturates.
inline qint64 mulDiv(qint64 a, qint64 b, qint64 c)
{
    if (c == 0)
        return 0;
    const __int128 q = __int128(a) * b / c;
    if (q > std::numeric_limits<qint64>::max())
        return std::numeric_limits<qint64>::max();
    if (q < std::numeric_limits<qint64>::min())
        return std::numeric_limits<qint64>::min();
    return qint64(q);
}

// The integer value of v × r (0 when r's denominator is 0).
inline qint64 scaled(qint64 v, const Ratio &r)
{
    return mulDiv(v, r.num, r.den);
}

// The integer value of v × a × b (0 when a denominator is 0).
inline qint64 scaled(qint64 v, const Ratio &a, const Ratio &b)
{
    if (a.den == 0 || b.den == 0)
        return 0;
    const __int128 num = __int128(v) * a.num * b.num;
    const __int128 den = __int128(a.den) * b.den;
    const __int128 q = num / den;
    if (q > std::numeric_limits<qint64>::max())
        return std::numeric_limits<qint64>::max();
    if (q < std::numeric_limits<qint64>::min())
        return std::numeric_limits<qint64>::min();
    return qint64(q);
}
