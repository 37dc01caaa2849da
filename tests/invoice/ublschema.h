#pragma once

// Validates invoice documents against the OASIS UBL 2.1 Invoice schema with libxml2.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <libxml/parser.h>
#include <libxml/xmlschemas.h>

class UblSchema
{
public:
    UblSchema()
    {
        const QByteArray file = QByteArrayLiteral(CORVINA_TEST_SOURCE_DIR "/tests/data/ubl-2.1/maindoc/UBL-Invoice-2.1.xsd");
        xmlSchemaParserCtxtPtr parser = xmlSchemaNewParserCtxt(file.constData());
        schema = parser ? xmlSchemaParse(parser) : nullptr;
        xmlSchemaFreeParserCtxt(parser);
    }
    ~UblSchema()
    {
        if (schema)
            xmlSchemaFree(schema);
    }
    UblSchema(const UblSchema &) = delete;
    UblSchema &operator=(const UblSchema &) = delete;

    bool loaded() const { return schema != nullptr; }

    // The schema's complaints about the document; empty when it is valid.
    QStringList validate(const QByteArray &document) const
    {
        QStringList errors;
        xmlDocPtr doc = xmlReadMemory(document.constData(), int(document.size()), "invoice.xml", nullptr,
                                      XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
        if (!doc)
            return {QStringLiteral("not well-formed XML")};
        xmlSchemaValidCtxtPtr ctxt = xmlSchemaNewValidCtxt(schema);
        xmlSchemaSetValidStructuredErrors(ctxt, collect, &errors);
        if (xmlSchemaValidateDoc(ctxt, doc) != 0 && errors.isEmpty())
            errors.append(QStringLiteral("invalid"));
        xmlSchemaFreeValidCtxt(ctxt);
        xmlFreeDoc(doc);
        return errors;
    }

private:
    static void collect(void *list, xmlErrorPtr error)
    {
        static_cast<QStringList *>(list)->append(
            QStringLiteral("line %1: %2").arg(error->line).arg(QString::fromUtf8(error->message).trimmed()));
    }

    xmlSchemaPtr schema = nullptr;
};
