#include "multipart.h"

#include <QRegularExpression>

QList<ParsedFile> parseMultipartData(const QByteArray &body, const QByteArray &boundary)
{
    const QByteArray delimiter = "\r\n--" + boundary;
    qsizetype pos = 0;
    const bool opened = body.startsWith("--" + boundary);
    // A body that never shows the boundary is not split by it at all.
    if (!opened && !body.contains(delimiter))
        return {};
    if (opened) {
        const qsizetype lineEnd = body.indexOf("\r\n");
        pos = lineEnd < 0 ? body.size() : lineEnd + 2;
    }

    QList<QByteArray> rawParts;
    while (true) {
        const qsizetype index = body.indexOf(delimiter, pos);
        if (index < 0)
            break;
        if (pos < index)
            rawParts.append(body.mid(pos, index - pos));
        pos = index + delimiter.size();
        if (body.mid(pos, 2) == "\r\n")
            pos += 2;
    }
    if (pos < body.size() && !body.mid(pos).startsWith("--" + boundary + "--"))
        rawParts.append(body.mid(pos));

    QList<ParsedFile> files;
    for (const QByteArray &raw : std::as_const(rawParts)) {
        if (raw.trimmed().isEmpty())
            continue;
        ParsedFile file = parseMultipartPart(raw);
        if (!file.filename.isEmpty() && !file.data.isEmpty())
            files.append(file);
    }
    return files;
}

ParsedFile parseMultipartPart(const QByteArray &part)
{
    ParsedFile file;
    const qsizetype split = part.indexOf("\r\n\r\n");
    if (split < 0)
        return file;
    static const QRegularExpression filenamePattern(QStringLiteral("filename=\"([^\"]+)\""));
    const QList<QByteArray> lines = part.left(split).split('\n');
    for (const QByteArray &rawLine : lines) {
        const QByteArray line = rawLine.trimmed();
        const QByteArray lower = line.toLower();
        if (lower.startsWith("content-disposition:")) {
            const QRegularExpressionMatch match = filenamePattern.match(QString::fromUtf8(line));
            if (match.hasMatch())
                file.filename = match.captured(1);
        } else if (lower.startsWith("content-type:")) {
            file.contentType = QString::fromUtf8(line.mid(13)).trimmed();
        }
    }
    file.data = part.mid(split + 4).trimmed();
    return file;
}
