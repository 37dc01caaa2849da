#pragma once

// Bounds on what one HTTP request may make the server hold. Qt HttpServer 6.4 buffers a
// whole request before any handler runs, so the bounds are kept at the socket, before
// the bytes reach its parser.

#include <QByteArray>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <QTcpServer>

namespace RequestLimits {
// A statement upload: several bank exports, each far below this even as a 10,000-row PDF.
constexpr qint64 uploadBodyBytes = 48 * 1024 * 1024;
// Every other body is JSON: settings or a batch of invoice rows.
constexpr qint64 jsonBodyBytes = 8 * 1024 * 1024;
// Request line plus headers.
constexpr qint64 headerBytes = 64 * 1024;
// JSON: nesting depth and number of values (arrays and objects count their members).
constexpr int jsonDepth = 64;
constexpr qint64 jsonValues = 200000;
// Invoices in one prepare or send request.
constexpr int invoiceRows = 1000;

// The body limit of a request path.
qint64 bodyLimit(const QByteArray &path);

// Parses a JSON body after checking its shape without building it: too deep or too many
// values give a null document and the error word ("JSONTooDeep", "JSONTooLarge"); a body
// that is no JSON gives "InvalidJSON".
QJsonDocument parseJson(const QByteArray &body, QString *errorWord);

// The request object of a JSON body: an object, or the first element of a non-empty array.
// Returns the error word ("InvalidJSON" for anything else), empty when the object is usable.
QString requestObject(const QByteArray &body, QJsonObject *object);
} // namespace RequestLimits

// A listening socket whose connections are watched for oversized requests: a request that
// announces a body over its limit, a chunked body (its size is unknown until the end) or
// an endless header is answered at once with a JSON error and the connection is closed.
class LimitedTcpServer : public QTcpServer
{
    Q_OBJECT

public:
    using QTcpServer::QTcpServer;
    QTcpSocket *nextPendingConnection() override;

private:
    struct Watch
    {
        QByteArray header;        // header bytes of the request being received
        qint64 bodyLeft = 0;      // body bytes still to come for the current request
    };
    void inspect(QTcpSocket *socket);
    void refuse(QTcpSocket *socket, int status, const QByteArray &reason, const QString &errorWord);

    QHash<QTcpSocket *, Watch> watches;
};
