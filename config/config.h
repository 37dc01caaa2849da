#pragma once

#include "busyindicator.h"
#include "currency.h"
#include "pricing/caratconfig.h"
#include "ratemisses.h"
#include "user.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QJsonArray>
#include <QList>
#include <QMutex>
#include <QPair>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>

class QNetworkAccessManager;
class QNetworkReply;
class QThread;
class ConfigWorker;

// Categories of the parser's word lists, in stored order.
enum FilterCategory : int {
    FilterWord = 0,   // the payment is set aside
    SelectNext = 1,   // the next field is the payer
    SelectPrev = 2,   // the previous field is the payer
    IgnoreNext = 3,   // everything after is ignored
    CompFields = 4,   // words of company names
    SuspFields = 5,   // words never part of a payer's name
    EraseField = 6,   // words that stick to a payer's name
    FilterCategoryCount = 7
};

struct FieldWordList
{
    FilterCategory category = FilterWord;
    QString title;
    QString description;
    QString placeholder;
    QList<QByteArray> words;
    QList<QByteArray> defaults;
};

// One column of the desktop's row table.
struct ColumnSpec
{
    QString title;
    int width = 0;
    int alignment = 0;   // Qt::Alignment flags
    int kind = 0;        // cell kind of the table item
    bool monospace = false;
};

// First-name and surname points of one word of the name table.
using NamePoints = QPair<quint8, quint8>;

// The process-wide configuration store: databases, word lists, users and gold rates.
class Config
{
public:
    explicit Config(bool serverMode);
    ~Config();

    Config(const Config &) = delete;
    Config &operator=(const Config &) = delete;

    // The data directory: "data" beside the executable's directory.
    static QString dataDir();
    // Points the store at another data directory (tools, tests); empty restores the default.
    static void setDataDir(const QString &dir);
    static void setDataDirForTesting(const QString &dir) { setDataDir(dir); }
    static QString dataPath(const QString &fileName);

    // Category key as stored in conf.db params ("filterword", ...).
    static QString fieldKey(int category);

    bool init();
    QString operator[](const QString &key) const;

    bool loadParams();
    bool saveParams();
    bool resetToDefaults();
    bool readNameTable();
    // Unpacks a name table; exposed for the tools that build and check it.
    static QHash<QByteArray, NamePoints> unpackNameTable(const QByteArray &bytes);
    // Packs words of the bytes 64..95 with points 0..31; the inverse of unpackNameTable.
    static QByteArray packNameTable(const QList<QPair<QByteArray, NamePoints>> &entries);
    bool loadTestSettings();

    CaratConfigList getCaratConfigList(int uid);
    QList<int> getMilyemCarats();
    int insertCaratRow(int carat, const QString &cname, const QString &pname, const QString &lname,
                       int cfnum, int cfden, int required, int uid);
    bool updateCaratRow(const CaratConfig &line, int uid);
    bool deleteCaratRow(int id, int uid);
    bool refreshUserCaratSettings();
    bool restoreUserCaratDefaults(int uid);

    // Users (server mode keeps many, desktop mode only the template user).
    User *getUser(int uid);
    User *addUser(int uid);
    // A new account seeded from the template user.
    User *addUser(const QString &name);
    // The login: the account of this name whose password matches; never the template user.
    User *getUser(const QString &name, const QString &pass);
    // Sessions: 47-character tokens, valid for 30 days after their last use.
    QString createSession(int uid);
    int validateSession(const QString &token);
    bool updateSession(const QString &token);
    User *getUser(const QString &token);
    bool cleanupOldSessions();
    qint64 getUserLastLoginTimestamp(int uid);
    bool updateUserLastLoginTimestamp(int uid, qint64 msecs);
    void setServerToken(const QString &token);

    // The uid of the account with this login name, 0 when there is none.
    int findUserId(const QString &name);
    bool loadAllUsers();
    bool loadUserSettings();
    bool reloadUserSettings();
    bool saveUserSettings(int uid);

    bool initWorkers();
    // Range of pure-gold prices (kuruş per gram) a payment of the date was made at;
    // zeros when the date has no rate. Safe to call from any thread; off the main thread
    // only the cache and rate.db are asked.
    RateConfig rateOf(const QByteArray &date);
    CurrencyData currencyRateOf(const QByteArray &date);
    QJsonArray getAllCurrencyRates(int limit);
    // Waits for the reply in a local event loop, aborting it after timeoutMs (0: never).
    // Null when the person cancelled the busy indicator; otherwise the reply, to be read at once.
    QNetworkReply *progress(QNetworkReply *reply, const QString &label, int minimumDurationMs, int timeoutMs);
    QNetworkAccessManager *nam() const;
    // Local time for trading hours, "today" and expiries; tests install their own clock.
    static QDateTime now();
    static void setClock(std::function<QDateTime()> clock);

    QStringList arguments;
    QList<ColumnSpec> columns;
    QHash<QByteArray, NamePoints> names;
    std::array<FieldWordList, FilterCategoryCount> fields;
    QString defaultStyle;
    int totalWidth = 0;
    User localUser;
    QHash<int, User *> users;
    bool serverMode = false;
    bool desktopMode = true;
    bool testMode = false;
    QString serverUrl;
    QString serverToken;
    QHash<QString, QString> params;
    bool ok = false;
    QSqlDatabase configDb;
    QSqlDatabase userDb;
    QSqlDatabase rateDb;
    ConfigWorker *mainWorker = nullptr;
    ConfigWorker *threadWorker = nullptr;
    QHash<QByteArray, CurrencyData> rateCache;
    QMutex cacheMutex;
    QThread *workerThread = nullptr;
    RateMisses rateMisses;               // guarded by cacheMutex
    BusyIndicatorFactory busyIndicator;  // installed by the desktop; none in the core

private:
    bool initDB();
    bool createParamsTable();
    bool createCaratsTable();
    bool createClistTable();
    void repairCaratCfnum();
    bool createCurrencyTable();
    bool createUsersTable();
    bool createCustomersTable();
    bool createSessionsTable();
    QString attachConfStatement() const;
    int milyemOf(int carat);
    void clearUsers();
};
