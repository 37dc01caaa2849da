#include "user.h"

#include "config.h"
#include "password.h"
#include "util.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QtDebug>

User::User(Config *config, int uid) : config(config), uid(uid) {}

User::~User() = default;

IntegratorType User::integratorFromText(const QString &base)
{
    return base.trimmed().toLower() == QLatin1String("edm") ? IntegratorType::EDM
                                                             : IntegratorType::Uyumsoft;
}

QString User::integratorText(IntegratorType type)
{
    switch (type) {
    case IntegratorType::EDM:
        return QStringLiteral("edm");
    case IntegratorType::Uyumsoft:
        return QStringLiteral("uyumsoft");
    case IntegratorType::None:
        break;
    }
    return QString();
}

QString User::integrator() const
{
    return integratorText(integratorType);
}

void User::integrator(IntegratorType type)
{
    if (type == integratorType && integration)
        return;
    integratorType = type;
    integration = Integration::create(type, this);
}

void User::integrator(const QString &base)
{
    integrator(integratorFromText(base));
}

QString User::readParam(const QString &sec, const QString &key) const
{
    QSqlQuery q(config->userDb);
    q.prepare(QStringLiteral("SELECT val FROM params WHERE uid = ? AND sec = ? AND key = ?"));
    q.addBindValue(uid);
    q.addBindValue(sec);
    q.addBindValue(key);
    if (!q.exec() || !q.next())
        return QString();
    return q.value(0).toString();
}

bool User::saveParam(const QString &sec, const QString &key, const QString &val)
{
    if (readParam(sec, key) == val)
        return true;
    QSqlQuery q(config->userDb);
    q.prepare(QStringLiteral("INSERT OR REPLACE INTO params (uid, sec, key, val) VALUES (?, ?, ?, ?)"));
    q.addBindValue(uid);
    q.addBindValue(sec);
    q.addBindValue(key);
    q.addBindValue(val);
    if (q.exec())
        return true;
    lastParamError = q.lastError().text();
    return false;
}

QHash<QString, QString> User::readSection(const QString &sec) const
{
    QHash<QString, QString> section;
    QSqlQuery q(config->userDb);
    q.prepare(QStringLiteral("SELECT key, val FROM params WHERE uid = ? AND sec = ?"));
    q.addBindValue(uid);
    q.addBindValue(sec);
    if (!q.exec())
        return section;
    while (q.next())
        section.insert(q.value(0).toString(), q.value(1).toString());
    return section;
}

bool User::load()
{
    QSqlDatabase &db = config->userDb;

    QSqlQuery q(db);
    q.prepare(QStringLiteral("SELECT name, pass, base FROM users WHERE uid = ?"));
    q.addBindValue(uid);
    if (q.exec() && q.next()) {
        name = q.value(0).toString().trimmed();
        pass = decryptPassword(q.value(1).toString(), uid);
        integrator(q.value(2).toString());
    }

    const QHash<QString, QString> companySection = readSection(QStringLiteral("company"));
    for (auto it = companySection.cbegin(); it != companySection.cend(); ++it) {
        if (QString *slot = company.slot(it.key()))
            *slot = it.value();
    }

    carats = config->getCaratConfigList(uid);
    if (carats.isEmpty() && uid > 0) {
        QSqlQuery copy(db);
        copy.prepare(QStringLiteral(
            "INSERT OR IGNORE INTO carats (uid, id, carat, cname, pname, lname, cfnum, cfden, required) "
            "SELECT ?, id, carat, cname, pname, lname, cfnum, cfden, required FROM carats WHERE uid = 0"));
        copy.addBindValue(uid);
        if (copy.exec()) {
            QSqlQuery list(db);
            list.prepare(QStringLiteral("INSERT OR IGNORE INTO clist (uid, cid, minperc) "
                                        "SELECT ?, cid, minperc FROM clist WHERE uid = 0"));
            list.addBindValue(uid);
            list.exec();
        }
        carats = config->getCaratConfigList(uid);
    }

    if (!applyCaratList())
        return false;

    const QHash<QString, QString> app = readSection(QStringLiteral("app"));
    theme = app.value(QStringLiteral("theme"));
    combine = app.value(QStringLiteral("combine")).toInt();
    autofilter = app.value(QStringLiteral("autofilter")).toInt() != 0;
    autodesc = app.value(QStringLiteral("autodesc")).toInt() != 0;
    filterlist = app.value(QStringLiteral("filterlist"));
    description = app.value(QStringLiteral("description"));
    if (description.isEmpty())
        description = QStringLiteral("KREDİ KARTI SATIŞI");

    loadFilters();
    loadLabor();
    return integration != nullptr;
}

bool User::applyCaratList()
{
    QSqlQuery clist(config->userDb);
    clist.prepare(QStringLiteral("SELECT cid, minperc FROM clist WHERE uid = ? ORDER BY cid"));
    clist.addBindValue(uid);
    if (!clist.exec()) {
        qDebug() << "Failed to load clist for user" << uid << ":" << clist.lastError().text();
        return false;
    }
    while (clist.next()) {
        const int cid = clist.value(0).toInt();
        for (CaratConfig &line : carats) {
            if (line.index == cid) {
                line.enabled = true;
                line.minperc = quint8(clist.value(1).toInt());
                break;
            }
        }
    }
    return true;
}

void User::loadFilters()
{
    if (!filterlist.isEmpty()) {
        filters = filterlist.split(QLatin1Char(';'), Qt::SkipEmptyParts);
        return;
    }
    if (autofilter)
        return;
    const QStringList companyWords = company.Company.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    const QStringList candidates{companyWords.mid(0, 3).join(QLatin1Char(' ')),
                                 company.FirstName + QLatin1Char(' ') + company.LastName};
    for (QString entry : candidates) {
        util::latinize(entry);
        entry = entry.trimmed().toUpper();
        // Filters survive reloads; the same entry must not pile up with each one.
        if (!entry.isEmpty() && !filters.contains(entry))
            filters.append(entry);
    }
}

void User::loadLabor()
{
    QHash<QString, QString> section = readSection(QStringLiteral("labor"));
    if (section.isEmpty() && uid > 0) {
        QSqlQuery copy(config->userDb);
        copy.prepare(QStringLiteral("INSERT OR IGNORE INTO params (uid, sec, key, val) "
                                    "SELECT ?, sec, key, val FROM params WHERE uid = 0 AND sec = 'labor'"));
        copy.addBindValue(uid);
        copy.exec();
        section = readSection(QStringLiteral("labor"));
    }
    if (const int t = section.value(QStringLiteral("taxratio")).toInt())
        labor.taxratio = Ratio(t, 100);
    if (const int v = section.value(QStringLiteral("unitmin")).toInt())
        labor.unitmin = v;
    if (const int v = section.value(QStringLiteral("unitmax")).toInt())
        labor.unitmax = v;
    if (const int v = section.value(QStringLiteral("limit")).toInt())
        labor.limit = v;
}
