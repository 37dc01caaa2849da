#pragma once

#include "integration.h"

class QXmlStreamWriter;

// What the EDM service knows of a buyer.
struct CheckUserResult
{
    QString identifier;
    QString alias;
    bool registered = false;   // a registered e-invoice user: both identifier and alias came back
    bool answered = false;     // the service gave a readable answer at all
};

// The EDM service: a login gives a session that every later request carries in its header.
class EDMIntegration : public Integration
{
public:
    explicit EDMIntegration(User *user);

    IntegratorType type() const override { return IntegratorType::EDM; }

    QString xml(const InvoiceConfig &config, const QList<InvoiceInfo> &infos) override;
    QString xml(InvoiceAction action, const QList<QString> &ettnList) override;
    SendResult sendInvoice(InvoiceDest dest, const QString &request, QWidget *parent) override;
    int sendDraft(const QList<int> &rowIndices, QWidget *parent) override;
    bool cancelDraft(const QList<int> &rowIndices, QWidget *parent) override;
    int queryStatus(const QList<int> &rowIndices, QWidget *parent) override;
    using Integration::postRequest;
    InvoiceConfig invoiceConfig(InvoiceDest dest) const override;
    bool checkConnection(const User &account) override;
    QString getSoapAction(InvoiceAction action, InvoiceDest dest) const override;
    QString getUrl() const override;
    using Integration::executeAction;
    ActionResult executeAction(InvoiceAction action, const QList<QString> &ettnList) override;
    QString getSoapActionFromCmd(const QString &requestName) const override { return requestName; }

    bool login(const User &account);
    QString header() const;
    CheckUserResult checkUser(const QString &identityNumber) const;
    QList<QString> invoiceElements(const QList<int> &rowIndices);
    // Wraps the header and the parts in the envelope and posts them.
    QNetworkReply *postRequest(const char *name, QWidget *parent, QList<QString> parts) const;

    // The UBL-TR document of one invoice.
    static void line(QXmlStreamWriter &w, const InvoiceInfo &info, const CheckUserResult &cu);
    static QString envelope(const QString &requestName, const QString &content);

    QString sessionId = QStringLiteral("0");

protected:
    int busyDelayMs() const override { return 1000; }

private:
    QString hostLabel() const;
    QString draftElement(const QString &uuid, const CheckUserResult &cu) const;
};
