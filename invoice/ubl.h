#pragma once

// Pieces of the UBL-TR invoice document that both integrators write the same way.

#include <QString>

class QXmlStreamWriter;
struct InvoiceInfo;

namespace ubl {

extern const char *const nsInvoice;
extern const char *const nsCac;
extern const char *const nsCbc;
extern const char *const nsDs;
extern const char *const nsExt;
extern const char *const nsXades;
extern const char *const nsXsi;

struct PersonName
{
    QString first;
    QString family;
    QString joined() const { return first + QLatin1Char(' ') + family; }
};
PersonName splitName(const QString &name);

// 2 with a gold line, 1 for labour only.
int lineCount(const InvoiceInfo &info);
QString issueTime();

void amount(QXmlStreamWriter &w, const QString &name, const QString &value);
void exemptTaxTotal(QXmlStreamWriter &w);
void laborTaxTotal(QXmlStreamWriter &w, const InvoiceInfo &info);
void lines(QXmlStreamWriter &w, const InvoiceInfo &info);
void monetaryTotal(QXmlStreamWriter &w, const InvoiceInfo &info);
// "cac:TaxScheme" of a party with the tax office as its name.
void partyTaxScheme(QXmlStreamWriter &w, const QString &taxOffice);
void country(QXmlStreamWriter &w, const QString &name);
// "cac:PartyIdentification" holding one "cbc:ID" of the scheme.
void identification(QXmlStreamWriter &w, const QString &scheme, const QString &value);
void partyName(QXmlStreamWriter &w, const QString &name);
void person(QXmlStreamWriter &w, const QString &first, const QString &family);
// "cac:PostalAddress"; the services want the street under different element names.
void postalAddress(QXmlStreamWriter &w, const QString &streetElement, const QString &street, const QString &district,
                   const QString &city, const QString &countryName);

} // namespace ubl
