#pragma once

#include "integration.h"

class QXmlStreamWriter;

// The Uyumsoft service: no session, every request carries the account in a WS-Security token.
class UyumsoftIntegration : public Integration
{
public:
    explicit UyumsoftIntegration(User *user);

    IntegratorType type() const override { return IntegratorType::Uyumsoft; }

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
    QString getSoapActionFromCmd(const QString &requestName) const override;

    // Builds the WS-Security envelope around "<invoiceIds>parts</invoiceIds>" and posts it;
    // null without posting when the account name or password is empty.
    QNetworkReply *postRequest(const char *name, const QString &account, const QString &password, QWidget *parent,
                               QList<QString> parts) const;
    QList<QString> invoiceNodes(const QList<int> &rowIndices) const;

    static void line(QXmlStreamWriter &w, const InvoiceInfo &info);
    static QString envelope(const QString &requestName, const QString &account, const QString &password,
                            const QString &content);

protected:
    int busyDelayMs() const override { return 100; }

private:
    // The request name an action is posted under; empty when the action has none here.
    static QString actionRequest(InvoiceAction action);
};
