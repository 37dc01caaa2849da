#pragma once

// What the fake integrator services share: SOAP envelopes, faults and the failures a test
// can ask for, per request name.

#include "fakehttpserver.h"

#include <QDomDocument>
#include <QDomElement>
#include <QHash>
#include <QObject>
#include <QStringList>

class FakeSoapService : public QObject
{
    Q_OBJECT

public:
    enum class Failure {
        None,
        Fault,          // HTTP 500 with a SOAP fault
        ServiceError,   // HTTP 200, the service refuses in its own answer
        EmptyBody,      // HTTP 200 without a body
        Malformed,      // HTTP 200, the answer breaks off mid-element
        Drop,           // the connection closes without an answer
        Hang,           // no answer for a minute
    };

    explicit FakeSoapService(QObject *parent = nullptr);

    bool listen() { return http.listen(); }
    QString hostAndPort() const { return http.hostAndPort(); }

    // Every request of this name fails so until cleared.
    void fail(const QString &requestName, Failure failure) { failures.insert(requestName, failure); }
    void clearFailures() { failures.clear(); }
    // Requests of this name that reached the service (well-formed or not).
    int count(const QString &requestName) const { return counts.value(requestName); }
    int total() const;

    FakeHttpServer http;
    // Why requests were refused, newest last; tests print them when something fails.
    QStringList refusals;
    QByteArray lastBody;

protected:
    static const QString soapNs;
    static const QString tempuriNs;

    // Parses the envelope and returns the request element in the tempuri namespace, or a
    // null element with the reason in refusals.
    QDomElement requestElement(const FakeRequest &request, QDomDocument &doc);
    FakeResponse refuse(const QString &reason, const QString &code = QStringLiteral("s:Client"),
                        const QString &detail = QString());
    static FakeResponse ok(const QString &bodyContent);
    // The answer for an injected failure; null body and status 0 when there is none.
    bool injected(const QString &requestName, FakeResponse *response, const QString &serviceError);

    // Direct element children by local name, whatever their namespace.
    static QList<QDomElement> children(const QDomElement &e, const QString &localName);
    static QDomElement child(const QDomElement &e, const QString &localName);
    static QString escape(const QString &text);

    QHash<QString, Failure> failures;
    QHash<QString, int> counts;
};
