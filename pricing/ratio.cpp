#include "ratio.h"

qint64 gcd64(qint64 a, qint64 b)
{
    quint64 x = a < 0 ? 0 - quint64(a) : quint64(a);
    quint64 y = b < 0 ? 0 - quint64(b) : quint64(b);
    while (y != 0) {
        const quint64 t = x % y;
        x = y;
        y = t;
    }
    return qint64(x);
}

void Ratio::normalize()
{
    const qint64 g = gcd64(num, den);
    if (g > 1) {
        num /= g;
        den /= g;
    }
    if (den < 0) {
        num = -num;
        den = -den;
    }
}
