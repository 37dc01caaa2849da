#include "fakeuyumsoft.h"

#include <QDate>
#include <QDateTime>
#include <QUuid>

namespace {

const QString wsuNs =
    QStringLiteral("http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-utility-1.0.xsd");
const QString wsseNs =
    QStringLiteral("http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-secext-1.0.xsd");
const QString passwordText =
    QStringLiteral("http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-username-token-profile-1.0#PasswordText");
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

QDomElement path(QDomElement e, const QStringList &steps)
{
    for (const QString &step : steps) {
        const bool basic = step.startsWith(QLatin1String("cbc:"));
        e = ns(e, basic ? cbcNs : cacNs, step.mid(4));
    }
    return e;
}

} // namespace

FakeUyumsoft::FakeUyumsoft(QObject *parent) : FakeSoapService(parent)
{
    http.route(QStringLiteral("/Services/Integration"), [this](const FakeRequest &r) { return handle(r); });
}

FakeResponse FakeUyumsoft::result(const QString &requestName, bool success, const QString &message, const QString &values)
{
    return ok(QStringLiteral("<%1Response xmlns=\"%2\"><%1Result IsSucceded=\"%3\" Message=\"%4\">%5</%1Result></%1Response>")
                  .arg(requestName, tempuriNs, success ? QStringLiteral("true") : QStringLiteral("false"),
                       escape(message), values));
}

QString FakeUyumsoft::checkSecurity(const QDomElement &envelope) const
{
    const QDomElement header = child(envelope, QStringLiteral("Header"));
    const QDomElement security = ns(header, wsseNs, QStringLiteral("Security"));
    if (security.isNull())
        return QStringLiteral("no WS-Security header");
    if (security.attributeNS(soapNs, QStringLiteral("mustUnderstand")) != QLatin1String("1"))
        return QStringLiteral("Security not marked mustUnderstand");
    const QDomElement stamp = ns(security, wsuNs, QStringLiteral("Timestamp"));
    const QDateTime created = QDateTime::fromString(ns(stamp, wsuNs, QStringLiteral("Created")).text(), Qt::ISODateWithMs);
    const QDateTime expires = QDateTime::fromString(ns(stamp, wsuNs, QStringLiteral("Expires")).text(), Qt::ISODateWithMs);
    const QDateTime now = QDateTime::currentDateTimeUtc();
    if (!created.isValid() || !expires.isValid() || created > now.addSecs(60) || expires < now
        || created.secsTo(expires) > 600)
        return QStringLiteral("timestamp missing or out of date");
    const QDomElement token = ns(security, wsseNs, QStringLiteral("UsernameToken"));
    if (!token.attributeNS(wsuNs, QStringLiteral("Id")).startsWith(QLatin1String("uuid-")))
        return QStringLiteral("user-name token without an id");
    const QDomElement pass = ns(token, wsseNs, QStringLiteral("Password"));
    if (pass.attribute(QStringLiteral("Type")) != passwordText)
        return QStringLiteral("password is not plain text");
    if (ns(token, wsseNs, QStringLiteral("Username")).text() != userName || pass.text() != password)
        return QStringLiteral("Kullanıcı adı veya şifre hatalı");
    return QString();
}

FakeResponse FakeUyumsoft::handle(const FakeRequest &request)
{
    QDomDocument doc;
    const QDomElement element = requestElement(request, doc);
    if (element.isNull())
        return refuse(refusals.isEmpty() ? QStringLiteral("bad request") : refusals.last());
    const QString name = element.localName();
    const QString action = QStringLiteral("\"http://tempuri.org/IIntegration/%1\"").arg(name);
    if (QString::fromUtf8(request.headers.value("soapaction")) != action)
        return refuse(QStringLiteral("SOAPAction %1 does not name %2")
                          .arg(QString::fromUtf8(request.headers.value("soapaction")), name),
                      QStringLiteral("a:ActionNotSupported"));
    const QString security = checkSecurity(doc.documentElement());
    if (!security.isEmpty())
        return refuse(security, QStringLiteral("a:InvalidSecurity"));

    FakeResponse injectedResponse;
    if (injected(name, &injectedResponse,
                 QStringLiteral("<%1Response xmlns=\"%2\"><%1Result IsSucceded=\"false\" Message=\"Servis hatası\">"
                                "<Error>Servis hatası</Error><ERROR_CODE>77</ERROR_CODE></%1Result></%1Response>")
                     .arg(name, tempuriNs)))
        return injectedResponse;

    if (name == QLatin1String("TestConnection"))
        return result(name, true, QStringLiteral("Bağlantı başarılı"));
    if (name == QLatin1String("SaveAsDraft") || name == QLatin1String("SendInvoice"))
        return save(element, name == QLatin1String("SaveAsDraft"));
    if (name == QLatin1String("SendDraft") || name == QLatin1String("CancelDraft"))
        return drafts(element, name == QLatin1String("CancelDraft"));
    if (name == QLatin1String("GetOutboxInvoiceView") || name == QLatin1String("GetOutboxInvoicePdf"))
        return view(element, name == QLatin1String("GetOutboxInvoicePdf"));
    return refuse(QStringLiteral("unknown request %1").arg(name), QStringLiteral("a:ActionNotSupported"));
}

QString FakeUyumsoft::checkInvoice(const QDomElement &invoice, Invoice *stored) const
{
    if (path(invoice, {QStringLiteral("cbc:CustomizationID")}).text() != QLatin1String("TR1.2"))
        return QStringLiteral("not a TR1.2 invoice");
    if (!QDate::fromString(path(invoice, {QStringLiteral("cbc:IssueDate")}).text(), QStringLiteral("yyyy-MM-dd")).isValid())
        return QStringLiteral("no IssueDate");
    if (path(invoice, {QStringLiteral("cbc:InvoiceTypeCode")}).text() != QLatin1String("OZELMATRAH"))
        return QStringLiteral("not a special-base invoice");
    const QDomElement buyer = path(invoice, {QStringLiteral("cac:AccountingCustomerParty"), QStringLiteral("cac:Party")});
    const QDomElement id = path(buyer, {QStringLiteral("cac:PartyIdentification"), QStringLiteral("cbc:ID")});
    stored->buyerScheme = id.attribute(QStringLiteral("schemeID"));
    stored->buyerId = id.text();
    const int digits = stored->buyerScheme == QLatin1String("VKN") ? 10 : stored->buyerScheme == QLatin1String("TCKN") ? 11 : 0;
    if (digits == 0 || stored->buyerId.size() != digits)
        return QStringLiteral("buyer identification %1 %2").arg(stored->buyerScheme, stored->buyerId);
    const bool named = digits == 10 ? !path(buyer, {QStringLiteral("cac:PartyName"), QStringLiteral("cbc:Name")}).text().trimmed().isEmpty()
                                    : !path(buyer, {QStringLiteral("cac:Person"), QStringLiteral("cbc:FirstName")}).text().trimmed().isEmpty();
    if (!named)
        return QStringLiteral("buyer without a name");
    const QDomElement payable = path(invoice, {QStringLiteral("cac:LegalMonetaryTotal"), QStringLiteral("cbc:PayableAmount")});
    bool ok = false;
    payable.text().toDouble(&ok);
    if (!ok || payable.attribute(QStringLiteral("currencyID")) != QLatin1String("TRY"))
        return QStringLiteral("no payable amount");
    stored->payable = payable.text();
    int lines = 0;
    for (QDomElement c = invoice.firstChildElement(); !c.isNull(); c = c.nextSiblingElement()) {
        if (c.localName() == QLatin1String("InvoiceLine"))
            ++lines;
        if (c.localName() == QLatin1String("Note"))
            stored->notes.append(c.text());
    }
    if (lines == 0 || lines != path(invoice, {QStringLiteral("cbc:LineCountNumeric")}).text().toInt())
        return QStringLiteral("LineCountNumeric does not match the lines");
    return QString();
}

FakeResponse FakeUyumsoft::save(const QDomElement &request, bool draft)
{
    const QList<QDomElement> infos = children(child(request, QStringLiteral("invoices")), QStringLiteral("InvoiceInfo"));
    if (infos.isEmpty())
        return refuse(QStringLiteral("no invoices"));
    QList<Invoice> accepted;
    for (const QDomElement &info : infos) {
        Invoice stored;
        stored.draft = draft;
        const QString problem = checkInvoice(child(info, QStringLiteral("Invoice")), &stored);
        if (!problem.isEmpty()) {
            FakeResponse r = result(request.localName(), false, problem);
            refusals.append(problem);
            return r;
        }
        stored.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
        stored.number = QStringLiteral("UYM%1%2").arg(QDate::currentDate().year()).arg(++numbers, 9, 10, QLatin1Char('0'));
        accepted.append(stored);
    }
    QString values;
    for (const Invoice &stored : std::as_const(accepted)) {
        invoices.insert(stored.id, stored);
        order.append(stored.id);
        values += QStringLiteral("<Value Id=\"%1\" Number=\"%2\" LocalId=\"\"/>").arg(stored.id, stored.number);
    }
    return result(request.localName(), true, QString(), values);
}

QStringList FakeUyumsoft::ids(const QDomElement &request) const
{
    QStringList list;
    for (const QString &holder : {QStringLiteral("invoiceIds"), QStringLiteral("invoiceId")}) {
        for (const QDomElement &s : children(child(request, holder), QStringLiteral("string")))
            list.append(s.text());
    }
    return list;
}

FakeResponse FakeUyumsoft::drafts(const QDomElement &request, bool cancel)
{
    const QStringList list = ids(request);
    if (list.isEmpty())
        return result(request.localName(), false, QStringLiteral("Fatura seçilmedi"));
    for (const QString &id : list) {
        const auto found = invoices.constFind(id);
        if (found == invoices.constEnd() || !found->draft) {
            refusals.append(QStringLiteral("no draft %1").arg(id));
            return result(request.localName(), false, QStringLiteral("Taslak bulunamadı: %1").arg(escape(id)));
        }
    }
    for (const QString &id : list) {
        if (cancel) {
            invoices.remove(id);
            order.removeAll(id);
        } else {
            invoices[id].draft = false;
        }
    }
    return result(request.localName(), true, QString());
}

FakeResponse FakeUyumsoft::view(const QDomElement &request, bool pdf)
{
    const QStringList list = ids(request);
    const auto found = invoices.constFind(list.value(0));
    if (found == invoices.constEnd())
        return result(request.localName(), false, QStringLiteral("Fatura bulunamadı"));
    if (pdf)
        return result(request.localName(), true, QString(),
                      QStringLiteral("<Value Data=\"%1\"/>").arg(QString::fromLatin1(QByteArray("%PDF-1.4 fake").toBase64())));
    return result(request.localName(), true, QString(),
                  QStringLiteral("<Value Id=\"%1\" InvoiceId=\"%2\" StatusCode=\"%3\" Status=\"%4\"/>")
                      .arg(found->id, found->number, QString::number(found->draft ? draftStatus : issuedStatus),
                           found->draft ? QStringLiteral("Taslak") : QStringLiteral("Gönderildi")));
}
