#pragma once

// The Uyumsoft e-invoice service as far as the client uses it: a WS-Security user-name
// token on every request, inline UBL invoices saved as drafts or sent, drafts by id.

#include "fakesoap.h"

class FakeUyumsoft : public FakeSoapService
{
    Q_OBJECT

public:
    explicit FakeUyumsoft(QObject *parent = nullptr);

    struct Invoice
    {
        QString id;
        QString number;
        QString buyerScheme;   // "VKN" or "TCKN"
        QString buyerId;
        QString payable;       // LegalMonetaryTotal/PayableAmount
        QStringList notes;
        bool draft = true;
    };

    QString userName = QStringLiteral("Uyumsoft");
    QString password = QStringLiteral("Uyumsoft");
    int issuedStatus = 1000;   // StatusCode of sent invoices
    int draftStatus = 0;

    QHash<QString, Invoice> invoices;   // by id
    QList<QString> order;               // ids as they arrived

private:
    FakeResponse handle(const FakeRequest &request);
    QString checkSecurity(const QDomElement &envelope) const;
    FakeResponse save(const QDomElement &request, bool draft);
    FakeResponse drafts(const QDomElement &request, bool cancel);
    FakeResponse view(const QDomElement &request, bool pdf);
    QString checkInvoice(const QDomElement &invoice, Invoice *stored) const;
    static FakeResponse result(const QString &requestName, bool success, const QString &message,
                               const QString &values = QString());
    QStringList ids(const QDomElement &request) const;

    int numbers = 0;
};
