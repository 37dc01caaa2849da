#pragma once

#include "integration.h"

#include <QByteArray>
#include <QNetworkReply>
#include <QString>
#include <QStringList>
#include <QXmlStreamReader>

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

// The error elements of an answer to a draft action, gathered for the result's message.
class ErrorTexts
{
public:
    explicit ErrorTexts(Qt::CaseSensitivity names) : names(names) {}

    // Takes the element the reader stands on when it is one of the error elements.
    bool take(QXmlStreamReader &reader, ActionResult &result)
    {
        const QStringView name = reader.name();
        const bool code = name.compare(QLatin1String("ERROR_CODE"), names) == 0;
        if (!code && name.compare(QLatin1String("ERROR_MESSAGE"), names) != 0
            && name.compare(QLatin1String("MESSAGE"), names) != 0 && name.compare(QLatin1String("Error"), names) != 0)
            return false;
        const QString text = reader.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
        if (text.isEmpty())
            return true;
        if (code) {
            result.errorCode = text;
            texts.append(QStringLiteral("Error Code: %1").arg(text));
        } else {
            texts.append(text);
        }
        return true;
    }

    // After the last element: a failed result carries the texts in its message.
    void finish(const QXmlStreamReader &reader, ActionResult &result) const
    {
        if (reader.hasError()) {
            // Whatever was read before the break cannot be trusted.
            result.success = false;
            result.message = QStringLiteral("Malformed response from server");
            return;
        }
        if (!texts.isEmpty() && !result.success) {
            if (!result.message.isEmpty())
                result.message += QStringLiteral("; ");
            result.message += texts.join(QStringLiteral("; "));
        }
        if (result.message.isEmpty())
            result.message = QStringLiteral("Failed to parse response");
    }

private:
    Qt::CaseSensitivity names;
    QStringList texts;
};
