#include "fakesoap.h"

const QString FakeSoapService::soapNs = QStringLiteral("http://schemas.xmlsoap.org/soap/envelope/");
const QString FakeSoapService::tempuriNs = QStringLiteral("http://tempuri.org/");

FakeSoapService::FakeSoapService(QObject *parent) : QObject(parent) {}

int FakeSoapService::total() const
{
    int n = 0;
    for (int c : counts)
        n += c;
    return n;
}

QList<QDomElement> FakeSoapService::children(const QDomElement &e, const QString &localName)
{
    QList<QDomElement> list;
    for (QDomElement c = e.firstChildElement(); !c.isNull(); c = c.nextSiblingElement()) {
        if (c.localName() == localName)
            list.append(c);
    }
    return list;
}

QDomElement FakeSoapService::child(const QDomElement &e, const QString &localName)
{
    const QList<QDomElement> list = children(e, localName);
    return list.isEmpty() ? QDomElement() : list.first();
}

QString FakeSoapService::escape(const QString &text)
{
    return text.toHtmlEscaped();
}

QDomElement FakeSoapService::requestElement(const FakeRequest &request, QDomDocument &doc)
{
    lastBody = request.body;
    if (request.method != "POST") {
        refusals.append(QStringLiteral("method %1").arg(QString::fromLatin1(request.method)));
        return {};
    }
    if (!request.headers.value("content-type").startsWith("text/xml")) {
        refusals.append(QStringLiteral("content type %1").arg(QString::fromLatin1(request.headers.value("content-type"))));
        return {};
    }
    QString error;
    int line = 0;
    int column = 0;
    if (!doc.setContent(request.body, true, &error, &line, &column)) {
        refusals.append(QStringLiteral("unreadable XML: %1 at %2:%3").arg(error).arg(line).arg(column));
        return {};
    }
    const QDomElement envelope = doc.documentElement();
    if (envelope.localName() != QLatin1String("Envelope") || envelope.namespaceURI() != soapNs) {
        refusals.append(QStringLiteral("not a SOAP envelope"));
        return {};
    }
    const QDomElement body = child(envelope, QStringLiteral("Body"));
    const QDomElement element = body.firstChildElement();
    if (body.namespaceURI() != soapNs || element.isNull() || element.namespaceURI() != tempuriNs
        || !element.nextSiblingElement().isNull()) {
        refusals.append(QStringLiteral("body holds no single request element"));
        return {};
    }
    counts[element.localName()] += 1;
    return element;
}

FakeResponse FakeSoapService::refuse(const QString &reason, const QString &code, const QString &detail)
{
    refusals.append(reason);
    FakeResponse r;
    r.status = 500;
    r.contentType = "text/xml; charset=utf-8";
    r.body = QStringLiteral("<s:Envelope xmlns:s=\"%1\"><s:Body><s:Fault><faultcode>%2</faultcode>"
                            "<faultstring xml:lang=\"tr-TR\">%3</faultstring>%4</s:Fault></s:Body></s:Envelope>")
                 .arg(soapNs, code, escape(reason), detail.isEmpty() ? QString() : QStringLiteral("<detail>%1</detail>").arg(detail))
                 .toUtf8();
    return r;
}

FakeResponse FakeSoapService::ok(const QString &bodyContent)
{
    return FakeResponse::ok(
        QStringLiteral("<s:Envelope xmlns:s=\"%1\"><s:Body>%2</s:Body></s:Envelope>").arg(soapNs, bodyContent).toUtf8(),
        "text/xml; charset=utf-8");
}

bool FakeSoapService::injected(const QString &requestName, FakeResponse *response, const QString &serviceError)
{
    switch (failures.value(requestName, Failure::None)) {
    case Failure::None:
        return false;
    case Failure::Fault:
        *response = refuse(QStringLiteral("Sunucu hatası"), QStringLiteral("s:Server"),
                           QStringLiteral("<RequestFault xmlns=\"\"><ERROR_CODE>-1</ERROR_CODE>"
                                          "<ERROR_SHORT_DES>Sunucu hatası</ERROR_SHORT_DES></RequestFault>"));
        break;
    case Failure::ServiceError:
        *response = ok(serviceError);
        break;
    case Failure::EmptyBody:
        *response = FakeResponse::ok(QByteArray(), "text/xml; charset=utf-8");
        break;
    case Failure::Malformed:
        *response = FakeResponse::ok(QStringLiteral("<s:Envelope xmlns:s=\"%1\"><s:Body><%2Response xmlns=\"%3\">"
                                                    "<RETURN_CODE>0</RETURN_CODE><Result IsSucceded=\"true\"><Value ")
                                         .arg(soapNs, requestName, tempuriNs).toUtf8(),
                                     "text/xml; charset=utf-8");
        break;
    case Failure::Drop:
        *response = FakeResponse::dropped();
        break;
    case Failure::Hang:
        *response = FakeResponse::slow(60000);
        break;
    }
    return true;
}
