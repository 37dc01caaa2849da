#pragma once

#include "invoice/integration.h"
#include "pricing/caratconfig.h"
#include "pricing/party.h"

#include <QHash>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <memory>

class Config;

// One account: integrator credentials, seller data, product lines, labour and app settings.
class User
{
public:
    User(Config *config, int uid);
    ~User();

    User(const User &) = delete;
    User &operator=(const User &) = delete;

    bool load();
    // Marks the lines of the user's list enabled, with their minimum shares.
    bool applyCaratList();
    bool save();

    // Settings JSON exchanged with the server's clients.
    QJsonObject getUserSettings() const;
    bool setUserSettings(const QJsonObject &o);
    QJsonObject getAppSettings() const;
    bool setAppSettings(const QJsonObject &o);
    QJsonObject getWebSettings() const { return sectionObject(QStringLiteral("web")); }
    bool setWebSettings(const QJsonObject &o) { return setSectionObject(QStringLiteral("web"), o); }
    QJsonObject getMobileSettings() const { return sectionObject(QStringLiteral("mobile")); }
    bool setMobileSettings(const QJsonObject &o) { return setSectionObject(QStringLiteral("mobile"), o); }
    QJsonObject toJO() const;
    bool fromJO(const QJsonObject &o);
    int getSettingsVersion() const;

    QString readParam(const QString &sec, const QString &key) const;
    bool saveParam(const QString &sec, const QString &key, const QString &val);
    QHash<QString, QString> readSection(const QString &sec) const;

    QString integrator() const;
    void integrator(IntegratorType type);
    void integrator(const QString &base);
    bool ready() const { return !name.isEmpty() && !pass.isEmpty(); }
    // Asks the integrator whether the account works; false without credentials.
    bool checkConnection();

    // Customer directory of this user.
    qint64 findCustomerIdent(const QString &name) const;
    CustomerInfo getCustomer(qint64 ident) const;
    CustomerInfo getCustomer(const QString &name) const;
    CustomerInfo getCustomer(qint64 ident, const QString &name) const;
    bool addCustomer(const CustomerInfo &info, bool overwrite);
    bool updateCustomer(const CustomerInfo &info);
    bool deleteCustomer(qint64 ident);
    QList<CustomerInfo> getAllCustomers() const;
    static QString packAddress(const CustomerInfo &info);
    static void unpackAddress(const QString &packed, CustomerInfo &info);

    static IntegratorType integratorFromText(const QString &base);
    static QString integratorText(IntegratorType type);

    Config *config = nullptr;
    int uid = 0;
    CompanySettings company;
    CaratConfigList carats;
    LaborConfig labor{Ratio(1, 5), 300, 500, 100};
    int laborLevel = 3;
    QString name;
    QString pass;
    QString theme = QStringLiteral("Otomatik");
    int combine = 0;
    bool autodesc = false;
    bool autofilter = false;
    QStringList filters;
    QString filterlist;
    QString description;
    std::unique_ptr<Integration> integration;
    IntegratorType integratorType = IntegratorType::None;

private:
    QString lastParamError;   // why the last saveParam failed, for the caller's log line
    QJsonObject sectionObject(const QString &sec) const;
    bool setSectionObject(const QString &sec, const QJsonObject &o);
    void loadFilters();
    void loadLabor();
};
