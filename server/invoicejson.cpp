#include "invoicejson.h"

#include "config/user.h"

#include <QJsonArray>
#include <QXmlStreamReader>
#include <QtDebug>

InvoiceInfo invoiceInfoFromJson(const QJsonObject &object, User *user)
{
    InvoiceInfo info;
    info.locale = QLocale(QLocale::C, QLocale::AnyScript, QLocale::AnyTerritory);
    info.date = object.value("dt").toString();
    info.description = object.value("description").toString();

    const qint64 taxNo = object.value("tn").toInteger();
    const qint64 ident = taxNo != 0 ? taxNo : object.value("nn").toInteger();
    const QString name = object.value("name").toString();

    info.carat.fromJO(object);
    info.line.pname = object.value("pn").toString();
    info.line.lname = object.value("ln").toString();
    if (info.line.pname.isEmpty())
        info.line.pname = QStringLiteral("Altın");
    if (info.line.lname.isEmpty())
        info.line.lname = QStringLiteral("İşçilik");

    if (user) {
        info.userName = user->name;
        info.password = user->pass;
        info.company = user->company;
    }

    CustomerInfo &buyer = info.customer;
    buyer.ident = ident;
    buyer.name = name;
    const QJsonObject address = object.value("customer").toObject();
    if (!address.isEmpty()) {
        buyer.fromJO(address);
        return info;
    }
    const CustomerInfo known = user ? user->getCustomer(ident, name) : CustomerInfo();
    if (known.ident != 0) {
        buyer = known;
        return info;
    }
    buyer.city = info.company.CityName;
    buyer.district = info.company.District;
    buyer.taxoffice.clear();
    buyer.country = QStringLiteral("Türkiye");
    buyer.address = info.company.Address;
    buyer.phone.clear();
    return info;
}

QList<QString> parseEttnList(const QJsonObject &object, QString *error)
{
    if (!object.contains("ettn_list")) {
        *error = QStringLiteral("ettn_list is required");
        return {};
    }
    QList<QString> list;
    for (const QJsonValue &value : object.value("ettn_list").toArray()) {
        const QString ettn = value.toString().trimmed();
        if (!ettn.isEmpty())
            list.append(ettn);
    }
    if (list.isEmpty())
        *error = QStringLiteral("ettn_list must contain at least one non-empty value");
    return list;
}

namespace {

void addError(QString &errors, const QString &text)
{
    if (!errors.isEmpty())
        errors += QStringLiteral("; ");
    errors += text;
}

// Entity text left inside an already decoded HTML element; "&amp;" last so that
// "&amp;lt;" stays the text "&lt;".
QString resolveEntities(QString html)
{
    const QChar placeholder(1);
    html.replace(QStringLiteral("&amp;"), QString(placeholder));
    html.replace(QStringLiteral("&lt;"), QStringLiteral("<"));
    html.replace(QStringLiteral("&gt;"), QStringLiteral(">"));
    html.replace(QStringLiteral("&quot;"), QStringLiteral("\""));
    html.replace(QStringLiteral("&apos;"), QStringLiteral("'"));
    html.replace(placeholder, QLatin1Char('&'));
    return html;
}

} // namespace

HtmlAndErrors extractHtmlAndErrorsFromXml(const QString &xml)
{
    HtmlAndErrors out;
    QXmlStreamReader reader(xml);
    while (!reader.atEnd()) {
        reader.readNext();
        if (!reader.isStartElement())
            continue;
        const QString name = reader.name().toString().toUpper();
        if (name == QLatin1String("CONTENT")) {
            const QString text = reader.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
            if (!text.isEmpty()) {
                const QByteArray bytes = QByteArray::fromBase64(text.toLatin1());
                if (!bytes.isEmpty())
                    out.html = QString::fromUtf8(bytes);
            }
        } else if (name == QLatin1String("DATA")) {
            const QString text = reader.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
            if (!text.isEmpty()) {
                const QByteArray bytes = QByteArray::fromBase64(text.toLatin1());
                if (bytes.startsWith("%PDF"))
                    out.pdf = bytes;
            }
        } else if (name == QLatin1String("HTML")) {
            out.html = resolveEntities(reader.readElementText(QXmlStreamReader::IncludeChildElements));
            break;
        } else if (name == QLatin1String("FAULTSTRING")) {
            const QString text = reader.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
            if (!text.isEmpty())
                out.errors = text;
        } else if (name == QLatin1String("ERROR_CODE")) {
            const QString code = reader.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
            if (code.isEmpty())
                continue;
            if (out.errors.isEmpty())
                out.errors = QStringLiteral("Hata kodu: %1").arg(code);
            else
                out.errors += QStringLiteral(" (Hata kodu: %1)").arg(code);
        } else if (name == QLatin1String("ERROR_SHORT_DES") || name == QLatin1String("ERROR_LONG_DES")) {
            const QString text = reader.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
            if (text.isEmpty())
                continue;
            if (out.errors.isEmpty())
                out.errors = text;
            else if (out.errors.startsWith(QLatin1String("Hata kodu:")) && !text.contains(out.errors))
                out.errors = text + QStringLiteral(" (") + out.errors + QLatin1Char(')');
        } else if (name == QLatin1String("ERROR_MESSAGE") || name == QLatin1String("MESSAGE")
                   || name == QLatin1String("ERROR") || name == QLatin1String("RETURN_CODE")) {
            const QString text = reader.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
            if (text.isEmpty())
                continue;
            if (name == QLatin1String("RETURN_CODE")) {
                if (text != QLatin1String("0"))
                    addError(out.errors, QStringLiteral("Return Code: %1").arg(text));
            } else {
                addError(out.errors, text);
            }
        }
    }
    if (reader.hasError() && !xml.trimmed().isEmpty()) {
        qCritical() << "XML parse error:" << reader.errorString() << "at line" << reader.lineNumber() << "column"
                    << reader.columnNumber();
    }
    return out;
}
