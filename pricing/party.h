#pragma once

#include <QJsonObject>
#include <QString>

// The seller printed on invoices.
struct CompanySettings
{
    QString TaxNo;
    QString SicilNo;
    QString MersisNo;
    QString Company;
    QString Address;
    QString Phone;
    QString Email;
    QString CityName;
    QString District;
    QString TaxOffice;
    QString FirstName;
    QString LastName;

    static const QStringList &keys();
    QString *slot(const QString &key);
    const QString *slot(const QString &key) const;

    QJsonObject toJO() const;
    bool fromJO(const QJsonObject &o);
};

// The buyer of an invoice.
struct CustomerInfo
{
    qint64 ident = 0;   // VKN or TCKN
    QString name;
    QString city;
    QString district;
    QString taxoffice;
    QString country;
    QString address;
    QString phone;

    bool fromJO(const QJsonObject &o);
};
