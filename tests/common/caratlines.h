#pragma once

// The two carat lines the pricing and row tests share: 22-carat jewellery by the gram
// and the quarter coin (çeyrek) by the piece.

#include "pricing/caratconfig.h"

inline CaratConfig gramLine()
{
    CaratConfig line;
    line.cname = QStringLiteral("22 Ayar");
    line.index = 1;
    line.carat = 22;
    line.cfine = Ratio(229, 250);
    line.cf = Ratio(1, 1);
    line.levelScale = 99;
    line.ctype = 1;
    line.enabled = true;
    return line;
}

inline CaratConfig pieceLine()
{
    CaratConfig line = gramLine();
    line.cname = QStringLiteral("Çeyrek");
    line.index = 2;
    line.ctype = 0;
    line.cf = Ratio(7, 4);
    line.levelScale = 100;
    return line;
}
