#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// One file part of a multipart/form-data body.
struct ParsedFile
{
    QString filename;     // filename parameter of Content-Disposition; empty when absent
    QByteArray data;      // the part's body, white space trimmed at both ends
    QString contentType;  // recorded, not used
};

// The file parts of a body, in order; only parts with a file name and content are kept.
QList<ParsedFile> parseMultipartData(const QByteArray &body, const QByteArray &boundary);
ParsedFile parseMultipartPart(const QByteArray &part);
