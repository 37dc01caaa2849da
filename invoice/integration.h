#pragma once

#include "invoiceinfo.h"

#include <QList>
#include <QString>

#include <memory>

class QNetworkAccessManager;
class QNetworkReply;
class QWidget;
class Row;
class User;

enum class IntegratorType : int { None = 0, Uyumsoft = 1, EDM = 2 };

enum class InvoiceDest : int {
    Draft = 0,   // kept at the integrator as a draft
    Final = 1,   // issued to the Revenue Administration
    Auto = 2,    // the desktop's table send decides per row before calling a client
};

enum class InvoiceAction : int { Send = 0, SendDraft = 1, CancelDraft = 2, QueryStatus = 3, Pdf = 4 };

// How new invoices reach one destination of one integrator.
struct InvoiceConfig
{
    int dest = 0;
    QString request;    // SOAP request element and action
    QString destText;
    QString destHtml;
};

struct SendResult
{
    bool success = false;
    QList<QString> ettnList;
    QList<QString> invoiceNumbers;
    QString responseXml;
};

struct ActionResult
{
    bool success = false;
    QString message;
    QList<QString> ettnList;
    QList<QString> invoiceNumbers;
    int statusCode = -1;
    QString errorCode;
    QString responseXml;
};

// An e-invoice integrator's SOAP service as the rest of the program sees it. Every call
// waits for its answer; failures come back in the results, nothing throws.
class Integration
{
public:
    explicit Integration(User *user);
    virtual ~Integration();

    Integration(const Integration &) = delete;
    Integration &operator=(const Integration &) = delete;

    // EDM gives an EDM client, which logs in at once; anything else a Uyumsoft client.
    static std::unique_ptr<Integration> create(IntegratorType type, User *user);
    // An amount such as "1234.56" in Turkish words for the invoice note.
    static QString ntot(const QString &amount);

    // The action words the server accepts ("send", "send_draft", "cancel", "query", "pdf").
    static QString actionWord(InvoiceAction action);
    static bool actionFromWord(const QString &word, InvoiceAction *action);

    virtual IntegratorType type() const = 0;

    virtual QString xml(const InvoiceConfig &config, const QList<InvoiceInfo> &infos) = 0;
    virtual QString xml(InvoiceAction action, const QList<QString> &ettnList) = 0;
    virtual SendResult sendInvoice(InvoiceDest dest, const QString &request, QWidget *parent) = 0;
    virtual int sendDraft(const QList<int> &rowIndices, QWidget *parent) = 0;
    virtual bool cancelDraft(const QList<int> &rowIndices, QWidget *parent) = 0;
    virtual int queryStatus(const QList<int> &rowIndices, QWidget *parent) = 0;
    // Posts one SOAP request and waits for it. Null when it could not be posted (no
    // configured address) or the person cancelled the wait; the reply is deleted later.
    virtual QNetworkReply *postRequest(const char *requestName, const QString &body, QWidget *parent) const;
    virtual InvoiceConfig invoiceConfig(InvoiceDest dest) const = 0;
    virtual bool checkConnection(const User &account) = 0;
    virtual QString getSoapAction(InvoiceAction action, InvoiceDest dest) const = 0;
    virtual QString getUrl() const = 0;
    virtual QString getContentType() const;
    virtual ActionResult executeAction(InvoiceAction action, const QString &request, InvoiceDest dest);
    virtual ActionResult executeAction(InvoiceAction action, const QList<QString> &ettnList) = 0;

    // The SOAPAction header value of a request name.
    virtual QString getSoapActionFromCmd(const QString &requestName) const = 0;

    QList<Row> *rows = nullptr;   // the desktop's rows; not owned
    User *user = nullptr;         // not owned
    // Longest wait for an answer; the services can be slow to sign and issue.
    int timeoutMs = 120000;

protected:
    QNetworkAccessManager *manager() const;
    // Delay before the busy indicator may appear.
    virtual int busyDelayMs() const = 0;
    // Drafts of the rows at these indices: identifier and the payer's identity number.
    struct DraftRef
    {
        QString draftId;
        qint64 ident = 0;
    };
    QList<DraftRef> drafts(const QList<int> &rowIndices) const;

    // The address of a service from its "<service>.schm", ".host" and ".testhost" parameters
    // (HTTPS unless the scheme says otherwise); empty when the host is not configured.
    QString serviceUrl(const QString &service, bool test, const QString &path) const;
    // The destination of new invoices; anything but an explicit final send stays a draft,
    // so that nothing is issued by mistake.
    static InvoiceConfig destination(InvoiceDest dest, const QString &draftRequest, const QString &finalRequest);

    // Whether every invoice can be built; the first reason why not goes to the log.
    static bool buildable(const QList<InvoiceInfo> &infos);
    // Builds and posts the request of an action on existing invoices under the request name,
    // filling what both services answer alike (the ids, failures to build or to reach the
    // service, the answer's text). Returns the answer to read; empty when result is final.
    QByteArray postAction(InvoiceAction action, const QList<QString> &ettnList, const QString &requestName,
                          ActionResult &result);

private:
    mutable std::unique_ptr<QNetworkAccessManager> nam;
};
