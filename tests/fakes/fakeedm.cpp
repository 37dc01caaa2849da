#include "fakeedm.h"

#include <QDate>
#include <QUuid>

namespace {

const QString ublNs = QStringLiteral("urn:oasis:names:specification:ubl:schema:xsd:Invoice-2");
const QString cbcNs = QStringLiteral("urn:oasis:names:specification:ubl:schema:xsd:CommonBasicComponents-2");
const QString cacNs = QStringLiteral("urn:oasis:names:specification:ubl:schema:xsd:CommonAggregateComponents-2");

QDomElement ns(const QDomElement &e, const QString &uri, const QString &localName)
{
    for (QDomElement c = e.firstChildElement(); !c.isNull(); c = c.nextSiblingElement()) {
        if (c.localName() == localName && c.namespaceURI() == uri)
            return c;
    }
    return {};
}

} // namespace

FakeEdm::FakeEdm(QObject *parent) : FakeSoapService(parent)
{
    const auto handler = [this](const FakeRequest &r) { return handle(r); };
    http.route(QStringLiteral("/EFaturaEDM21ea/EFaturaEDM.svc"), handler);
    http.route(QStringLiteral("/EFaturaEDM/EFaturaEDM.svc"), handler);
}

FakeResponse FakeEdm::answer(const QString &requestName, const QString &content, const QString &returnCode)
{
    QString name = requestName;
    name.replace(QLatin1String("Request"), QLatin1String("Response"));
    return ok(QStringLiteral("<%1 xmlns=\"%2\"><REQUEST_RETURN xmlns=\"\"><INTL_TXN_ID>%3</INTL_TXN_ID>"
                             "<RETURN_CODE>%4</RETURN_CODE></REQUEST_RETURN>%5</%1>")
                  .arg(name, tempuriNs, QString::number(total()), returnCode, content));
}

FakeResponse FakeEdm::handle(const FakeRequest &request)
{
    const QDomElement element = requestElement(request, lastDoc);
    if (element.isNull())
        return refuse(refusals.isEmpty() ? QStringLiteral("bad request") : refusals.last());
    const QString name = element.localName();
    if (QString::fromUtf8(request.headers.value("soapaction")) != name)
        return refuse(QStringLiteral("SOAPAction %1 does not name %2").arg(QString::fromUtf8(request.headers.value("soapaction")), name));

    FakeResponse injectedResponse;
    const QString serviceError = QStringLiteral("<%1 xmlns=\"%2\"><REQUEST_RETURN xmlns=\"\"><RETURN_CODE>%3</RETURN_CODE>"
                                                "</REQUEST_RETURN><ERROR_CODE xmlns=\"\">%3</ERROR_CODE>"
                                                "<ERROR_MESSAGE xmlns=\"\">%4</ERROR_MESSAGE></%1>")
                                     .arg(QString(name).replace(QLatin1String("Request"), QLatin1String("Response")),
                                          tempuriNs, serviceReturnCode, escape(serviceErrorMessage));
    if (injected(name, &injectedResponse, serviceError))
        return injectedResponse;

    const QDomElement header = child(element, QStringLiteral("REQUEST_HEADER"));
    if (header.isNull() || !header.namespaceURI().isEmpty())
        return refuse(QStringLiteral("no REQUEST_HEADER outside any namespace"));
    for (const char *field : {"SESSION_ID", "ACTION_DATE", "REASON", "APPLICATION_NAME", "HOSTNAME", "CHANNEL_NAME"}) {
        if (child(header, QLatin1String(field)).isNull())
            return refuse(QStringLiteral("REQUEST_HEADER without %1").arg(QLatin1String(field)));
    }
    if (!QDate::fromString(child(header, QStringLiteral("ACTION_DATE")).text(), QStringLiteral("yyyy-MM-dd")).isValid())
        return refuse(QStringLiteral("ACTION_DATE is no date"));

    if (name == QLatin1String("LoginRequest"))
        return login(element);
    if (!sessions.contains(child(header, QStringLiteral("SESSION_ID")).text()))
        return refuse(QStringLiteral("Oturum geçersiz"), QStringLiteral("s:Client"),
                      QStringLiteral("<RequestFault xmlns=\"\"><ERROR_CODE>10001</ERROR_CODE></RequestFault>"));
    if (name == QLatin1String("CheckUserRequest"))
        return checkUser(element);
    if (name == QLatin1String("LoadInvoiceRequest"))
        return loadOrSend(element, true);
    if (name == QLatin1String("SendInvoiceRequest"))
        return child(element, QStringLiteral("INVOICE")).firstChildElement(QStringLiteral("CONTENT")).isNull()
            ? drafts(element, false)
            : loadOrSend(element, false);
    if (name == QLatin1String("CancelInvoiceRequest"))
        return drafts(element, true);
    if (name == QLatin1String("GetInvoiceRequest"))
        return getInvoice(element);
    if (name == QLatin1String("GetInvoiceStatusRequest"))
        return invoiceStatus(element);
    return refuse(QStringLiteral("unknown request %1").arg(name));
}

FakeResponse FakeEdm::login(const QDomElement &request)
{
    const QDomElement user = child(request, QStringLiteral("USER_NAME"));
    const QDomElement pass = child(request, QStringLiteral("PASSWORD"));
    if (user.isNull() || pass.isNull() || !user.namespaceURI().isEmpty() || !pass.namespaceURI().isEmpty())
        return refuse(QStringLiteral("login without USER_NAME and PASSWORD"));
    if (user.text() != userName || pass.text() != password)
        return refuse(QStringLiteral("Kullanıcı adı veya şifre hatalı"), QStringLiteral("s:Client"),
                      QStringLiteral("<RequestFault xmlns=\"\"><ERROR_CODE>2005</ERROR_CODE></RequestFault>"));
    const QString session = forcedSession.isEmpty() ? QUuid::createUuid().toString(QUuid::WithoutBraces) : forcedSession;
    sessions.insert(session);
    return answer(QStringLiteral("LoginRequest"), QStringLiteral("<SESSION_ID xmlns=\"\">%1</SESSION_ID>").arg(session));
}

FakeResponse FakeEdm::checkUser(const QDomElement &request)
{
    const QString ident = child(child(request, QStringLiteral("USER")), QStringLiteral("IDENTIFIER")).text();
    if (ident.isEmpty())
        return refuse(QStringLiteral("CheckUser without IDENTIFIER"));
    QString users;
    const auto found = registry.constFind(ident);
    if (found != registry.constEnd()) {
        users = QStringLiteral("<USER xmlns=\"\"><IDENTIFIER>%1</IDENTIFIER>").arg(found->first);
        if (!found->second.isEmpty())
            users += QStringLiteral("<ALIAS>%1</ALIAS>").arg(escape(found->second));
        users += QStringLiteral("<TITLE>KAYITLI</TITLE><TYPE>OZEL</TYPE></USER>");
    }
    return answer(QStringLiteral("CheckUserRequest"), users);
}

QString FakeEdm::checkDocument(const QByteArray &document, const QDomElement &invoice, QString *uuid, QString *profile)
{
    QDomDocument doc;
    QString error;
    if (!doc.setContent(document, true, &error))
        return QStringLiteral("CONTENT is no XML: ") + error;
    const QDomElement root = doc.documentElement();
    if (root.localName() != QLatin1String("Invoice") || root.namespaceURI() != ublNs)
        return QStringLiteral("CONTENT is no UBL invoice");
    *uuid = ns(root, cbcNs, QStringLiteral("UUID")).text();
    *profile = ns(root, cbcNs, QStringLiteral("ProfileID")).text();
    if (QUuid::fromString(*uuid).isNull())
        return QStringLiteral("invoice without UUID");
    if (invoices.contains(*uuid))
        return QStringLiteral("UUID already used");
    if (ns(root, cbcNs, QStringLiteral("CustomizationID")).text() != QLatin1String("TR1.2"))
        return QStringLiteral("not a TR1.2 document");
    if (!QDate::fromString(ns(root, cbcNs, QStringLiteral("IssueDate")).text(), QStringLiteral("yyyy-MM-dd")).isValid())
        return QStringLiteral("no IssueDate");
    const QDomElement buyerId = ns(ns(ns(ns(root, cacNs, QStringLiteral("AccountingCustomerParty")), cacNs, QStringLiteral("Party")),
                                      cacNs, QStringLiteral("PartyIdentification")),
                                   cbcNs, QStringLiteral("ID"));
    const QDomElement header = child(invoice, QStringLiteral("HEADER"));
    if (*profile == QLatin1String("TEMELFATURA")) {
        // An e-invoice goes to the buyer's mailbox: the header must name a registered one.
        const auto found = registry.constFind(buyerId.text());
        if (header.isNull() || found == registry.constEnd() || found->second.isEmpty()
            || child(header, QStringLiteral("TO")).text() != found->second
            || child(header, QStringLiteral("RECEIVER")).text() != found->first)
            return QStringLiteral("TEMELFATURA without the buyer's registered mailbox");
    } else if (*profile == QLatin1String("EARSIVFATURA")) {
        if (!header.isNull())
            return QStringLiteral("EARSIVFATURA with a mailbox header");
    } else {
        return QStringLiteral("unknown ProfileID ") + *profile;
    }
    const int lineCount = ns(root, cbcNs, QStringLiteral("LineCountNumeric")).text().toInt();
    int lines = 0;
    for (QDomElement c = root.firstChildElement(); !c.isNull(); c = c.nextSiblingElement())
        lines += c.localName() == QLatin1String("InvoiceLine") ? 1 : 0;
    if (lines == 0 || lines != lineCount)
        return QStringLiteral("LineCountNumeric does not match the lines");
    return QString();
}

FakeResponse FakeEdm::loadOrSend(const QDomElement &request, bool draft)
{
    const QList<QDomElement> list = children(request, QStringLiteral("INVOICE"));
    if (list.isEmpty())
        return refuse(QStringLiteral("no INVOICE"));
    if (child(request, QStringLiteral("GENERATEINVOICEIDONLOAD")).text() != QLatin1String("true"))
        return refuse(QStringLiteral("invoice numbers were not left to the service"));
    QList<Invoice> accepted;
    for (const QDomElement &invoice : list) {
        const auto decoded = QByteArray::fromBase64Encoding(child(invoice, QStringLiteral("CONTENT")).text().toLatin1(),
                                                            QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded)
            return refuse(QStringLiteral("CONTENT is not base64"));
        Invoice stored;
        stored.document = *decoded;
        stored.draft = draft;
        const QString problem = checkDocument(stored.document, invoice, &stored.uuid, &stored.profile);
        if (!problem.isEmpty()) {
            refusals.append(problem);
            return answer(request.localName(),
                          QStringLiteral("<ERROR_CODE xmlns=\"\">3001</ERROR_CODE><ERROR_MESSAGE xmlns=\"\">%1</ERROR_MESSAGE>")
                              .arg(escape(problem)),
                          QStringLiteral("3001"));
        }
        stored.receiver = child(child(invoice, QStringLiteral("HEADER")), QStringLiteral("RECEIVER")).text();
        stored.number = QStringLiteral("EDM%1%2").arg(QDate::currentDate().year()).arg(++numbers, 9, 10, QLatin1Char('0'));
        accepted.append(stored);
    }
    QString content;
    for (const Invoice &stored : std::as_const(accepted)) {
        invoices.insert(stored.uuid, stored);
        documents.append(stored.document);
        content += QStringLiteral("<INVOICE xmlns=\"\" TRXID=\"%1\" UUID=\"%2\" ID=\"%3\"/>")
                       .arg(QString::number(numbers), stored.uuid, stored.number);
    }
    return answer(request.localName(), content);
}

FakeResponse FakeEdm::drafts(const QDomElement &request, bool cancel)
{
    const QList<QDomElement> list = children(request, QStringLiteral("INVOICE"));
    if (list.isEmpty())
        return refuse(QStringLiteral("no INVOICE"));
    for (const QDomElement &invoice : list) {
        const auto found = invoices.constFind(invoice.attribute(QStringLiteral("UUID")));
        if (found == invoices.constEnd() || !found->draft) {
            refusals.append(QStringLiteral("no draft %1").arg(invoice.attribute(QStringLiteral("UUID"))));
            return answer(request.localName(),
                          QStringLiteral("<ERROR_MESSAGE xmlns=\"\">Taslak bulunamadı</ERROR_MESSAGE>"), QStringLiteral("20"));
        }
    }
    for (const QDomElement &invoice : list) {
        const QString uuid = invoice.attribute(QStringLiteral("UUID"));
        if (cancel)
            invoices.remove(uuid);
        else
            invoices[uuid].draft = false;
    }
    return answer(request.localName(), QString());
}

FakeResponse FakeEdm::getInvoice(const QDomElement &request)
{
    const QDomElement key = child(request, QStringLiteral("INVOICE_SEARCH_KEY"));
    const auto found = invoices.constFind(child(key, QStringLiteral("UUID")).text());
    if (key.isNull() || child(request, QStringLiteral("HEADER_ONLY")).isNull())
        return refuse(QStringLiteral("GetInvoice without search key"));
    if (found == invoices.constEnd())
        return answer(request.localName(), QString());
    const QString status = found->draft ? QStringLiteral("LOAD - SUCCEED") : issuedStatus;
    return answer(request.localName(),
                  QStringLiteral("<INVOICE xmlns=\"\" ID=\"%1\" UUID=\"%2\"><HEADER><STATUS>%3</STATUS>"
                                 "<STATUS_DESCRIPTION>%3</STATUS_DESCRIPTION></HEADER></INVOICE>")
                      .arg(found->number, found->uuid, status));
}

FakeResponse FakeEdm::invoiceStatus(const QDomElement &request)
{
    QString content;
    for (const QDomElement &invoice : children(request, QStringLiteral("INVOICE"))) {
        const auto found = invoices.constFind(invoice.attribute(QStringLiteral("UUID")));
        if (found == invoices.constEnd()) {
            content += QStringLiteral("<INVOICE_STATUS xmlns=\"\"><ERROR_CODE>404</ERROR_CODE></INVOICE_STATUS>");
            continue;
        }
        content += QStringLiteral("<INVOICE_STATUS xmlns=\"\"><UUID>%1</UUID><STATUS>%2</STATUS></INVOICE_STATUS>")
                       .arg(found->uuid, found->draft ? QStringLiteral("LOAD - SUCCEED") : issuedStatus);
    }
    return answer(request.localName(), content);
}
