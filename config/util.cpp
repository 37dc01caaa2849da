#include "util.h"

#include <QCryptographicHash>

namespace util {

void latinize(QString &text)
{
    static const struct { char16_t from; char16_t to; } pairs[] = {
        {u'ç', u'c'}, {u'Ç', u'C'}, {u'ğ', u'g'}, {u'Ğ', u'G'}, {u'ı', u'i'}, {u'İ', u'I'},
        {u'ö', u'o'}, {u'Ö', u'O'}, {u'ş', u's'}, {u'Ş', u'S'}, {u'ü', u'u'}, {u'Ü', u'U'},
        {u'#', u'i'},
    };
    for (const auto &p : pairs)
        text.replace(QChar(p.from), QChar(p.to));

    // Some PDF fonts extract the dotless i as U+FFFE. Fold it only where it cannot be
    // anything else: the text has no 'i' of its own, or it sits between capital consonants.
    static const QChar marker(0xFFFE);
    if (!text.contains(marker))
        return;
    static const QRegularExpression betweenConsonants(
        QStringLiteral("[BCDFGHJKLMNPRSTVYZ]\uFFFE[BCDFGHJKLMNPRSTVYZ]"));
    if (!text.contains(QLatin1Char('i')) || text.contains(betweenConsonants))
        text.replace(marker, QLatin1Char('i'));
}

QString latinized(QString text)
{
    latinize(text);
    return text;
}

const QRegularExpression &fieldSep()
{
    static const QRegularExpression re(QStringLiteral(" *[^A-Za-z0-9 .,;-]+ *"));
    return re;
}

QByteArray getEncryptionKey(int uid)
{
    static const QByteArray passphrase = QByteArrayLiteral(
        "Qv7Wm3Xz-Lk9Rt2Bn-Yp4Hd8Jc-Gf6Ts1Mx-Nw5Zq0Vb-Dr3Kj7Pe-Uy2Hs9Wa4C");
    const QByteArray text = QByteArray::number(uid) + ':' + passphrase;
    return QCryptographicHash::hash(text, QCryptographicHash::Sha256);
}

} // namespace util
