#pragma once

// Invoice values as the desktop and the server build them, for the invoicing tests.

#include "invoice/invoiceinfo.h"

namespace samples {

inline CompanySettings seller()
{
    CompanySettings c;
    c.TaxNo = QStringLiteral("1234567890");
    c.SicilNo = QStringLiteral("54321");
    c.MersisNo = QStringLiteral("0123456789000015");
    c.Company = QStringLiteral("Kuyumcu Işık Altın Ltd. Şti.");
    c.Address = QStringLiteral("Kapalıçarşı Kalpakçılar Cd. No: 12");
    c.CityName = QStringLiteral("İstanbul");
    c.District = QStringLiteral("Fatih");
    c.TaxOffice = QStringLiteral("Beyazıt");
    c.FirstName = QStringLiteral("Ayşe");
    c.LastName = QStringLiteral("Işık");
    return c;
}

// A 22-carat line by the gram: 4.05 g, gold 10000.00, labour 500.00 + 100.00 VAT.
inline Carat gramSplit()
{
    Carat c;
    c.ci = 1;
    c.ct = 1;
    c.at = 405;
    c.pc = 1060000;
    c.pp = 1000000;
    c.rt = 246913;
    c.lp = 50000;
    c.lt = 10000;
    c.lu = 12346;
    c.np = 1050000;
    c.pr = 269500;
    return c;
}

// Two quarter coins with labour only: 2 pieces, 300.00 labour + 60.00 VAT.
inline Carat labourOnlySplit()
{
    Carat c;
    c.ci = 2;
    c.ct = 0;
    c.at = 200;
    c.pc = 36000;
    c.lp = 30000;
    c.lt = 6000;
    c.lu = 15000;
    c.np = 30000;
    return c;
}

inline InvoiceInfo info(qint64 ident = 12345678950LL, const QString &name = QStringLiteral("MEHMET ALİ YILMAZ"),
                        const Carat &carat = gramSplit(), const QString &description = QString())
{
    InvoiceInfo i;
    i.date = QStringLiteral("2024-03-15");
    i.description = description;
    i.userName = QStringLiteral("kestrel");
    i.password = QStringLiteral("gizli");
    i.company = seller();
    i.customer.ident = ident;
    i.customer.name = name;
    i.customer.city = QStringLiteral("İzmir");
    i.customer.district = QStringLiteral("Konak");
    i.customer.country = QStringLiteral("Türkiye");
    i.customer.address = QStringLiteral("Alsancak Mah. 1453 Sk. No: 7");
    i.customer.phone = QStringLiteral("+90 232 000 00 00");
    i.line.cname = QStringLiteral("22 Ayar");
    i.line.pname = QStringLiteral("22 Ayar Altın Bilezik");
    i.line.lname = QStringLiteral("22 Ayar Bilezik İşçiliği");
    i.carat = carat;
    return i;
}

} // namespace samples
