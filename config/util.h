#pragma once

#include <QByteArray>
#include <QRegularExpression>
#include <QString>

namespace util {

// Folds Turkish letters to their Latin base letters in place; see latinize() in util.cpp.
void latinize(QString &text);
QString latinized(QString text);

// Any run of characters other than ASCII letters, digits, space, '.', ',', ';' and '-',
// with the spaces around it: the separator between statement fields.
const QRegularExpression &fieldSep();

// The per-user key that protects stored integrator passwords (32 bytes).
QByteArray getEncryptionKey(int uid);

} // namespace util
