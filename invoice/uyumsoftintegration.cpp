#include "uyumsoftintegration.h"

#include "replydata.h"
#include "ubl.h"
#include "xmlutil.h"

#include "config/config.h"

#include <QDateTime>
#include <QUuid>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

namespace {

const QString requestNs = QStringLiteral("http://tempuri.org/");
const QString soapNs = QStringLiteral("http://schemas.xmlsoap.org/soap/envelope/");
const QString wsuNs =
    QStringLiteral("http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-utility-1.0.xsd");
const QString wsseNs =
    QStringLiteral("http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-secext-1.0.xsd");
const QString passwordText =
    QStringLiteral("http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-username-token-profile-1.0#PasswordText");
const QString xsiNs = QStringLiteral("http://www.w3.org/2001/XMLSchema-instance");
const QString xsdNs = QStringLiteral("http://www.w3.org/2001/XMLSchema");

struct Token
{
    QString created;
    QString expires;
    QString id;
};

Token newToken()
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    return {now.toString(Qt::ISODateWithMs), now.addSecs(300).toString(Qt::ISODateWithMs),
            QStringLiteral("uuid-") + QUuid::createUuid().toString(QUuid::WithoutBraces)};
}

bool isResult(QStringView name)
{
    return name.contains(QLatin1String("Result"), Qt::CaseInsensitive);
}

// The service spells the flag both ways, and not always in the same case.
bool readSuccess(const QXmlStreamAttributes &attributes, bool *success)
{
    for (const QXmlStreamAttribute &a : attributes) {
        const QStringView n = a.name();
        if (n.compare(QLatin1String("IsSucceded"), Qt::CaseInsensitive) == 0
            || n.compare(QLatin1String("IsSucceeded"), Qt::CaseInsensitive) == 0) {
            *success = a.value().compare(QLatin1String("true"), Qt::CaseInsensitive) == 0;
            return true;
        }
    }
    return false;
}

QString attributeIgnoringCase(const QXmlStreamAttributes &attributes, QLatin1String name, bool *present = nullptr)
{
    for (const QXmlStreamAttribute &a : attributes) {
        if (a.name().compare(name, Qt::CaseInsensitive) == 0) {
            if (present)
                *present = true;
            return a.value().toString();
        }
    }
    if (present)
        *present = false;
    return QString();
}

bool named(QStringView name, QLatin1String expected)
{
    return name.compare(expected, Qt::CaseInsensitive) == 0;
}

// The success flag of the answer's result element; false for unreadable answers.
bool resultSucceeded(const QByteArray &body, int *statusCode = nullptr)
{
    bool success = false;
    QXmlStreamReader reader(body);
    while (!reader.atEnd()) {
        if (reader.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (isResult(reader.name())) {
            readSuccess(reader.attributes(), &success);
        } else if (statusCode && named(reader.name(), QLatin1String("Value"))) {
            bool present = false;
            bool ok = false;
            const int code = attributeIgnoringCase(reader.attributes(), QLatin1String("StatusCode"), &present).toInt(&ok);
            if (present && ok)
                *statusCode = code;
        }
    }
    return success && !reader.hasError();
}

} // namespace

UyumsoftIntegration::UyumsoftIntegration(User *user) : Integration(user) {}

QString UyumsoftIntegration::getSoapActionFromCmd(const QString &requestName) const
{
    return QLatin1Char('"') + QStringLiteral("http://tempuri.org/IIntegration/%1").arg(requestName) + QLatin1Char('"');
}

QString UyumsoftIntegration::getUrl() const
{
    const bool test = user && user->name == QLatin1String("Uyumsoft");
    return serviceUrl(QStringLiteral("uyumsoft"), test, QStringLiteral("/Services/Integration"));
}

InvoiceConfig UyumsoftIntegration::invoiceConfig(InvoiceDest dest) const
{
    return destination(dest, QStringLiteral("SaveAsDraft"), QStringLiteral("SendInvoice"));
}

QString UyumsoftIntegration::actionRequest(InvoiceAction action)
{
    switch (action) {
    case InvoiceAction::SendDraft:
        return QStringLiteral("SendDraft");
    case InvoiceAction::CancelDraft:
        return QStringLiteral("CancelDraft");
    case InvoiceAction::QueryStatus:
        return QStringLiteral("GetOutboxInvoiceView");
    case InvoiceAction::Pdf:
        return QStringLiteral("GetOutboxInvoicePdf");
    default:
        return QString();
    }
}

QString UyumsoftIntegration::getSoapAction(InvoiceAction action, InvoiceDest dest) const
{
    if (action == InvoiceAction::Send)
        return getSoapActionFromCmd(invoiceConfig(dest).request);
    const QString name = actionRequest(action);
    return getSoapActionFromCmd(name.isEmpty() ? QStringLiteral("SaveAsDraft") : name);
}

QString UyumsoftIntegration::envelope(const QString &requestName, const QString &account, const QString &password,
                                      const QString &content)
{
    const Token t = newToken();
    return QStringLiteral("<s:Envelope xmlns:s=\"%1\" xmlns:u=\"%2\"><s:Header>"
                          "<o:Security s:mustUnderstand=\"1\" xmlns:o=\"%3\">"
                          "<u:Timestamp u:Id=\"_0\"><u:Created>%4</u:Created><u:Expires>%5</u:Expires></u:Timestamp>"
                          "<o:UsernameToken u:Id=\"%6\"><o:Username>%7</o:Username>"
                          "<o:Password Type=\"%8\">%9</o:Password></o:UsernameToken></o:Security></s:Header>")
               .arg(soapNs, wsuNs, wsseNs, t.created, t.expires, t.id, xmlutil::escape(account), passwordText,
                    xmlutil::escape(password))
        + QStringLiteral("<s:Body xmlns:xsi=\"%1\" xmlns:xsd=\"%2\"><%3 xmlns=\"%4\">")
              .arg(xsiNs, xsdNs, requestName, requestNs)
        + content + QStringLiteral("</%1></s:Body></s:Envelope>").arg(requestName);
}

QNetworkReply *UyumsoftIntegration::postRequest(const char *name, const QString &account, const QString &password,
                                                QWidget *parent, QList<QString> parts) const
{
    if (account.isEmpty() || password.isEmpty())
        return nullptr;
    const QString content = parts.isEmpty()
        ? QString()
        : QStringLiteral("<invoiceIds>") + parts.join(QString()) + QStringLiteral("</invoiceIds>");
    return Integration::postRequest(name, envelope(QString::fromLatin1(name), account, password, content), parent);
}

QList<QString> UyumsoftIntegration::invoiceNodes(const QList<int> &rowIndices) const
{
    QList<QString> nodes;
    for (const DraftRef &draft : drafts(rowIndices))
        nodes.append(xmlutil::element(QStringLiteral("string"), draft.draftId));
    return nodes;
}

bool UyumsoftIntegration::checkConnection(const User &account)
{
    const ReplyData reply =
        ReplyData::from(postRequest("TestConnection", account.name, account.pass, nullptr, QList<QString>()));
    if (reply.failed)
        return false;
    // An answer that says so itself is a failed test too.
    bool success = true;
    QXmlStreamReader reader(reply.body);
    while (!reader.atEnd()) {
        if (reader.readNext() == QXmlStreamReader::StartElement && isResult(reader.name()))
            readSuccess(reader.attributes(), &success);
    }
    return success;
}

void UyumsoftIntegration::line(QXmlStreamWriter &w, const InvoiceInfo &info)
{
    using xmlutil::text;
    const CompanySettings &seller = info.company;
    const CustomerInfo &buyer = info.customer;
    const bool vkn = buyer.ident < 10000000000LL;
    const ubl::PersonName name = ubl::splitName(buyer.name);

    w.writeStartElement(QStringLiteral("InvoiceInfo"));
    w.writeStartElement(QStringLiteral("Invoice"));
    w.writeAttribute(QStringLiteral("xmlns:ds"), QLatin1String(ubl::nsDs));
    w.writeAttribute(QStringLiteral("xmlns:ext"), QLatin1String(ubl::nsExt));
    w.writeAttribute(QStringLiteral("xmlns:xsi"), QLatin1String(ubl::nsXsi));
    w.writeAttribute(QStringLiteral("xmlns:xades"), QLatin1String(ubl::nsXades));
    w.writeAttribute(QStringLiteral("xmlns:cac"), QLatin1String(ubl::nsCac));
    w.writeAttribute(QStringLiteral("xmlns:cbc"), QLatin1String(ubl::nsCbc));

    w.writeTextElement(QStringLiteral("cbc:ProfileID"), QStringLiteral("TEMELFATURA"));
    w.writeTextElement(QStringLiteral("cbc:CopyIndicator"), QStringLiteral("false"));
    text(w, QStringLiteral("cbc:IssueDate"), info.date);
    w.writeTextElement(QStringLiteral("cbc:IssueTime"), ubl::issueTime());
    w.writeTextElement(QStringLiteral("cbc:InvoiceTypeCode"), QStringLiteral("OZELMATRAH"));
    text(w, QStringLiteral("cbc:Note"), Integration::ntot(info.price()));
    if (!info.description.isEmpty())
        text(w, QStringLiteral("cbc:Note"), info.description);
    w.writeTextElement(QStringLiteral("cbc:DocumentCurrencyCode"), QStringLiteral("TRY"));
    w.writeTextElement(QStringLiteral("cbc:LineCountNumeric"), QString::number(ubl::lineCount(info)));
    w.writeTextElement(QStringLiteral("cbc:UBLVersionID"), QStringLiteral("2.1"));
    w.writeTextElement(QStringLiteral("cbc:CustomizationID"), QStringLiteral("TR1.2"));

    // Seller.
    w.writeStartElement(QStringLiteral("cac:AccountingSupplierParty"));
    w.writeStartElement(QStringLiteral("cac:Party"));
    ubl::identification(w, QStringLiteral("VKN"), seller.TaxNo);
    ubl::identification(w, QStringLiteral("MERSISNO"), seller.MersisNo);
    ubl::identification(w, QStringLiteral("HIZMETNO"), QString());
    ubl::identification(w, QStringLiteral("TICARETSICILNO"), seller.SicilNo);
    ubl::partyName(w, seller.Company);
    ubl::postalAddress(w, QStringLiteral("cbc:StreetName"), seller.Address, seller.District, seller.CityName,
                       QStringLiteral("Türkiye"));
    ubl::partyTaxScheme(w, seller.TaxOffice);
    ubl::person(w, seller.FirstName, seller.LastName);
    w.writeEndElement();   // Party
    w.writeEndElement();   // AccountingSupplierParty

    // Buyer.
    w.writeStartElement(QStringLiteral("cac:AccountingCustomerParty"));
    w.writeStartElement(QStringLiteral("cac:Party"));
    ubl::identification(w, vkn ? QStringLiteral("VKN") : QStringLiteral("TCKN"), QString::number(buyer.ident));
    if (vkn)
        ubl::partyName(w, name.joined());
    else
        ubl::person(w, name.first, name.family);
    ubl::postalAddress(w, QStringLiteral("cbc:StreetName"), buyer.address, buyer.district, buyer.city, buyer.country);
    ubl::partyTaxScheme(w, buyer.taxoffice);
    w.writeStartElement(QStringLiteral("cac:Contact"));
    text(w, QStringLiteral("cbc:Telephone"), buyer.phone);
    w.writeEndElement();
    w.writeEndElement();   // Party
    w.writeEndElement();   // AccountingCustomerParty

    ubl::exemptTaxTotal(w);
    ubl::laborTaxTotal(w, info);
    ubl::lines(w, info);
    ubl::monetaryTotal(w, info);
    w.writeEndElement();   // Invoice
    w.writeEndElement();   // InvoiceInfo
}

QString UyumsoftIntegration::xml(const InvoiceConfig &config, const QList<InvoiceInfo> &infos)
{
    if (infos.isEmpty() || !buildable(infos))
        return QString();
    const InvoiceInfo &first = infos.first();
    const Token t = newToken();
    QString out;
    QXmlStreamWriter w(&out);
    w.setAutoFormatting(true);
    w.writeStartDocument(QStringLiteral("1.0"));
    w.writeStartElement(QStringLiteral("s:Envelope"));
    w.writeAttribute(QStringLiteral("xmlns:s"), soapNs);
    w.writeAttribute(QStringLiteral("xmlns:u"), wsuNs);
    w.writeStartElement(QStringLiteral("s:Header"));
    w.writeStartElement(QStringLiteral("o:Security"));
    w.writeAttribute(QStringLiteral("s:mustUnderstand"), QStringLiteral("1"));
    w.writeAttribute(QStringLiteral("xmlns:o"), wsseNs);
    w.writeStartElement(QStringLiteral("u:Timestamp"));
    w.writeAttribute(QStringLiteral("u:Id"), QStringLiteral("_0"));
    w.writeTextElement(QStringLiteral("u:Created"), t.created);
    w.writeTextElement(QStringLiteral("u:Expires"), t.expires);
    w.writeEndElement();
    w.writeStartElement(QStringLiteral("o:UsernameToken"));
    w.writeAttribute(QStringLiteral("u:Id"), t.id);
    xmlutil::text(w, QStringLiteral("o:Username"), first.userName);
    xmlutil::text(w, QStringLiteral("o:Password"), QStringLiteral("Type"), passwordText, first.password);
    w.writeEndElement();   // UsernameToken
    w.writeEndElement();   // Security
    w.writeEndElement();   // Header
    w.writeStartElement(QStringLiteral("s:Body"));
    w.writeAttribute(QStringLiteral("xmlns:xsi"), xsiNs);
    w.writeAttribute(QStringLiteral("xmlns:xsd"), xsdNs);
    w.writeStartElement(config.request);
    w.writeAttribute(QStringLiteral("xmlns"), requestNs);
    w.writeStartElement(QStringLiteral("invoices"));
    for (const InvoiceInfo &info : infos)
        line(w, info);
    w.writeEndDocument();
    return out;
}

SendResult UyumsoftIntegration::sendInvoice(InvoiceDest dest, const QString &request, QWidget *parent)
{
    SendResult result;
    if (request.isEmpty())
        return result;
    const QByteArray name = invoiceConfig(dest).request.toLatin1();
    const ReplyData reply = ReplyData::from(Integration::postRequest(name.constData(), request, parent));
    result.responseXml = QString::fromUtf8(reply.body);
    qDebug() << "responseData: " << result.responseXml;
    if (!reply.usable())
        return result;
    QXmlStreamReader reader(reply.body);
    while (!reader.atEnd()) {
        if (reader.readNext() != QXmlStreamReader::StartElement)
            continue;
        const QXmlStreamAttributes attributes = reader.attributes();
        if (isResult(reader.name())) {
            readSuccess(attributes, &result.success);
        } else if (named(reader.name(), QLatin1String("Value"))) {
            const QString id = attributes.value(QLatin1String("Id")).toString().trimmed();
            const QString number = attributes.value(QLatin1String("Number")).toString().trimmed();
            if (!id.isEmpty())
                result.ettnList.append(id);
            if (!number.isEmpty())
                result.invoiceNumbers.append(number);
        }
    }
    if (reader.hasError())
        result.success = false;
    return result;
}

int UyumsoftIntegration::sendDraft(const QList<int> &rowIndices, QWidget *parent)
{
    if (!user)
        return 0;
    const QList<QString> nodes = invoiceNodes(rowIndices);
    const ReplyData reply = ReplyData::from(postRequest("SendDraft", user->name, user->pass, parent, nodes));
    return reply.usable() && resultSucceeded(reply.body) ? int(nodes.size()) : 0;
}

bool UyumsoftIntegration::cancelDraft(const QList<int> &rowIndices, QWidget *parent)
{
    const QList<QString> nodes = invoiceNodes(rowIndices);
    // A service that accepts an empty list would confirm a deletion of nothing.
    if (!user || nodes.isEmpty())
        return false;
    const ReplyData reply = ReplyData::from(postRequest("CancelDraft", user->name, user->pass, parent, nodes));
    return reply.usable() && resultSucceeded(reply.body);
}

int UyumsoftIntegration::queryStatus(const QList<int> &rowIndices, QWidget *parent)
{
    if (!user)
        return -1;
    const ReplyData reply = ReplyData::from(
        postRequest("GetOutboxInvoiceView", user->name, user->pass, parent, invoiceNodes(rowIndices)));
    if (!reply.usable())
        return -1;
    int status = -1;
    if (!resultSucceeded(reply.body, &status))
        return -1;
    return status >= 0 ? status : -1;
}

QString UyumsoftIntegration::xml(InvoiceAction action, const QList<QString> &ettnList)
{
    const QString name = actionRequest(action);
    if (ettnList.isEmpty() || !user || user->name.isEmpty() || user->pass.isEmpty() || name.isEmpty())
        return QString();
    QString items;
    for (const QString &ettn : ettnList)
        items += xmlutil::element(QStringLiteral("string"), ettn);
    const bool single = action == InvoiceAction::QueryStatus || action == InvoiceAction::Pdf;
    const QString content = QStringLiteral("<%1>%2</%1>")
                                .arg(single ? QStringLiteral("invoiceId") : QStringLiteral("invoiceIds"), items);
    return envelope(name, user->name, user->pass, content);
}

ActionResult UyumsoftIntegration::executeAction(InvoiceAction action, const QList<QString> &ettnList)
{
    ActionResult result;
    const QByteArray body = postAction(action, ettnList, actionRequest(action), result);
    if (body.isEmpty())
        return result;

    QXmlStreamReader reader(body);
    if (action == InvoiceAction::QueryStatus) {
        bool sawResult = false;
        while (!reader.atEnd()) {
            if (reader.readNext() != QXmlStreamReader::StartElement)
                continue;
            if (isResult(reader.name())) {
                sawResult = true;
                readSuccess(reader.attributes(), &result.success);
            } else if (sawResult && named(reader.name(), QLatin1String("Value"))) {
                bool present = false;
                const QString code = attributeIgnoringCase(reader.attributes(), QLatin1String("StatusCode"), &present);
                if (present) {
                    bool ok = false;
                    const int value = code.trimmed().toInt(&ok);
                    result.statusCode = ok ? value : 0;
                    if (ok && value >= 0)
                        result.message = QStringLiteral("Status code: %1").arg(value);
                }
            }
        }
        if (reader.hasError()) {
            result.success = false;
            result.message = QStringLiteral("Malformed response from server");
        } else if (!sawResult) {
            result.message = QStringLiteral("Failed to parse query response");
        } else if (result.message.isEmpty()) {
            result.message = result.success ? QStringLiteral("OK") : QStringLiteral("Failed to parse query response");
        }
        return result;
    }

    ErrorTexts errors(Qt::CaseInsensitive);
    while (!reader.atEnd()) {
        if (reader.readNext() != QXmlStreamReader::StartElement || errors.take(reader, result))
            continue;
        if (isResult(reader.name())) {
            readSuccess(reader.attributes(), &result.success);
            switch (action) {
            case InvoiceAction::SendDraft:
                result.message = result.success ? QStringLiteral("Draft sent successfully")
                                                : QStringLiteral("Failed to send draft");
                break;
            case InvoiceAction::CancelDraft:
                result.message = result.success ? QStringLiteral("Draft cancelled successfully")
                                                : QStringLiteral("Failed to cancel draft");
                break;
            default:
                result.message = result.success ? QStringLiteral("PDF fetched successfully")
                                                : QStringLiteral("Failed to fetch PDF");
                break;
            }
        }
    }
    errors.finish(reader, result);
    return result;
}
