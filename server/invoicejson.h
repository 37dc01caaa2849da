#pragma once

// Translation between the server's invoice JSON and the integrator interface.

#include "invoice/invoiceinfo.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>

class User;

// What an integrator's answer carries for a person: the rendered invoice and readable errors.
struct HtmlAndErrors
{
    QString html;
    QByteArray pdf;
    QString errors;
};

// The invoice values of one row object of a client; the amounts print with the C locale.
InvoiceInfo invoiceInfoFromJson(const QJsonObject &object, User *user);

// The non-empty, trimmed strings of "ettn_list"; sets `error` when none is usable.
QList<QString> parseEttnList(const QJsonObject &object, QString *error);

// Scans an integrator's SOAP answer for a rendered invoice and error texts.
HtmlAndErrors extractHtmlAndErrorsFromXml(const QString &xml);
