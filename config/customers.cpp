// The user's directory of buyers: identity number, name and a packed address.
#include "user.h"

#include "config.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QtDebug>

namespace {

struct AddressField
{
    const char *key;
    QString CustomerInfo::*field;
};

const AddressField addressFields[] = {
    {"City", &CustomerInfo::city},       {"District", &CustomerInfo::district},
    {"TaxOffice", &CustomerInfo::taxoffice}, {"Country", &CustomerInfo::country},
    {"Address", &CustomerInfo::address}, {"Phone", &CustomerInfo::phone},
};

} // namespace

QString User::packAddress(const CustomerInfo &info)
{
    QStringList pieces;
    for (const AddressField &f : addressFields) {
        QString value = info.*f.field;
        if (f.field == &CustomerInfo::address)
            value.remove(QLatin1Char(';'));
        if (!value.isEmpty())
            pieces.append(QLatin1String(f.key) + QLatin1Char('=') + value);
    }
    return pieces.join(QLatin1Char(';'));
}

void User::unpackAddress(const QString &packed, CustomerInfo &info)
{
    for (const QString &piece : packed.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const qsizetype eq = piece.indexOf(QLatin1Char('='));
        if (eq < 1)
            continue;
        const QString key = piece.left(eq);
        for (const AddressField &f : addressFields) {
            if (key == QLatin1String(f.key))
                info.*f.field = piece.mid(eq + 1);
        }
    }
}

qint64 User::findCustomerIdent(const QString &name) const
{
    if (name.isEmpty())
        return 0;
    QSqlQuery q(config->userDb);
    q.prepare(QStringLiteral("SELECT ident FROM customers WHERE name = ? AND uid = ?"));
    q.addBindValue(name);
    q.addBindValue(uid);
    if (!q.exec()) {
        qDebug() << "Failed to query customers table:" << q.lastError().text();
        return 0;
    }
    if (!q.next())
        return 0;
    const qint64 ident = q.value(0).toLongLong();
    return q.next() ? 0 : ident;   // an ambiguous name identifies nobody
}

CustomerInfo User::getCustomer(qint64 ident) const
{
    CustomerInfo info;
    if (ident <= 0)
        return info;
    QSqlQuery q(config->userDb);
    q.prepare(QStringLiteral("SELECT name, addr FROM customers WHERE ident = ? AND uid = ?"));
    q.addBindValue(ident);
    q.addBindValue(uid);
    if (!q.exec()) {
        qDebug() << "Failed to query customers table:" << q.lastError().text();
        return info;
    }
    if (q.next()) {
        info.ident = ident;
        info.name = q.value(0).toString();
        unpackAddress(q.value(1).toString(), info);
    }
    return info;
}

CustomerInfo User::getCustomer(const QString &name) const
{
    CustomerInfo info;
    if (name.isEmpty())
        return info;
    QSqlQuery q(config->userDb);
    q.prepare(QStringLiteral("SELECT ident, name, addr FROM customers WHERE name = ? AND uid = ?"));
    q.addBindValue(name);
    q.addBindValue(uid);
    if (!q.exec()) {
        qDebug() << "Failed to query customers table:" << q.lastError().text();
        return info;
    }
    if (q.next()) {
        info.ident = q.value(0).toLongLong();
        info.name = q.value(1).toString();
        unpackAddress(q.value(2).toString(), info);
    }
    return info;
}

CustomerInfo User::getCustomer(qint64 ident, const QString &name) const
{
    const CustomerInfo byIdent = getCustomer(ident);
    return byIdent.ident != 0 ? byIdent : getCustomer(name);
}

bool User::addCustomer(const CustomerInfo &info, bool overwrite)
{
    if (info.ident == 0 || info.name.isEmpty())
        return false;
    QSqlQuery q(config->userDb);
    if (!overwrite) {
        q.prepare(QStringLiteral("SELECT ident FROM customers WHERE ident = ? AND uid = ?"));
        q.addBindValue(info.ident);
        q.addBindValue(uid);
        if (q.exec() && q.next())
            return true;   // the stored customer wins
    }
    q.prepare(QStringLiteral("INSERT OR REPLACE INTO customers (uid, ident, name, addr) VALUES (?, ?, ?, ?)"));
    q.addBindValue(uid);
    q.addBindValue(info.ident);
    q.addBindValue(info.name);
    q.addBindValue(packAddress(info));
    if (!q.exec()) {
        qDebug() << "Failed to add/update customer:" << q.lastError().text();
        return false;
    }
    return true;
}

bool User::updateCustomer(const CustomerInfo &info)
{
    return info.ident != 0 && !info.name.isEmpty() && addCustomer(info, true);
}

bool User::deleteCustomer(qint64 ident)
{
    if (ident == 0)
        return false;
    QSqlQuery q(config->userDb);
    q.prepare(QStringLiteral("DELETE FROM customers WHERE uid = ? AND ident = ?"));
    q.addBindValue(uid);
    q.addBindValue(ident);
    if (!q.exec()) {
        qDebug() << "Failed to delete customer:" << q.lastError().text();
        return false;
    }
    return q.numRowsAffected() > 0;
}

QList<CustomerInfo> User::getAllCustomers() const
{
    QList<CustomerInfo> all;
    QSqlQuery q(config->userDb);
    q.prepare(QStringLiteral("SELECT ident, name, addr FROM customers WHERE uid = ? ORDER BY name"));
    q.addBindValue(uid);
    if (!q.exec()) {
        qDebug() << "Failed to query all customers:" << q.lastError().text();
        return all;
    }
    while (q.next()) {
        CustomerInfo info;
        info.ident = q.value(0).toLongLong();
        info.name = q.value(1).toString();
        unpackAddress(q.value(2).toString(), info);
        all.append(info);
    }
    return all;
}
