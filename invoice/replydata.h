#pragma once

#include <QByteArray>
#include <QNetworkReply>
#include <QString>

// What the clients read from a finished reply, taken at once (the reply is deleted later).
struct ReplyData
{
    bool failed = true;     // no reply, or a network or HTTP error
    QString errorText;
    QByteArray body;

    static ReplyData from(QNetworkReply *reply)
    {
        ReplyData d;
        if (!reply) {
            d.errorText = QStringLiteral("Request was not sent");
            return d;
        }
        if (reply->isOpen())
            d.body = reply->readAll();
        d.failed = reply->error() != QNetworkReply::NoError;
        if (d.failed)
            d.errorText = reply->errorString();
        return d;
    }
    // A body to read: no error and not empty.
    bool usable() const { return !failed && !body.isEmpty(); }
};
