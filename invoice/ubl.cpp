#include "ubl.h"

#include "integration.h"
#include "xmlutil.h"

#include <QTime>
#include <QXmlStreamWriter>

namespace ubl {

const char *const nsInvoice = "urn:oasis:names:specification:ubl:schema:xsd:Invoice-2";
const char *const nsCac = "urn:oasis:names:specification:ubl:schema:xsd:CommonAggregateComponents-2";
const char *const nsCbc = "urn:oasis:names:specification:ubl:schema:xsd:CommonBasicComponents-2";
const char *const nsDs = "http://www.w3.org/2000/09/xmldsig#";
const char *const nsExt = "urn:oasis:names:specification:ubl:schema:xsd:CommonExtensionComponents-2";
const char *const nsXades = "http://uri.etsi.org/01903/v1.3.2#";
const char *const nsXsi = "http://www.w3.org/2001/XMLSchema-instance";

PersonName splitName(const QString &name)
{
    const QStringList pieces = name.split(QLatin1Char(' '));
    PersonName n;
    if (pieces.size() >= 2)
        n.family = pieces.last();
    n.first = pieces.size() > 2 ? pieces.mid(0, pieces.size() - 1).join(QLatin1Char(' ')) : pieces.first();
    return n;
}

int lineCount(const InvoiceInfo &info)
{
    return info.carat.pp >= 1 ? 2 : 1;
}

QString issueTime()
{
    return QTime::currentTime().toString(QStringLiteral("HH:mm:ss"));
}

void amount(QXmlStreamWriter &w, const QString &name, const QString &value)
{
    xmlutil::text(w, name, QStringLiteral("currencyID"), QStringLiteral("TRY"), value);
}

static void kdvScheme(QXmlStreamWriter &w)
{
    w.writeStartElement(QStringLiteral("cac:TaxScheme"));
    w.writeTextElement(QStringLiteral("cbc:Name"), QStringLiteral("KDV"));
    w.writeTextElement(QStringLiteral("cbc:TaxTypeCode"), QStringLiteral("0015"));
    w.writeEndElement();
}

void exemptTaxTotal(QXmlStreamWriter &w)
{
    const QString zero = QStringLiteral("0");
    w.writeStartElement(QStringLiteral("cac:TaxTotal"));
    amount(w, QStringLiteral("cbc:TaxAmount"), zero);
    w.writeStartElement(QStringLiteral("cac:TaxSubtotal"));
    amount(w, QStringLiteral("cbc:TaxableAmount"), zero);
    amount(w, QStringLiteral("cbc:TaxAmount"), zero);
    w.writeTextElement(QStringLiteral("cbc:Percent"), zero);
    w.writeStartElement(QStringLiteral("cac:TaxCategory"));
    w.writeTextElement(QStringLiteral("cbc:TaxExemptionReasonCode"), QStringLiteral("805"));
    w.writeTextElement(QStringLiteral("cbc:TaxExemptionReason"),
                       QStringLiteral("805 Altından mamül veya altın ihtiva eden ziynet eşyaları ile sikke "
                                      "altınların teslim ve ithali"));
    kdvScheme(w);
    w.writeEndElement();   // TaxCategory
    w.writeEndElement();   // TaxSubtotal
    w.writeEndElement();   // TaxTotal
}

void laborTaxTotal(QXmlStreamWriter &w, const InvoiceInfo &info)
{
    w.writeStartElement(QStringLiteral("cac:TaxTotal"));
    amount(w, QStringLiteral("cbc:TaxAmount"), info.laborTax());
    w.writeStartElement(QStringLiteral("cac:TaxSubtotal"));
    amount(w, QStringLiteral("cbc:TaxAmount"), info.laborTax());
    w.writeTextElement(QStringLiteral("cbc:Percent"), QStringLiteral("20"));
    w.writeStartElement(QStringLiteral("cac:TaxCategory"));
    kdvScheme(w);
    w.writeEndElement();   // TaxCategory
    w.writeEndElement();   // TaxSubtotal
    w.writeEndElement();   // TaxTotal
}

static void invoiceLine(QXmlStreamWriter &w, const InvoiceInfo &info, int id, const QString &total, bool gold,
                        const QString &itemName, const QString &unitPrice)
{
    w.writeStartElement(QStringLiteral("cac:InvoiceLine"));
    w.writeTextElement(QStringLiteral("cbc:ID"), QString::number(id));
    xmlutil::text(w, QStringLiteral("cbc:InvoicedQuantity"), QStringLiteral("unitCode"), info.unitCode(),
                  info.amount());
    amount(w, QStringLiteral("cbc:LineExtensionAmount"), total);
    if (gold)
        exemptTaxTotal(w);
    else
        laborTaxTotal(w, info);
    w.writeStartElement(QStringLiteral("cac:Item"));
    xmlutil::text(w, QStringLiteral("cbc:Name"), itemName);
    w.writeEndElement();
    w.writeStartElement(QStringLiteral("cac:Price"));
    amount(w, QStringLiteral("cbc:PriceAmount"), unitPrice);
    w.writeEndElement();
    w.writeEndElement();   // InvoiceLine
}

void lines(QXmlStreamWriter &w, const InvoiceInfo &info)
{
    const int n = lineCount(info);
    if (n == 2)
        invoiceLine(w, info, 1, info.productPrice(), true, info.line.pname, info.rate());
    invoiceLine(w, info, n, info.laborPrice(), false, info.line.lname, info.laborUnit());
}

void monetaryTotal(QXmlStreamWriter &w, const InvoiceInfo &info)
{
    w.writeStartElement(QStringLiteral("cac:LegalMonetaryTotal"));
    amount(w, QStringLiteral("cbc:LineExtensionAmount"), info.netPrice());
    amount(w, QStringLiteral("cbc:TaxExclusiveAmount"), info.productPrice());
    amount(w, QStringLiteral("cbc:TaxInclusiveAmount"), info.price());
    amount(w, QStringLiteral("cbc:AllowanceTotalAmount"), QStringLiteral("0"));
    amount(w, QStringLiteral("cbc:PayableAmount"), info.price());
    w.writeEndElement();
}

void partyTaxScheme(QXmlStreamWriter &w, const QString &taxOffice)
{
    w.writeStartElement(QStringLiteral("cac:PartyTaxScheme"));
    w.writeStartElement(QStringLiteral("cac:TaxScheme"));
    xmlutil::text(w, QStringLiteral("cbc:Name"), taxOffice);
    w.writeEndElement();
    w.writeEndElement();
}

void country(QXmlStreamWriter &w, const QString &name)
{
    w.writeStartElement(QStringLiteral("cac:Country"));
    xmlutil::text(w, QStringLiteral("cbc:Name"), name);
    w.writeEndElement();
}

void identification(QXmlStreamWriter &w, const QString &scheme, const QString &value)
{
    w.writeStartElement(QStringLiteral("cac:PartyIdentification"));
    xmlutil::text(w, QStringLiteral("cbc:ID"), QStringLiteral("schemeID"), scheme, value);
    w.writeEndElement();
}

void partyName(QXmlStreamWriter &w, const QString &name)
{
    w.writeStartElement(QStringLiteral("cac:PartyName"));
    xmlutil::text(w, QStringLiteral("cbc:Name"), name);
    w.writeEndElement();
}

void person(QXmlStreamWriter &w, const QString &first, const QString &family)
{
    w.writeStartElement(QStringLiteral("cac:Person"));
    xmlutil::text(w, QStringLiteral("cbc:FirstName"), first);
    xmlutil::text(w, QStringLiteral("cbc:FamilyName"), family);
    w.writeEndElement();
}

void postalAddress(QXmlStreamWriter &w, const QString &streetElement, const QString &street, const QString &district,
                   const QString &city, const QString &countryName)
{
    w.writeStartElement(QStringLiteral("cac:PostalAddress"));
    xmlutil::text(w, streetElement, street);
    xmlutil::text(w, QStringLiteral("cbc:CitySubdivisionName"), district);
    xmlutil::text(w, QStringLiteral("cbc:CityName"), city);
    country(w, countryName);
    w.writeEndElement();
}

} // namespace ubl
