#include "edmintegration.h"

#include "replydata.h"
#include "ubl.h"
#include "xmlutil.h"

#include "config/config.h"

#include <QDate>
#include <QUuid>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

namespace {

const QString requestNs = QStringLiteral("http://tempuri.org/");
const QString soapNs = QStringLiteral("http://schemas.xmlsoap.org/soap/envelope/");
const QString xsiNs = QStringLiteral("http://www.w3.org/2001/XMLSchema-instance");
const QString xsdNs = QStringLiteral("http://www.w3.org/2001/XMLSchema");

QString today()
{
    return QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"));
}

// The RETURN_CODE elements of an answer.
struct ReturnCode
{
    QString first;
    QString last;
    bool seen = false;
    bool malformed = false;
};

ReturnCode returnCode(const QByteArray &body)
{
    ReturnCode r;
    QXmlStreamReader reader(body);
    while (!reader.atEnd()) {
        if (reader.readNext() == QXmlStreamReader::StartElement && reader.name() == QLatin1String("RETURN_CODE")) {
            const QString code = reader.readElementText().trimmed();
            if (!r.seen)
                r.first = code;
            r.seen = true;
            r.last = code;
        }
    }
    r.malformed = reader.hasError();
    return r;
}

} // namespace

EDMIntegration::EDMIntegration(User *user) : Integration(user) {}

QString EDMIntegration::envelope(const QString &requestName, const QString &content)
{
    return QStringLiteral("<s:Envelope xmlns:s=\"%1\"><s:Body xmlns:xsi=\"%2\" xmlns:xsd=\"%3\">"
                          "<%4 xmlns=\"%5\">%6</%4></s:Body></s:Envelope>")
        .arg(soapNs, xsiNs, xsdNs, requestName, requestNs, content);
}

QString EDMIntegration::hostLabel() const
{
    const QString label = user && user->config ? (*user->config)[QStringLiteral("edm.hostname")] : QString();
    return label.isEmpty() ? QStringLiteral("CORVINA") : label;
}

QString EDMIntegration::header() const
{
    using xmlutil::element;
    return QStringLiteral("<REQUEST_HEADER xmlns=\"\">") + element(QStringLiteral("SESSION_ID"), sessionId)
        + element(QStringLiteral("ACTION_DATE"), today())
        + element(QStringLiteral("REASON"), QStringLiteral("E-fatura/E-Arşiv Test Login"))
        + element(QStringLiteral("APPLICATION_NAME"), QStringLiteral("KR Connector"))
        + element(QStringLiteral("HOSTNAME"), hostLabel())
        + element(QStringLiteral("CHANNEL_NAME"), QStringLiteral("KRTEST")) + QStringLiteral("</REQUEST_HEADER>");
}

QString EDMIntegration::getUrl() const
{
    const bool test = user && user->name == QLatin1String("kestrel");
    return serviceUrl(QStringLiteral("edm"), test,
                      QStringLiteral("/EFaturaEDM%1/EFaturaEDM.svc").arg(test ? QStringLiteral("21ea") : QString()));
}

InvoiceConfig EDMIntegration::invoiceConfig(InvoiceDest dest) const
{
    return destination(dest, QStringLiteral("LoadInvoiceRequest"), QStringLiteral("SendInvoiceRequest"));
}

QString EDMIntegration::getSoapAction(InvoiceAction action, InvoiceDest dest) const
{
    switch (action) {
    case InvoiceAction::Send:
        return invoiceConfig(dest).request;
    case InvoiceAction::SendDraft:
        return QStringLiteral("SendInvoiceRequest");
    case InvoiceAction::CancelDraft:
        return QStringLiteral("CancelInvoiceRequest");
    case InvoiceAction::QueryStatus:
        return QStringLiteral("GetInvoiceRequest");
    default:
        return QStringLiteral("LoadInvoiceRequest");
    }
}

QNetworkReply *EDMIntegration::postRequest(const char *name, QWidget *parent, QList<QString> parts) const
{
    const QString body = envelope(QString::fromLatin1(name), header() + parts.join(QString()));
    return Integration::postRequest(name, body, parent);
}

bool EDMIntegration::login(const User &account)
{
    if (account.name.isEmpty() || account.pass.isEmpty())
        return false;
    const QString content = header() + QStringLiteral("<USER_NAME xmlns=\"\">") + xmlutil::escape(account.name)
        + QStringLiteral("</USER_NAME><PASSWORD xmlns=\"\">") + xmlutil::escape(account.pass)
        + QStringLiteral("</PASSWORD>");
    const ReplyData reply = ReplyData::from(
        Integration::postRequest("LoginRequest", envelope(QStringLiteral("LoginRequest"), content), nullptr));
    if (reply.failed) {
        qDebug() << "Failed to log in to EDM:" << reply.errorText;
        return false;
    }
    QString session;
    QXmlStreamReader reader(reply.body);
    while (!reader.atEnd()) {
        if (reader.readNext() == QXmlStreamReader::StartElement && reader.name() == QLatin1String("SESSION_ID"))
            session = reader.readElementText().trimmed();
    }
    if (reader.hasError() || session.isEmpty() || session == QLatin1String("0"))
        return false;
    sessionId = session;
    return true;
}

bool EDMIntegration::checkConnection(const User &account)
{
    return login(account);
}

CheckUserResult EDMIntegration::checkUser(const QString &identityNumber) const
{
    CheckUserResult result;
    if (identityNumber.isEmpty())
        return result;
    const QString part = QStringLiteral("<USER xmlns=\"\">") + xmlutil::element(QStringLiteral("IDENTIFIER"), identityNumber)
        + QStringLiteral("</USER>");
    const ReplyData reply = ReplyData::from(postRequest("CheckUserRequest", nullptr, {part}));
    if (reply.failed || reply.body.isEmpty())
        return result;
    QXmlStreamReader reader(reply.body);
    int depth = 0;
    int userDepth = -1;
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartElement:
            ++depth;
            if (reader.name() == QLatin1String("USER")) {
                userDepth = depth;
                result.identifier.clear();
                result.alias.clear();
            } else if (userDepth > 0 && reader.name() == QLatin1String("IDENTIFIER") && result.identifier.isEmpty()) {
                result.identifier = reader.readElementText().trimmed();
                --depth;
            } else if (userDepth > 0 && reader.name() == QLatin1String("ALIAS") && !result.identifier.isEmpty()
                       && result.alias.isEmpty()) {
                result.alias = reader.readElementText().trimmed();
                --depth;
            }
            break;
        case QXmlStreamReader::EndElement:
            if (depth == userDepth) {
                userDepth = -1;
                if (!result.identifier.isEmpty() && !result.alias.isEmpty()) {
                    result.registered = true;
                    result.answered = true;
                    return result;
                }
            }
            --depth;
            break;
        default:
            break;
        }
    }
    if (reader.hasError())
        return CheckUserResult();
    result.answered = true;
    return result;
}

void EDMIntegration::line(QXmlStreamWriter &w, const InvoiceInfo &info, const CheckUserResult &cu)
{
    using xmlutil::text;
    const CompanySettings &seller = info.company;
    const CustomerInfo &buyer = info.customer;
    const ubl::PersonName name = ubl::splitName(buyer.name);
    const int n = ubl::lineCount(info);

    w.writeStartElement(QStringLiteral("Invoice"));
    w.writeAttribute(QStringLiteral("xmlns"), QLatin1String(ubl::nsInvoice));
    w.writeAttribute(QStringLiteral("xmlns:cac"), QLatin1String(ubl::nsCac));
    w.writeAttribute(QStringLiteral("xmlns:cbc"), QLatin1String(ubl::nsCbc));
    w.writeAttribute(QStringLiteral("xmlns:ds"), QLatin1String(ubl::nsDs));
    w.writeAttribute(QStringLiteral("xmlns:ext"), QLatin1String(ubl::nsExt));
    w.writeAttribute(QStringLiteral("xmlns:xades"), QLatin1String(ubl::nsXades));
    w.writeAttribute(QStringLiteral("xmlns:xsi"), QLatin1String(ubl::nsXsi));
    w.writeAttribute(QStringLiteral("xsi:schemaLocation"),
                     QStringLiteral("urn:oasis:names:specification:ubl:schema:xsd:Invoice-2 UBL-Invoice-2.1.xsd"));

    w.writeTextElement(QStringLiteral("cbc:UBLVersionID"), QStringLiteral("2.1"));
    w.writeTextElement(QStringLiteral("cbc:CustomizationID"), QStringLiteral("TR1.2"));
    w.writeTextElement(QStringLiteral("cbc:ProfileID"),
                       cu.registered ? QStringLiteral("TEMELFATURA") : QStringLiteral("EARSIVFATURA"));
    // The request asks the service to number the invoice; this only fills the slot.
    w.writeTextElement(QStringLiteral("cbc:ID"), QStringLiteral("ABC2009123456789"));
    w.writeTextElement(QStringLiteral("cbc:CopyIndicator"), QStringLiteral("false"));
    w.writeTextElement(QStringLiteral("cbc:UUID"), QUuid::createUuid().toString(QUuid::WithoutBraces));
    text(w, QStringLiteral("cbc:IssueDate"), info.date);
    w.writeTextElement(QStringLiteral("cbc:IssueTime"), ubl::issueTime());
    w.writeTextElement(QStringLiteral("cbc:InvoiceTypeCode"), QStringLiteral("OZELMATRAH"));
    text(w, QStringLiteral("cbc:Note"), Integration::ntot(info.price()));
    if (!info.description.isEmpty())
        text(w, QStringLiteral("cbc:Note"), info.description);
    w.writeTextElement(QStringLiteral("cbc:DocumentCurrencyCode"), QStringLiteral("TRY"));
    w.writeTextElement(QStringLiteral("cbc:LineCountNumeric"), QString::number(n));

    // Seller.
    w.writeStartElement(QStringLiteral("cac:AccountingSupplierParty"));
    w.writeStartElement(QStringLiteral("cac:Party"));
    ubl::identification(w, QStringLiteral("VKN"), seller.TaxNo);
    ubl::identification(w, QStringLiteral("MERSISNO"), seller.MersisNo);
    ubl::identification(w, QStringLiteral("TICARETSICILNO"), QString());
    ubl::partyName(w, seller.Company);
    ubl::postalAddress(w, QStringLiteral("cbc:StreetName"), seller.Address, seller.District, seller.CityName,
                       QStringLiteral("Türkiye"));
    ubl::partyTaxScheme(w, seller.TaxOffice);
    w.writeEndElement();   // Party
    w.writeEndElement();   // AccountingSupplierParty

    // Buyer.
    w.writeStartElement(QStringLiteral("cac:AccountingCustomerParty"));
    w.writeStartElement(QStringLiteral("cac:Party"));
    ubl::identification(w, cu.registered ? QStringLiteral("VKN") : QStringLiteral("TCKN"), QString::number(buyer.ident));
    if (cu.registered)
        ubl::partyName(w, name.joined());
    ubl::postalAddress(w, QStringLiteral("cbc:BuildingName"), buyer.address, buyer.district, buyer.city, buyer.country);
    ubl::partyTaxScheme(w, buyer.taxoffice);
    if (!cu.registered)
        ubl::person(w, name.first, name.family);
    w.writeEndElement();   // Party
    w.writeEndElement();   // AccountingCustomerParty

    ubl::exemptTaxTotal(w);
    ubl::laborTaxTotal(w, info);
    ubl::monetaryTotal(w, info);
    ubl::lines(w, info);
    w.writeEndElement();   // Invoice
}

QString EDMIntegration::xml(const InvoiceConfig &config, const QList<InvoiceInfo> &infos)
{
    if (infos.isEmpty() || !buildable(infos))
        return QString();
    QString out;
    QXmlStreamWriter w(&out);
    w.setAutoFormatting(true);
    w.writeStartDocument(QStringLiteral("1.0"));
    w.writeStartElement(QStringLiteral("s:Envelope"));
    w.writeAttribute(QStringLiteral("xmlns:s"), soapNs);
    w.writeStartElement(QStringLiteral("s:Body"));
    w.writeAttribute(QStringLiteral("xmlns:xsi"), xsiNs);
    w.writeAttribute(QStringLiteral("xmlns:xsd"), xsdNs);
    w.writeStartElement(config.request);
    w.writeAttribute(QStringLiteral("xmlns"), requestNs);

    w.writeStartElement(QStringLiteral("REQUEST_HEADER"));
    w.writeAttribute(QStringLiteral("xmlns"), QString());
    xmlutil::text(w, QStringLiteral("SESSION_ID"), sessionId);
    w.writeTextElement(QStringLiteral("ACTION_DATE"), today());
    w.writeTextElement(QStringLiteral("REASON"), QStringLiteral("E-fatura/E-Arşiv Testleri"));
    w.writeTextElement(QStringLiteral("APPLICATION_NAME"), QStringLiteral("KR CONNECTOR"));
    xmlutil::text(w, QStringLiteral("HOSTNAME"), hostLabel());
    w.writeTextElement(QStringLiteral("CHANNEL_NAME"), QStringLiteral("TEST"));
    w.writeEndElement();

    for (const InvoiceInfo &info : infos) {
        const CheckUserResult cu = checkUser(QString::number(info.customer.ident));
        // Without an answer the profile (e-invoice or e-archive) cannot be chosen.
        if (!cu.answered) {
            qDebug() << "Failed to build the invoice request: no registration answer for" << info.customer.ident;
            return QString();
        }
        w.writeStartElement(QStringLiteral("INVOICE"));
        w.writeAttribute(QStringLiteral("xmlns"), QString());
        if (cu.registered) {
            w.writeStartElement(QStringLiteral("HEADER"));
            xmlutil::text(w, QStringLiteral("SENDER"), info.company.TaxNo);
            xmlutil::text(w, QStringLiteral("RECEIVER"), cu.identifier);
            xmlutil::text(w, QStringLiteral("TO"), cu.alias);
            w.writeEndElement();
        }
        QByteArray document;
        QXmlStreamWriter dw(&document);
        line(dw, info, cu);
        w.writeTextElement(QStringLiteral("CONTENT"), QString::fromLatin1(document.toBase64()));
        w.writeEndElement();
    }
    w.writeStartElement(QStringLiteral("GENERATEINVOICEIDONLOAD"));
    w.writeAttribute(QStringLiteral("xmlns"), QString());
    w.writeCharacters(QStringLiteral("true"));
    w.writeEndElement();
    w.writeEndDocument();
    return out;
}

SendResult EDMIntegration::sendInvoice(InvoiceDest dest, const QString &request, QWidget *parent)
{
    SendResult result;
    if (request.isEmpty())
        return result;
    const QByteArray name = invoiceConfig(dest).request.toLatin1();
    const ReplyData reply = ReplyData::from(Integration::postRequest(name.constData(), request, parent));
    result.responseXml = QString::fromUtf8(reply.body);
    if (!reply.usable())
        return result;
    QXmlStreamReader reader(reply.body);
    while (!reader.atEnd()) {
        if (reader.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (reader.name() == QLatin1String("RETURN_CODE")) {
            result.success = reader.readElementText().trimmed() == QLatin1String("0");
        } else if (reader.name() == QLatin1String("INVOICE")) {
            const QString uuid = reader.attributes().value(QLatin1String("UUID")).toString().trimmed();
            const QString id = reader.attributes().value(QLatin1String("ID")).toString().trimmed();
            if (!uuid.isEmpty())
                result.ettnList.append(uuid);
            if (!id.isEmpty())
                result.invoiceNumbers.append(id);
        }
    }
    if (reader.hasError())
        result.success = false;
    return result;
}

QString EDMIntegration::draftElement(const QString &uuid, const CheckUserResult &cu) const
{
    QString e = QStringLiteral("<INVOICE TRXID=\"0\" UUID=\"%1\" xmlns=\"\">").arg(xmlutil::escape(uuid));
    if (cu.registered) {
        e += QStringLiteral("<HEADER>") + xmlutil::element(QStringLiteral("SENDER"), user ? user->company.TaxNo : QString())
            + xmlutil::element(QStringLiteral("RECEIVER"), cu.identifier)
            + xmlutil::element(QStringLiteral("TO"), cu.alias) + QStringLiteral("</HEADER>");
    }
    return e + QStringLiteral("</INVOICE>");
}

QList<QString> EDMIntegration::invoiceElements(const QList<int> &rowIndices)
{
    QList<QString> elements;
    for (const DraftRef &draft : drafts(rowIndices)) {
        const CheckUserResult cu = checkUser(draft.ident ? QString::number(draft.ident) : QString());
        elements.append(draftElement(draft.draftId, cu));
    }
    return elements;
}

int EDMIntegration::sendDraft(const QList<int> &rowIndices, QWidget *parent)
{
    const QList<QString> elements = invoiceElements(rowIndices);
    if (elements.isEmpty())
        return 0;
    const ReplyData reply = ReplyData::from(postRequest("SendInvoiceRequest", parent, elements));
    if (!reply.usable())
        return 0;
    const ReturnCode code = returnCode(reply.body);
    return !code.malformed && code.first == QLatin1String("0") ? int(elements.size()) : 0;
}

bool EDMIntegration::cancelDraft(const QList<int> &rowIndices, QWidget *parent)
{
    const QList<QString> elements = invoiceElements(rowIndices);
    if (elements.isEmpty())
        return false;
    const ReplyData reply = ReplyData::from(postRequest("CancelInvoiceRequest", parent, elements));
    if (!reply.usable())
        return false;
    const ReturnCode code = returnCode(reply.body);
    return !code.malformed && code.first == QLatin1String("0");
}

int EDMIntegration::queryStatus(const QList<int> &rowIndices, QWidget *parent)
{
    const QList<QString> elements = invoiceElements(rowIndices);
    if (elements.isEmpty())
        return -1;
    const ReplyData reply = ReplyData::from(postRequest("GetInvoiceStatusRequest", parent, elements));
    if (!reply.usable())
        return -1;
    int errorCode = 0;
    QString status;
    bool haveStatus = false;
    QXmlStreamReader reader(reply.body);
    while (!reader.atEnd()) {
        if (reader.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (reader.name() == QLatin1String("ERROR_CODE")) {
            bool ok = false;
            const int code = reader.readElementText().trimmed().toInt(&ok);
            if (ok)
                errorCode = code;
        } else if (reader.name() == QLatin1String("STATUS")) {
            status = reader.readElementText().trimmed();
            haveStatus = true;
        }
    }
    if (reader.hasError())
        return -1;
    if (errorCode >= 1)
        return errorCode;
    if (haveStatus)
        return status.contains(QLatin1String("PROCESSING"), Qt::CaseInsensitive) ? 2000 : 0;
    return -1;
}

QString EDMIntegration::xml(InvoiceAction action, const QList<QString> &ettnList)
{
    if (ettnList.isEmpty())
        return QString();
    QString content;
    switch (action) {
    case InvoiceAction::SendDraft:
    case InvoiceAction::CancelDraft:
        for (const QString &ettn : ettnList)
            content += QStringLiteral("<INVOICE TRXID=\"0\" UUID=\"%1\" xmlns=\"\"></INVOICE>").arg(xmlutil::escape(ettn));
        break;
    case InvoiceAction::QueryStatus:
        content = QStringLiteral("<INVOICE_SEARCH_KEY xmlns=\"\">") + xmlutil::element(QStringLiteral("UUID"), ettnList.first())
            + QStringLiteral("<LIMIT>1</LIMIT></INVOICE_SEARCH_KEY><HEADER_ONLY xmlns=\"\">N</HEADER_ONLY>"
                             "<INVOICE_CONTENT_TYPE xmlns=\"\">HTML</INVOICE_CONTENT_TYPE>");
        break;
    default:
        return QString();
    }
    return envelope(getSoapAction(action, InvoiceDest::Draft), header() + content);
}

ActionResult EDMIntegration::executeAction(InvoiceAction action, const QList<QString> &ettnList)
{
    ActionResult result;
    const QByteArray body = postAction(action, ettnList, getSoapAction(action, InvoiceDest::Draft), result);
    if (body.isEmpty())
        return result;

    QXmlStreamReader reader(body);
    if (action == InvoiceAction::QueryStatus) {
        QString status;
        bool haveStatus = false;
        while (!reader.atEnd()) {
            if (reader.readNext() != QXmlStreamReader::StartElement)
                continue;
            if (reader.name() == QLatin1String("ERROR_CODE")) {
                bool ok = false;
                const int code = reader.readElementText().trimmed().toInt(&ok);
                if (ok && code > 0) {
                    result.errorCode = QString::number(code);
                    result.statusCode = code;
                    result.message = QStringLiteral("Error code: %1").arg(code);
                    return result;
                }
            } else if (reader.name() == QLatin1String("STATUS")) {
                status = reader.readElementText().trimmed();
                haveStatus = true;
            }
        }
        if (reader.hasError()) {
            result.message = QStringLiteral("Malformed response from server");
        } else if (haveStatus) {
            result.success = true;
            result.statusCode = status.contains(QLatin1String("PROCESSING"), Qt::CaseInsensitive) ? 2000 : 0;
            result.message = QStringLiteral("Status: %1").arg(status);
        } else {
            result.message = QStringLiteral("Failed to parse query response");
        }
        return result;
    }

    ErrorTexts errors(Qt::CaseSensitive);
    while (!reader.atEnd()) {
        if (reader.readNext() != QXmlStreamReader::StartElement || errors.take(reader, result))
            continue;
        if (reader.name() == QLatin1String("RETURN_CODE")) {
            const QString code = reader.readElementText().trimmed();
            result.success = code == QLatin1String("0");
            if (!result.success) {
                result.errorCode = code;
                result.message = QStringLiteral("Failed: return code %1").arg(code);
            } else {
                result.message = action == InvoiceAction::SendDraft ? QStringLiteral("Draft sent successfully")
                                                                    : QStringLiteral("Draft cancelled successfully");
            }
        }
    }
    errors.finish(reader, result);
    return result;
}
