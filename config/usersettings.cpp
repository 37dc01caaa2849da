// Saving a user, its settings JSON and version number, new accounts and logins.
#include "user.h"

#include "config.h"
#include "password.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QMap>
#include <QSqlError>
#include <QSqlQuery>
#include <QtDebug>

namespace {

bool failSave(QSqlDatabase &db, const QString &message)
{
    qDebug().noquote() << message;
    db.rollback();
    return false;
}

} // namespace

bool User::save()
{
    QSqlDatabase &db = config->userDb;
    if (!db.transaction()) {
        qDebug() << "Failed to start transaction for user" << uid;
        return false;
    }
    for (const QString &key : CompanySettings::keys()) {
        if (!saveParam(QStringLiteral("company"), key, *company.slot(key)))
            return failSave(db, QStringLiteral("Failed to save company setting ") + key);
    }

    QSqlQuery q(db);
    q.prepare(QStringLiteral("UPDATE users SET name = ?, pass = ?, base = ? WHERE uid = ?"));
    q.addBindValue(name);
    q.addBindValue(encryptPassword(pass, uid));
    q.addBindValue(integrator());
    q.addBindValue(uid);
    if (!q.exec())
        return failSave(db, QStringLiteral("Failed to save user row: ") + q.lastError().text());

    const CaratConfigList stored = config->getCaratConfigList(uid);
    for (const CaratConfig &line : stored) {
        if (line.index == 0)
            continue;
        const bool kept = std::any_of(carats.cbegin(), carats.cend(),
                                      [&](const CaratConfig &c) { return c.index == line.index; });
        if (!kept && !config->deleteCaratRow(line.index, uid))
            return failSave(db, QStringLiteral("Failed to delete carat row %1: ").arg(line.index)
                                    + db.lastError().text());
    }
    for (const CaratConfig &line : std::as_const(carats)) {
        if (line.index != 0 && !config->updateCaratRow(line, uid))
            return failSave(db, QStringLiteral("Failed to update carat row %1: ").arg(line.index)
                                    + db.lastError().text());
    }

    q.prepare(QStringLiteral("DELETE FROM clist WHERE uid = ?"));
    q.addBindValue(uid);
    if (!q.exec())
        return failSave(db, QStringLiteral("Failed to delete clist for user %1: ").arg(uid) + q.lastError().text());
    for (const CaratConfig &line : std::as_const(carats)) {
        if (!line.enabled || line.index < 1)
            continue;
        q.prepare(QStringLiteral("INSERT INTO clist (uid, cid, minperc) VALUES (?, ?, ?)"));
        q.addBindValue(uid);
        q.addBindValue(int(line.index));
        q.addBindValue(int(line.minperc));
        if (!q.exec())
            return failSave(db, QStringLiteral("Failed to save clist cid %1: ").arg(line.index) + q.lastError().text());
    }

    if (autofilter)
        filterlist = filters.join(QLatin1Char(';'));
    const QList<QPair<QString, QString>> app{
        {QStringLiteral("theme"), theme},
        {QStringLiteral("combine"), QString::number(combine)},
        {QStringLiteral("autofilter"), autofilter ? QStringLiteral("1") : QStringLiteral("0")},
        {QStringLiteral("filterlist"), filterlist},
        {QStringLiteral("autodesc"), autodesc ? QStringLiteral("1") : QStringLiteral("0")},
        {QStringLiteral("description"), description},
    };
    for (const auto &[key, val] : app) {
        if (!saveParam(QStringLiteral("app"), key, val))
            return failSave(db, QStringLiteral("Failed to save app settings: ") + lastParamError);
    }

    qint64 percent = labor.taxratio.den == 0 ? 0 : labor.taxratio.num * 100 / labor.taxratio.den;
    if (percent == 0)
        percent = 20;
    const QList<QPair<QString, QString>> laborValues{
        {QStringLiteral("taxratio"), QString::number(percent)},
        {QStringLiteral("unitmin"), QString::number(labor.unitmin)},
        {QStringLiteral("unitmax"), QString::number(labor.unitmax)},
        {QStringLiteral("limit"), QString::number(labor.limit)},
    };
    for (const auto &[key, val] : laborValues) {
        if (!saveParam(QStringLiteral("labor"), key, val))
            return failSave(db, QStringLiteral("Failed to save labor settings: ") + lastParamError);
    }

    if (!db.commit()) {
        qDebug() << "Failed to commit transaction for user" << uid;
        db.rollback();
        return false;
    }
    return true;
}

bool User::checkConnection()
{
    if (!ready() || !integration)
        return false;
    return integration->checkConnection(*this);
}

int User::getSettingsVersion() const
{
    QSqlDatabase &db = config->userDb;
    if (!db.isValid())
        return 0;
    QString text;
    QSqlQuery q(db);
    q.prepare(QStringLiteral("SELECT name, pass, base FROM users WHERE uid = ?"));
    q.addBindValue(uid);
    if (q.exec() && q.next()) {
        text += QStringLiteral("name:") + q.value(0).toString() + QStringLiteral("|pass:") + q.value(1).toString()
                + QStringLiteral("|base:") + q.value(2).toString() + QLatin1Char('|');
    }
    auto addSection = [&](const QString &sec) {
        const QHash<QString, QString> section = readSection(sec);
        QMap<QString, QString> sorted;
        for (auto it = section.cbegin(); it != section.cend(); ++it)
            sorted.insert(it.key(), it.value());
        for (auto it = sorted.cbegin(); it != sorted.cend(); ++it)
            text += it.key() + QLatin1Char(':') + it.value() + QLatin1Char('|');
    };
    addSection(QStringLiteral("company"));
    q.prepare(QStringLiteral("SELECT cid, minperc FROM clist WHERE uid = ? ORDER BY cid"));
    q.addBindValue(uid);
    if (q.exec()) {
        while (q.next())
            text += q.value(0).toString() + QLatin1Char(':') + q.value(1).toString() + QLatin1Char('|');
    }
    addSection(QStringLiteral("app"));
    addSection(QStringLiteral("labor"));
    addSection(QStringLiteral("web"));
    if (text.isEmpty())
        return 1;
    const QByteArray digest = QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Md5);
    const quint32 head = (quint32(quint8(digest[0])) << 24) | (quint32(quint8(digest[1])) << 16)
                         | (quint32(quint8(digest[2])) << 8) | quint32(quint8(digest[3]));
    const int version = int(head % 1000000);
    return version == 0 ? 1 : version;
}

QJsonObject User::getUserSettings() const
{
    return QJsonObject{{"name", name}, {"pass", QString("")}, {"base", integrator()}};
}

bool User::setUserSettings(const QJsonObject &o)
{
    if (o.contains("name"))
        name = o.value("name").toString().trimmed();
    if (o.contains("pass"))
        pass = QString::fromUtf8(
            QByteArray::fromBase64(o.value("pass").toString().toLatin1(), QByteArray::Base64UrlEncoding));
    if (o.contains("base"))
        integrator(o.value("base").toString());
    return true;
}

QJsonObject User::getAppSettings() const
{
    QJsonArray list;
    for (const QString &piece : filterlist.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        if (!piece.trimmed().isEmpty())
            list.append(piece.trimmed());
    }
    return QJsonObject{{"theme", theme},
                       {"combine", QString::number(combine)},
                       {"autofilter", autofilter ? "1" : "0"},
                       {"filterlist", list},
                       {"autodesc", autodesc ? "1" : "0"},
                       {"description", description}};
}

bool User::setAppSettings(const QJsonObject &o)
{
    if (o.contains("theme"))
        theme = o.value("theme").toString();
    if (o.contains("description"))
        description = o.value("description").toString();
    if (o.contains("combine"))
        combine = o.value("combine").toString().toInt();
    if (o.contains("autofilter"))
        autofilter = o.value("autofilter").toString().toInt() != 0;
    if (o.contains("autodesc"))
        autodesc = o.value("autodesc").toString().toInt() != 0;
    if (o.contains("filterlist")) {
        QStringList words;
        for (const QJsonValue &v : o.value("filterlist").toArray()) {
            const QString word = v.toString().trimmed();
            if (!word.isEmpty())
                words.append(word);
        }
        filterlist = words.join(QLatin1Char(';'));
        // A word holding ';' becomes several filters, as it will after the next load.
        filters = filterlist.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    }
    return true;
}

QJsonObject User::sectionObject(const QString &sec) const
{
    QJsonObject o;
    if (!config->userDb.isValid())
        return o;
    const QHash<QString, QString> section = readSection(sec);
    for (auto it = section.cbegin(); it != section.cend(); ++it)
        o.insert(it.key(), it.value());
    return o;
}

bool User::setSectionObject(const QString &sec, const QJsonObject &o)
{
    QSqlDatabase &db = config->userDb;
    if (!db.isValid())
        return false;
    if (!db.transaction()) {
        qDebug().noquote() << QStringLiteral("Failed to start transaction for %1_settings").arg(sec);
        return false;
    }
    for (const QString &key : o.keys()) {
        const QJsonValue v = o.value(key);
        if (!saveParam(sec, key, v.isString() ? v.toString() : QString(""))) {
            qDebug().noquote() << QStringLiteral("Failed to save %1 setting %2: ").arg(sec, key) + lastParamError;
            db.rollback();
            return false;
        }
    }
    if (!db.commit()) {
        db.rollback();
        return false;
    }
    return true;
}

QJsonObject User::toJO() const
{
    return QJsonObject{{"user", getUserSettings()},
                       {"company", company.toJO()},
                       {"carat", carats.toJA()},
                       {"app", getAppSettings()},
                       {"labor", labor.toJO()},
                       {"web", getWebSettings()},
                       {"mobile", getMobileSettings()},
                       {"hash", getSettingsVersion()}};
}

bool User::fromJO(const QJsonObject &o)
{
    if (o.contains("user"))
        setUserSettings(o.value("user").toObject());
    if (o.contains("company"))
        company.fromJO(o.value("company").toObject());
    if (o.value("carat").isArray())
        carats.fromJA(o.value("carat").toArray());
    if (o.contains("app"))
        setAppSettings(o.value("app").toObject());
    if (o.contains("labor"))
        labor.fromJO(o.value("labor").toObject());
    if (o.contains("web"))
        setWebSettings(o.value("web").toObject());
    if (o.contains("mobile"))
        setMobileSettings(o.value("mobile").toObject());
    return true;
}

User *Config::addUser(const QString &name)
{
    if (!userDb.isValid()) {
        qDebug() << "User database not available";
        return nullptr;
    }
    QSqlQuery q(userDb);
    q.prepare(QStringLiteral("INSERT OR REPLACE INTO users (name, pass) VALUES (?, '')"));
    q.addBindValue(name);
    if (!q.exec()) {
        qDebug() << "Failed to create user:" << name << q.lastError().text();
        return nullptr;
    }
    const int uid = q.lastInsertId().toInt();
    qDebug() << "Created new user:" << name << "with uid:" << uid;

    if (!userDb.transaction()) {
        qDebug() << "Failed to start seed transaction for user:" << uid;
        return nullptr;
    }
    const struct { const char *sql; const char *failure; } seeds[] = {
        {"INSERT INTO carats (uid, id, carat, cname, pname, lname, cfnum, cfden, required) "
         "SELECT ?, id, carat, cname, pname, lname, cfnum, cfden, required FROM carats WHERE uid = 0",
         "Failed to seed carats for user:"},
        {"INSERT INTO clist (uid, cid, minperc) SELECT ?, cid, minperc FROM clist WHERE uid = 0",
         "Failed to seed clist for user:"},
        {"INSERT INTO params (uid, sec, key, val) SELECT ?, sec, key, val FROM params WHERE uid = 0",
         "Failed to seed params for user:"},
    };
    for (const auto &seed : seeds) {
        q.prepare(QLatin1String(seed.sql));
        q.addBindValue(uid);
        if (!q.exec()) {
            qDebug() << seed.failure << uid << q.lastError().text();
            userDb.rollback();
            return nullptr;
        }
    }
    if (!userDb.commit()) {
        qDebug() << "Failed to commit seed transaction for user:" << uid;
        userDb.rollback();
        return nullptr;
    }
    return getUser(uid);
}

User *Config::getUser(const QString &name, const QString &pass)
{
    // An account whose password was never set (a new one whose first save failed)
    // must not be open to anyone who knows its name.
    if (!userDb.isValid() || name.isEmpty() || pass.isEmpty())
        return nullptr;
    QSqlQuery q(userDb);
    q.prepare(QStringLiteral("SELECT uid, pass FROM users WHERE name = ?"));
    q.addBindValue(name);
    if (!q.exec() || !q.next())
        return nullptr;
    const int uid = q.value(0).toInt();
    if (uid == 0 || decryptPassword(q.value(1).toString(), uid) != pass)
        return nullptr;
    return getUser(uid);
}
