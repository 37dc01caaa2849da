#pragma once

// From uploaded statements to priced rows.

#include "multipart.h"

#include <QByteArray>
#include <QJsonArray>
#include <QList>

class Row;
class User;

// The statement text of all files, one after the other.
QByteArray processFiles(const QList<ParsedFile> &files);
// The rows of statement text, merged and filtered with the user's settings, priced.
QJsonArray processTextData(const QByteArray &text, User *user);
// Recalculates the rows on the thread pool; invalid and excluded rows are left out.
QJsonArray rowListToJA(QList<Row> rows);
