#include "xmlutil.h"

#include <QXmlStreamWriter>

namespace xmlutil {

namespace {

bool allowed(char32_t c)
{
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD)
        || (c >= 0x10000 && c <= 0x10FFFF);
}

} // namespace

QString clean(const QString &text)
{
    QString out;
    out.reserve(text.size());
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < n && text.at(i + 1).isLowSurrogate()) {
            out.append(c);
            out.append(text.at(++i));
            continue;
        }
        if (!c.isSurrogate() && allowed(c.unicode()))
            out.append(c);
    }
    return out;
}

QString escape(const QString &text)
{
    const QString plain = clean(text);
    QString out;
    out.reserve(plain.size() + plain.size() / 8);
    for (const QChar c : plain) {
        switch (c.unicode()) {
        case '&': out += QLatin1String("&amp;"); break;
        case '<': out += QLatin1String("&lt;"); break;
        case '>': out += QLatin1String("&gt;"); break;
        case '"': out += QLatin1String("&quot;"); break;
        case '\'': out += QLatin1String("&apos;"); break;
        // Kept as references so that attribute normalisation cannot turn them into blanks.
        case '\t': out += QLatin1String("&#9;"); break;
        case '\n': out += QLatin1String("&#10;"); break;
        case '\r': out += QLatin1String("&#13;"); break;
        default: out += c;
        }
    }
    return out;
}

void text(QXmlStreamWriter &w, const QString &name, const QString &value)
{
    w.writeTextElement(name, clean(value));
}

void text(QXmlStreamWriter &w, const QString &name, const QString &attribute, const QString &attributeValue,
          const QString &value)
{
    w.writeStartElement(name);
    w.writeAttribute(attribute, clean(attributeValue));
    w.writeCharacters(clean(value));
    w.writeEndElement();
}

QString element(const QString &name, const QString &value)
{
    return QLatin1Char('<') + name + QLatin1Char('>') + escape(value) + QLatin1String("</") + name
        + QLatin1Char('>');
}

} // namespace xmlutil
