// Invoices from a client's rows: the integrator request, and the integrator's operations.
#include "httpserver.h"
#include "invoicejson.h"
#include "requestlimits.h"

#include "config/config.h"
#include "config/user.h"
#include "invoice/integration.h"

#include <QJsonDocument>

namespace {

InvoiceDest destinationOf(const QJsonObject &object)
{
    return object.value("destination").toString().toLower() == QLatin1String("final") ? InvoiceDest::Final
                                                                                       : InvoiceDest::Draft;
}

} // namespace

QHttpServerResponse HttpServer::handlePrepareEndpoint(const QHttpServerRequest &request)
{
    User *user = nullptr;
    QJsonObject object;
    if (auto refusal = authenticatedObject(request, &user, &object))
        return std::move(*refusal);
    const InvoiceDest dest = destinationOf(object);

    QList<InvoiceInfo> infos;
    const QJsonArray rows = object.value("rows").toArray();
    if (rows.size() > RequestLimits::invoiceRows)
        return createErrorResponse(400, QStringLiteral("TooManyRows"));
    if (rows.isEmpty()) {
        infos.append(invoiceInfoFromJson(object, user));
    } else {
        for (const QJsonValue &row : rows)
            infos.append(invoiceInfoFromJson(row.toObject(), user));
    }

    QString document;
    if (user->integration)
        document = user->integration->xml(user->integration->invoiceConfig(dest), infos);
    if (document.isEmpty())
        return createErrorResponse(500, QStringLiteral("PrepareXMLFailed"));
    QHttpServerResponse response("application/xml; charset=utf-8", document.toUtf8(),
                                 QHttpServerResponse::StatusCode::Ok);
    addCorsHeaders(response);
    return response;
}

QHttpServerResponse HttpServer::handleActionEndpoint(const QHttpServerRequest &request)
{
    User *user = nullptr;
    QJsonObject object;
    if (auto refusal = authenticatedObject(request, &user, &object))
        return std::move(*refusal);

    QString word = object.value("action").toString().toLower();
    if (word.isEmpty())
        word = QStringLiteral("send");
    InvoiceAction action;
    if (!Integration::actionFromWord(word, &action))
        return createErrorResponse(400, QStringLiteral("UnknownAction"));

    QJsonObject answer{{"action", word}};
    ActionResult result;
    Integration *integration = user->integration.get();
    if (action == InvoiceAction::Send) {
        const InvoiceDest dest = destinationOf(object);
        const QJsonArray rows = object.value("rows").toArray();
        if (rows.isEmpty())
            return createErrorResponse(400, QStringLiteral("NoRows"));
        if (rows.size() > RequestLimits::invoiceRows)
            return createErrorResponse(400, QStringLiteral("TooManyRows"));
        QJsonArray rowIds;
        QList<InvoiceInfo> infos;
        for (const QJsonValue &row : rows) {
            // A row that is no object cannot become an invoice.
            if (!row.isObject())
                return createErrorResponse(500, QStringLiteral("RowProcessFailed"));
            const QJsonObject rowObject = row.toObject();
            rowIds.append(rowObject.value("id").toString());
            infos.append(invoiceInfoFromJson(rowObject, user));
        }
        const QString document = integration ? integration->xml(integration->invoiceConfig(dest), infos) : QString();
        if (document.isEmpty())
            return createErrorResponse(500, QStringLiteral("PrepareXMLFailed"));
        result = integration->executeAction(InvoiceAction::Send, document, dest);
        answer.insert("row_ids", rowIds);
        answer.insert("count", rows.size());
    } else {
        QString error;
        const QList<QString> ettnList = parseEttnList(object, &error);
        if (!error.isEmpty())
            return createErrorResponse(400, error);
        if (integration)
            result = integration->executeAction(action, ettnList);
        else
            result.message = QStringLiteral("No integrator is set for this account");
    }

    answer.insert("success", result.success);
    answer.insert("message", result.message);
    if (!result.ettnList.isEmpty())
        answer.insert("ettn_list", QJsonArray::fromStringList(result.ettnList));
    if (!result.invoiceNumbers.isEmpty())
        answer.insert("invoice_numbers", QJsonArray::fromStringList(result.invoiceNumbers));
    if (result.statusCode >= 0)
        answer.insert("status_code", result.statusCode);
    if (!result.errorCode.isEmpty())
        answer.insert("error_code", result.errorCode);

    if (action == InvoiceAction::Send || action == InvoiceAction::SendDraft || action == InvoiceAction::CancelDraft) {
        HtmlAndErrors scan;
        if (!result.responseXml.isEmpty()) {
            answer.insert("response_xml", result.responseXml);
            scan = extractHtmlAndErrorsFromXml(result.responseXml);
            if (!scan.errors.isEmpty())
                answer.insert("error_message", scan.errors);
        }
        if (scan.errors.isEmpty()) {
            if (!result.errorCode.isEmpty())
                answer.insert("error_message", QStringLiteral("Return Code: %1").arg(result.errorCode));
            else if (!result.success && !result.message.isEmpty())
                answer.insert("error_message", result.message);
        }
    } else if (!result.responseXml.isEmpty()) {
        const HtmlAndErrors scan = extractHtmlAndErrorsFromXml(result.responseXml);
        if (!scan.pdf.isEmpty()) {
            answer.insert("pdf", QString::fromLatin1(scan.pdf.toBase64()));
            answer.insert("pdf_encoding", "base64");
        } else if (!scan.html.isEmpty()) {
            const QByteArray utf8 = scan.html.toUtf8();
            const QByteArray packed = gzipCompress(utf8);
            if (!packed.isEmpty()) {
                answer.insert("html", QString::fromLatin1(packed.toBase64()));
                answer.insert("html_encoding", "gzip+base64");
            } else {
                answer.insert("html", QString::fromLatin1(utf8.toBase64()));
                answer.insert("html_encoding", "base64");
            }
        }
        if (!scan.errors.isEmpty())
            answer.insert("error_message", scan.errors);
    }
    return createJsonResponse(QJsonArray{answer}, 200);
}
