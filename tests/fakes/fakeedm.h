#pragma once

// The EDM e-invoice service as far as the client uses it: login sessions, the buyer
// registry, new invoices as base64 UBL documents, drafts issued, cancelled and queried.

#include "fakesoap.h"

#include <QSet>

class FakeEdm : public FakeSoapService
{
    Q_OBJECT

public:
    explicit FakeEdm(QObject *parent = nullptr);

    struct Invoice
    {
        QString uuid;
        QString number;
        QString profile;     // ProfileID of the document
        QString receiver;    // HEADER RECEIVER, empty for e-archive
        QByteArray document; // the decoded UBL document
        bool draft = true;
    };

    // The account the service accepts.
    QString userName = QStringLiteral("kestrel");
    QString password = QStringLiteral("gizli");
    // Buyers the registry knows: identity number to (identifier, alias); an empty alias
    // is a buyer known without a mailbox.
    QHash<QString, QPair<QString, QString>> registry;
    // Answer every login with this session id instead of a fresh one (e.g. "0").
    QString forcedSession;
    // Status reported for issued invoices.
    QString issuedStatus = QStringLiteral("SEND - SUCCEED");
    // What a ServiceError failure answers.
    QString serviceReturnCode = QStringLiteral("12");
    QString serviceErrorMessage = QStringLiteral("Geçersiz istek");

    QSet<QString> sessions;
    QHash<QString, Invoice> invoices;   // by UUID
    QList<QByteArray> documents;        // every UBL document received, in order

private:
    FakeResponse handle(const FakeRequest &request);
    FakeResponse login(const QDomElement &request);
    FakeResponse checkUser(const QDomElement &request);
    FakeResponse loadOrSend(const QDomElement &request, bool draft);
    FakeResponse drafts(const QDomElement &request, bool cancel);
    FakeResponse getInvoice(const QDomElement &request);
    FakeResponse invoiceStatus(const QDomElement &request);
    QString checkDocument(const QByteArray &document, const QDomElement &invoice, QString *uuid, QString *profile);
    FakeResponse answer(const QString &requestName, const QString &content, const QString &returnCode = QStringLiteral("0"));

    int numbers = 0;
    QDomDocument lastDoc;
};
