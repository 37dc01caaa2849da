#include "password.h"

#include "util.h"

#include <QCryptographicHash>
#include <QtDebug>

namespace {

QByteArray xorStream(const QByteArray &data, int uid)
{
    const QByteArray key = util::getEncryptionKey(uid);
    const QByteArray pad = QCryptographicHash::hash(key, QCryptographicHash::Sha256).left(16);
    QByteArray out(data.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < data.size(); ++i)
        out[i] = char(data[i] ^ key[i % 32] ^ pad[i % 16]);
    return out;
}

QByteArray checksum(const QByteArray &plain)
{
    return QCryptographicHash::hash(plain, QCryptographicHash::Sha256).left(8);
}

} // namespace

QString encryptPassword(const QString &password, int uid)
{
    if (password.isEmpty() || password.startsWith(QLatin1String("ENC:")))
        return password;
    const QByteArray plain = password.toUtf8();
    const QByteArray stored = xorStream(plain, uid) + checksum(plain);
    return QString::fromLatin1(
        stored.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

QString decryptPassword(const QString &stored, int uid)
{
    if (stored.isEmpty())
        return QString();
    QString text = stored;
    if (text.startsWith(QLatin1String("ENC:")))
        text.remove(0, 4);
    const QByteArray bytes = QByteArray::fromBase64(text.toLatin1(), QByteArray::Base64UrlEncoding);
    if (bytes.size() < 8)
        return stored;
    const QByteArray plain = xorStream(bytes.left(bytes.size() - 8), uid);
    if (checksum(plain) != bytes.right(8)) {
        qDebug() << "Password decryption checksum mismatch for user" << uid;
        return stored;
    }
    return QString::fromUtf8(plain);
}
