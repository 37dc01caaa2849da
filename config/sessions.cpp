// Session tokens of the server's clients, last-login times and the desktop's server token.
#include "config.h"

#include <QRandomGenerator>
#include <QSqlError>
#include <QSqlQuery>
#include <QtDebug>

QString Config::createSession(int uid)
{
    if (!userDb.isValid())
        return QString();
    QByteArray random(32, Qt::Uninitialized);
    for (char &byte : random)
        byte = char((QRandomGenerator::global()->generate64() >> 24) & 0xFF);
    QByteArray owner(3, Qt::Uninitialized);
    owner[0] = char((uid >> 16) & 0xFF);
    owner[1] = char((uid >> 8) & 0xFF);
    owner[2] = char(uid & 0xFF);
    const auto options = QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals;
    const QString token = QString::fromLatin1(random.toBase64(options) + owner.toBase64(options));

    QSqlQuery q(userDb);
    q.prepare(QStringLiteral("INSERT INTO sessions (sid, uid) VALUES (?, ?)"));
    q.addBindValue(token);
    q.addBindValue(uid);
    if (!q.exec()) {
        qDebug() << "Failed to create session for user" << uid << ":" << q.lastError().text();
        return QString();
    }
    return token;
}

int Config::validateSession(const QString &token)
{
    if (token.isEmpty() || !userDb.isValid())
        return 0;
    QSqlQuery q(userDb);
    q.prepare(QStringLiteral("SELECT uid FROM sessions WHERE sid = ? AND mtime > datetime('now', '-30 days')"));
    q.addBindValue(token);
    if (!q.exec()) {
        qDebug() << "Failed to validate session:" << q.lastError().text();
        return 0;
    }
    if (!q.next())
        return 0;
    const int uid = q.value(0).toInt();
    updateSession(token);
    return uid;
}

bool Config::updateSession(const QString &token)
{
    if (!userDb.isValid())
        return false;
    QSqlQuery q(userDb);
    // Within the same second the row already says so; skipping the write spares a disk
    // sync on every request of a busy client.
    q.prepare(QStringLiteral("UPDATE sessions SET mtime = CURRENT_TIMESTAMP WHERE sid = ? AND mtime IS NOT CURRENT_TIMESTAMP"));
    q.addBindValue(token);
    if (!q.exec()) {
        qDebug() << "Failed to update session:" << q.lastError().text();
        return false;
    }
    return true;
}

User *Config::getUser(const QString &token)
{
    const int uid = validateSession(token);
    return uid == 0 ? nullptr : getUser(uid);
}

bool Config::cleanupOldSessions()
{
    if (!userDb.isValid())
        return false;
    QSqlQuery q(userDb);
    if (!q.exec(QStringLiteral("DELETE FROM sessions WHERE mtime < datetime('now', '-30 days')"))) {
        qDebug() << "Failed to cleanup old sessions:" << q.lastError().text();
        return false;
    }
    if (q.numRowsAffected() > 0)
        qDebug() << "Cleaned up" << q.numRowsAffected() << "old session(s)";
    return true;
}

qint64 Config::getUserLastLoginTimestamp(int uid)
{
    if (!userDb.isValid())
        return 0;
    QSqlQuery q(userDb);
    q.prepare(QStringLiteral("SELECT atime FROM users WHERE uid = ?"));
    q.addBindValue(uid);
    return q.exec() && q.next() ? q.value(0).toLongLong() : 0;
}

bool Config::updateUserLastLoginTimestamp(int uid, qint64 msecs)
{
    if (!userDb.isValid())
        return false;
    QSqlQuery q(userDb);
    q.prepare(QStringLiteral("UPDATE users SET atime = ? WHERE uid = ?"));
    q.addBindValue(msecs);
    q.addBindValue(uid);
    if (!q.exec()) {
        qDebug() << "Failed to update atime for user" << uid << ":" << q.lastError().text();
        return false;
    }
    return true;
}

void Config::setServerToken(const QString &token)
{
    serverToken = token;
    if (!userDb.isValid())
        return;
    QSqlQuery q(userDb);
    q.exec(QStringLiteral("DELETE FROM sessions WHERE uid = 0"));
    if (token.isEmpty())
        return;
    q.prepare(QStringLiteral("INSERT INTO sessions (sid, uid) VALUES (?, 0)"));
    q.addBindValue(token);
    if (!q.exec())
        qDebug() << "Failed to save token to sessions:" << q.lastError().text();
}
