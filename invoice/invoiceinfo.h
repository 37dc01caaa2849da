#pragma once

#include "pricing/carat.h"
#include "pricing/caratconfig.h"
#include "pricing/party.h"

#include <QLocale>
#include <QString>

class Row;
class User;

// Everything one invoice needs, taken from a payment row (or from a client's JSON on the
// server). Documents for an integrator are built with the C locale, the preview with Turkish.
struct InvoiceInfo
{
    QString date;           // "yyyy-MM-dd"
    QString description;    // second invoice note
    QString userName;       // integrator account
    QString password;
    QLocale locale = QLocale::c();
    CompanySettings company;
    CustomerInfo customer;
    CaratConfig line;
    Carat carat;

    InvoiceInfo() = default;
    InvoiceInfo(User *user, const Row &row, QLocale locale);

    QString unitCode() const;      // "GRM" for goods by the gram, "NIU" for pieces
    QString amount() const;        // quantity as the documents print it
    QString rate() const;
    QString price() const;
    QString netPrice() const;
    QString pureRate() const;
    QString laborTax() const;
    QString laborUnit() const;
    QString laborPrice() const;
    QString productPrice() const;

    // Kuruş as lira with two decimals in the info's locale; 0 prints as "0.00" here.
    QString money(qint64 kurus) const;

    // Why these values cannot make an invoice an integrator would take, in English;
    // empty when they can. The clients build no request from values that fail this.
    QString problem() const;
};

namespace Invoice {
// The preview of one invoice as an HTML page.
QString html(const InvoiceInfo &info);
}
