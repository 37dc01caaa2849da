#include "party.h"

#include <QStringList>

const QStringList &CompanySettings::keys()
{
    static const QStringList k{"TaxNo", "SicilNo", "MersisNo", "Company", "Address", "Phone",
                               "Email", "CityName", "District", "TaxOffice", "FirstName", "LastName"};
    return k;
}

QString *CompanySettings::slot(const QString &key)
{
    QString *fields[] = {&TaxNo, &SicilNo, &MersisNo, &Company, &Address, &Phone,
                        &Email, &CityName, &District, &TaxOffice, &FirstName, &LastName};
    const qsizetype i = keys().indexOf(key);
    return i < 0 ? nullptr : fields[i];
}

const QString *CompanySettings::slot(const QString &key) const
{
    return const_cast<CompanySettings *>(this)->slot(key);
}

QJsonObject CompanySettings::toJO() const
{
    QJsonObject o;
    for (const QString &k : keys())
        o[k] = *slot(k);
    return o;
}

bool CompanySettings::fromJO(const QJsonObject &o)
{
    for (const QString &k : keys()) {
        if (o.contains(k))
            *slot(k) = o[k].toString().trimmed();
    }
    return true;
}

bool CustomerInfo::fromJO(const QJsonObject &o)
{
    city = o["city"].toString();
    district = o["district"].toString();
    taxoffice = o["taxoffice"].toString();
    country = o["country"].toString();
    address = o["address"].toString();
    phone = o["phone"].toString();
    if (country.isEmpty())
        country = QStringLiteral("Türkiye");
    return true;
}
