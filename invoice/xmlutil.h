#pragma once

#include <QString>

class QXmlStreamWriter;

// Every value that goes into a request passes through here, whether it is written by a
// QXmlStreamWriter or pasted into a text template: account names, passwords, identifiers
// and free texts come from people and from the network.
namespace xmlutil {

// Drops what XML 1.0 cannot carry at all (control characters, lone surrogates,
// U+FFFE/U+FFFF); a writer would otherwise put them out verbatim and break the document.
QString clean(const QString &text);
// clean() plus the five markup characters, for text content and quoted attribute values.
QString escape(const QString &text);

// Leaf element "<name>value</name>" with a cleaned value.
void text(QXmlStreamWriter &w, const QString &name, const QString &value);
// Leaf element with one attribute.
void text(QXmlStreamWriter &w, const QString &name, const QString &attribute, const QString &attributeValue,
          const QString &value);
// "<name>escaped value</name>" for the text templates.
QString element(const QString &name, const QString &value);

} // namespace xmlutil
