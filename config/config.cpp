#include "config.h"
#include "configworker.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QThread>
#include <QtDebug>

namespace {

QString &dataDirOverride()
{
    static QString dir;
    return dir;
}

const char *const fieldKeys[FilterCategoryCount] = {
    "filterword", "selectnext", "selectprev", "ignorenext", "compfields", "suspfields", "erasefield",
};

QList<QByteArray> splitWords(const QString &text)
{
    if (text.isEmpty())
        return {};
    return text.toLatin1().split(':');
}

QString errorText(const QSqlQuery &q)
{
    return q.lastError().text();
}

} // namespace

QString Config::dataDir()
{
    if (!dataDirOverride().isEmpty())
        return dataDirOverride();
    return QCoreApplication::applicationDirPath() + QStringLiteral("/../data/");
}

void Config::setDataDir(const QString &dir)
{
    dataDirOverride() = dir.isEmpty() || dir.endsWith(QLatin1Char('/')) ? dir : dir + QLatin1Char('/');
}

QString Config::dataPath(const QString &fileName)
{
    return dataDir() + fileName;
}

QString Config::fieldKey(int category)
{
    if (category < 0 || category >= FilterCategoryCount)
        return QString();
    return QString::fromLatin1(fieldKeys[category]);
}

Config::Config(bool serverMode)
    : localUser(this, 0)
{
    arguments = QCoreApplication::arguments();

    // Alignments: centre is AlignHCenter|AlignVCenter's horizontal part plus AlignVCenter (0x84).
    columns = {
        {QStringLiteral("Tarih"), 105, 0x84, 6, true},
        {QStringLiteral("Gönderen"), 250, 0x1, 1, false},
        {QStringLiteral("Kimlik No"), 110, 0x84, 6, true},
        {QStringLiteral("Tutar"), 125, 0x2, 5, false},
        {QStringLiteral("Ürün"), 115, 0x84, 2, false},
        {QStringLiteral("Miktar"), 90, 0x2, 5, false},
        {QStringLiteral("Has Kur"), 90, 0x2, 5, false},
        {QStringLiteral("Ürün Kuru"), 100, 0x2, 5, false},
        {QStringLiteral("Ürün Fiyatı"), 125, 0x2, 5, false},
        {QStringLiteral("Grm İşçilik"), 80, 0x2, 5, false},
        {QStringLiteral("Brm İşçilik"), 80, 0x2, 5, false},
        {QStringLiteral("İşçilik Ücreti"), 100, 0x2, 5, false},
        {QStringLiteral("Vergi"), 95, 0x2, 5, false},
    };
    for (const ColumnSpec &c : std::as_const(columns))
        totalWidth += c.width;

    static const struct { const char16_t *title; const char16_t *description; } fieldTexts[] = {
        {u"Kelimeleri Filtrele", u"Filtrelenecek kelime grupları:"},
        {u"Sonrakini Seç", u"Bir sonraki alanın Gönderici olduğunu gösteren kelime grupları:"},
        {u"Öncekini Seç", u"Bir önceki alanın Gönderici olduğunu gösteren kelime grupları:"},
        {u"Sonrasını Sil", u"Sonrası tamamen gözardı edilecek kelime grupları:"},
        {u"İşletme Kelimeleri", u"İşletme adlarında yaygın olarak kullanılan kelimeler:"},
        {u"Şüpheli Kelimeler", u"Gönderici adına ait olması beklenmeyen kelimeler:"},
        {u"Kelimeleri Temizle", u"Gönderici adının bitişiğinde bulunması muhtemel kelime grupları:"},
    };
    for (int i = 0; i < FilterCategoryCount; ++i) {
        fields[i].category = FilterCategory(i);
        fields[i].title = QString::fromUtf16(fieldTexts[i].title);
        fields[i].description = QString::fromUtf16(fieldTexts[i].description);
    }

    this->serverMode = serverMode;
    desktopMode = !serverMode;
    testMode = false;

    configDb = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("config"));

    if (!initDB() || !readNameTable() || !loadParams() || !loadUserSettings())
        return;
    loadTestSettings();
    ok = initWorkers();
}

Config::~Config()
{
    if (workerThread) {
        // The back-fill checks for interruption between requests; quit ends its waits.
        workerThread->requestInterruption();
        workerThread->quit();
        workerThread->wait();
    }
    // Only now that the thread is joined may the workers go.
    delete threadWorker;
    threadWorker = nullptr;
    delete mainWorker;
    mainWorker = nullptr;
    delete workerThread;
    workerThread = nullptr;
    clearUsers();
    configDb.close();
    userDb.close();
    rateDb.close();
    configDb = QSqlDatabase();
    userDb = QSqlDatabase();
    rateDb = QSqlDatabase();
    for (const char *name : {"config", "user", "rate"}) {
        if (QSqlDatabase::contains(QLatin1String(name)))
            QSqlDatabase::removeDatabase(QLatin1String(name));
    }
}

void Config::clearUsers()
{
    qDeleteAll(users);
    users.clear();
}

bool Config::init()
{
    if (!initDB() || !readNameTable() || !loadParams() || !loadUserSettings())
        return false;
    loadTestSettings();
    if (!initWorkers())
        return false;
    ok = true;
    return true;
}

QString Config::operator[](const QString &key) const
{
    return params.value(key);
}

bool Config::initDB()
{
    configDb.setDatabaseName(dataPath(QStringLiteral("conf.db")));
    // conf.db is shipped: never let SQLite create an empty one in its place.
    if (!QFileInfo::exists(configDb.databaseName()))
        configDb.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
    else
        configDb.setConnectOptions(QString());
    if (!configDb.open()) {
        qDebug() << "Failed to open config database:" << configDb.lastError().text();
        return false;
    }

    if (!QSqlDatabase::contains(QStringLiteral("rate")))
        rateDb = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("rate"));
    else
        rateDb = QSqlDatabase::database(QStringLiteral("rate"), false);
    rateDb.setDatabaseName(dataPath(QStringLiteral("rate.db")));
    if (!rateDb.open()) {
        qDebug() << "Failed to open rate database:" << rateDb.lastError().text();
        return false;
    }

    if (!QSqlDatabase::contains(QStringLiteral("user")))
        userDb = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("user"));
    else
        userDb = QSqlDatabase::database(QStringLiteral("user"), false);
    userDb.setDatabaseName(dataPath(QStringLiteral("user.db")));
    if (!userDb.open()) {
        qDebug() << "Failed to open user database:" << userDb.lastError().text();
        return false;
    }

    if (!createParamsTable() || !createCaratsTable() || !createClistTable())
        return false;
    repairCaratCfnum();
    return createCurrencyTable() && createUsersTable() && createCustomersTable() && createSessionsTable();
}

bool Config::createParamsTable()
{
    QSqlQuery q(userDb);
    if (!q.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS params (uid INTEGER NOT NULL, sec TEXT NOT NULL, "
                               "key TEXT NOT NULL, val TEXT, mtime DATETIME DEFAULT CURRENT_TIMESTAMP, "
                               "PRIMARY KEY (uid, sec, key))"))) {
        qDebug() << "Failed to create params table:" << errorText(q);
        return false;
    }

    if (q.exec(QStringLiteral("SELECT val FROM params WHERE uid = 0 AND sec = 'app' AND key = 'theme'")) && !q.next()) {
        const QList<QPair<QString, QString>> app = {
            {QStringLiteral("theme"), QStringLiteral("Otomatik")}, {QStringLiteral("combine"), QStringLiteral("0")},
            {QStringLiteral("autofilter"), QStringLiteral("0")}, {QStringLiteral("filterlist"), QString("")},
            {QStringLiteral("autodesc"), QStringLiteral("0")}, {QStringLiteral("description"), QString("")},
        };
        QSqlQuery insert(userDb);
        insert.prepare(QStringLiteral("INSERT INTO params (uid, sec, key, val) VALUES (0, 'app', ?, ?)"));
        for (const auto &[key, val] : app) {
            insert.addBindValue(key);
            insert.addBindValue(val);
            insert.exec();
        }
    }
    if (q.exec(QStringLiteral("SELECT val FROM params WHERE uid = 0 AND sec = 'labor' AND key = 'taxratio'")) && !q.next()) {
        const QList<QPair<QString, QString>> labor = {
            {QStringLiteral("taxratio"), QStringLiteral("20")}, {QStringLiteral("unitmin"), QStringLiteral("300")},
            {QStringLiteral("unitmax"), QStringLiteral("500")}, {QStringLiteral("limit"), QStringLiteral("100")},
        };
        QSqlQuery insert(userDb);
        insert.prepare(QStringLiteral("INSERT INTO params (uid, sec, key, val) VALUES (0, 'labor', ?, ?)"));
        for (const auto &[key, val] : labor) {
            insert.addBindValue(key);
            insert.addBindValue(val);
            insert.exec();
        }
    }
    return true;
}

QString Config::attachConfStatement() const
{
    QString path = QFileInfo(configDb.databaseName()).absoluteFilePath();
    path.replace(QLatin1Char('\''), QStringLiteral("''"));
    return QStringLiteral("ATTACH DATABASE '") + path + QStringLiteral("' AS conf");
}

bool Config::createCaratsTable()
{
    static const QString create = QStringLiteral(
        "CREATE TABLE IF NOT EXISTS carats (uid INTEGER NOT NULL, id INTEGER NOT NULL, carat INTEGER, "
        "cname TEXT, pname TEXT, lname TEXT, cfnum INTEGER, cfden INTEGER, required INTEGER, "
        "PRIMARY KEY (uid, id))");
    QSqlQuery q(userDb);
    if (!q.exec(create)) {
        qDebug() << "Failed to create carats table:" << errorText(q);
        return false;
    }
    if (q.exec(QStringLiteral("SELECT COUNT(*) FROM carats")) && q.next() && q.value(0).toLongLong() > 0)
        return true;

    QSqlQuery conf(configDb);
    if (!conf.exec(QStringLiteral("SELECT sql FROM sqlite_master WHERE type='table' AND name='carats'")) || !conf.next())
        return false;

    q.exec(QStringLiteral("DROP TABLE IF EXISTS carats"));
    if (!q.exec(create)) {
        qDebug() << "Failed to create carats table:" << errorText(q);
        return false;
    }
    if (!q.exec(attachConfStatement()))
        return false;
    const bool copied = q.exec(QStringLiteral(
        "INSERT INTO main.carats (uid, id, carat, cname, pname, lname, cfnum, cfden, required) "
        "SELECT 0, id, carat, cname, pname, lname, cfnum, cfden, required FROM conf.carats"));
    QSqlQuery detach(userDb);
    detach.exec(QStringLiteral("DETACH DATABASE conf"));
    if (!copied)
        return false;
    return q.exec(QStringLiteral("SELECT COUNT(*) FROM carats")) && q.next() && q.value(0).toLongLong() > 0;
}

bool Config::createClistTable()
{
    QSqlQuery q(userDb);
    if (!q.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS clist (uid INTEGER NOT NULL, cid INTEGER NOT NULL, "
                               "minperc INTEGER NOT NULL, PRIMARY KEY (uid, cid))"))) {
        qDebug() << "Failed to create clist table:" << errorText(q);
        return false;
    }
    if (q.exec(QStringLiteral("SELECT COUNT(*) FROM clist WHERE uid = 0")) && q.next() && q.value(0).toLongLong() == 0) {
        if (!q.exec(QStringLiteral("INSERT INTO clist (uid, cid, minperc) SELECT 0, id, 0 FROM carats WHERE uid = 0")))
            qDebug() << "Failed to insert default clist rows:" << errorText(q);
    }
    return true;
}

void Config::repairCaratCfnum()
{
    QSqlQuery q(userDb);
    if (!q.exec(attachConfStatement()))
        return;
    if (q.exec(QStringLiteral("UPDATE main.carats SET cfnum = 0 WHERE cfnum != 0 AND id IN "
                              "(SELECT id FROM conf.carats WHERE cfnum = 0)"))
        && q.numRowsAffected() > 0) {
        qDebug() << "repairCaratCfnum: fixed" << q.numRowsAffected() << "rows";
    }
    QSqlQuery detach(userDb);
    detach.exec(QStringLiteral("DETACH DATABASE conf"));
}

bool Config::createCurrencyTable()
{
    QSqlQuery q(rateDb);
    if (!q.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS currency (date TEXT PRIMARY KEY, oldc INTEGER, "
                               "newl INTEGER, newh INTEGER, newc INTEGER)"))) {
        qDebug() << "Failed to create currency table:" << errorText(q);
        return false;
    }
    // Dates are text. Stores written before were keyed by BLOBs, which never equal the
    // same date as text: convert them, keeping a text row of the same day where one exists.
    if (!q.exec(QStringLiteral("DELETE FROM currency WHERE typeof(date) = 'blob' AND CAST(date AS TEXT) IN "
                               "(SELECT date FROM currency WHERE typeof(date) = 'text')"))
        || !q.exec(QStringLiteral("UPDATE currency SET date = CAST(date AS TEXT) WHERE typeof(date) = 'blob'")))
        qDebug() << "Failed to convert stored rate dates:" << errorText(q);
    return true;
}

bool Config::createUsersTable()
{
    QSqlQuery q(userDb);
    if (!q.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS users (uid INTEGER PRIMARY KEY AUTOINCREMENT, "
                               "name TEXT NOT NULL UNIQUE, pass TEXT, base TEXT, "
                               "ctime DATETIME DEFAULT CURRENT_TIMESTAMP, atime INTEGER DEFAULT 0)"))) {
        qDebug() << "Failed to create users table:" << errorText(q);
        return false;
    }
    if (!q.exec(QStringLiteral("INSERT OR IGNORE INTO users (uid, name, pass, base) VALUES (0, '', '', '')")))
        qDebug() << "Failed to insert default user:" << errorText(q);
    return true;
}

bool Config::createCustomersTable()
{
    QSqlQuery q(userDb);
    if (!q.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS customers (uid INTEGER NOT NULL, ident INTEGER NOT NULL, "
                               "name TEXT NOT NULL, addr TEXT, mtime DATETIME DEFAULT CURRENT_TIMESTAMP, "
                               "PRIMARY KEY (uid, ident))"))) {
        qDebug() << "Failed to create customers table:" << errorText(q);
        return false;
    }
    return true;
}

bool Config::createSessionsTable()
{
    QSqlQuery q(userDb);
    if (!q.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS sessions (sid TEXT PRIMARY KEY, uid INTEGER NOT NULL, "
                               "mtime DATETIME DEFAULT CURRENT_TIMESTAMP)"))) {
        qDebug() << "Failed to create sessions table:" << errorText(q);
        return false;
    }
    if (!q.exec(QStringLiteral("CREATE INDEX IF NOT EXISTS idx_sessions_uid ON sessions(uid)")))
        qDebug() << "Failed to create index on sessions.uid:" << errorText(q);
    if (!q.exec(QStringLiteral("CREATE INDEX IF NOT EXISTS idx_sessions_updated_at ON sessions(mtime)")))
        qDebug() << "Failed to create index on sessions.mtime:" << errorText(q);
    return true;
}

QHash<QByteArray, NamePoints> Config::unpackNameTable(const QByteArray &bytes)
{
    QHash<QByteArray, NamePoints> table;
    const qint64 count = qint64(bytes.size()) * 8 / 5;
    // Bits beyond the data read as zero.
    auto unit = [&bytes](qint64 k) -> quint8 {
        quint8 value = 0;
        for (int b = 0; b < 5; ++b) {
            const qint64 bit = k * 5 + b;
            const qint64 byteIndex = bit / 8;
            int v = 0;
            if (byteIndex < bytes.size())
                v = (quint8(bytes[byteIndex]) >> (7 - bit % 8)) & 1;
            value = quint8((value << 1) | v);
        }
        return value;
    };
    qint64 i = 0;
    while (i < count - 4) {
        const quint8 first = unit(i);
        const quint8 last = unit(i + 1);
        const quint8 n = unit(i + 2);
        i += 3;
        if (i + n > count)
            break;
        QByteArray word(n, Qt::Uninitialized);
        for (int j = 0; j < n; ++j)
            word[j] = char(unit(i + j) + 64);
        table.insert(word, NamePoints(first, last));
        i += n;
    }
    return table;
}

QByteArray Config::packNameTable(const QList<QPair<QByteArray, NamePoints>> &entries)
{
    QByteArray bytes;
    quint32 buffer = 0;
    int bits = 0;
    auto put = [&](quint8 unit) {
        buffer = (buffer << 5) | (unit & 31);
        bits += 5;
        while (bits >= 8) {
            bits -= 8;
            bytes.append(char((buffer >> bits) & 0xFF));
        }
    };
    for (const auto &[word, points] : entries) {
        put(points.first);
        put(points.second);
        put(quint8(word.size()));
        for (char c : word)
            put(quint8(c - 64));
    }
    if (bits > 0)
        bytes.append(char((buffer << (8 - bits)) & 0xFF));
    return bytes;
}

bool Config::readNameTable()
{
    names.clear();
    QFile file(dataPath(QStringLiteral("data.db")));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    names = unpackNameTable(file.readAll());
    return true;
}

bool Config::loadParams()
{
    QSqlQuery q(configDb);
    if (!q.exec(QStringLiteral("SELECT * FROM params")))
        return false;
    while (q.next()) {
        const QString sec = q.value(0).toString();
        const QString key = q.value(1).toString();
        if (sec != QLatin1String("field")) {
            params.insert(sec + QLatin1Char('.') + key, q.value(2).toString());
            continue;
        }
        for (FieldWordList &field : fields) {
            if (fieldKey(field.category) == key) {
                field.words = splitWords(q.value(2).toString());
                field.defaults = splitWords(q.value(3).toString());
                break;
            }
        }
    }
    const QString host = params.value(QStringLiteral("server.host"));
    if (!host.isEmpty()) {
        serverUrl = params.value(QStringLiteral("server.schm")) + QStringLiteral("://") + host;
        const QString port = params.value(QStringLiteral("server.port"));
        if (!port.isEmpty())
            serverUrl += QLatin1Char(':') + port;
    }
    return true;
}

bool Config::saveParams()
{
    QSqlQuery q(configDb);
    q.prepare(QStringLiteral("INSERT OR REPLACE INTO params (sec, key, val, def) VALUES ('field', ?, ?, ?)"));
    for (const FieldWordList &field : fields) {
        q.addBindValue(fieldKey(field.category));
        q.addBindValue(field.words.join(':'));
        q.addBindValue(field.defaults.join(':'));
        if (!q.exec())
            return false;
    }
    return true;
}

bool Config::resetToDefaults()
{
    QSqlQuery q(configDb);
    return q.exec(QStringLiteral("UPDATE params SET val = def WHERE sec = 'field'"));
}

bool Config::loadTestSettings()
{
    testMode = !arguments.isEmpty() && arguments.last() == QLatin1String("--test");
    if (!testMode || serverMode)
        return true;
    const QString prefix = localUser.integratorType == IntegratorType::EDM ? QStringLiteral("test.edm.")
                                                                           : QStringLiteral("test.uyum.");
    auto value = [&](const char *key) { return params.value(prefix + QLatin1String(key)); };
    localUser.company.TaxNo = value("taxno").trimmed();
    localUser.company.Company = value("company");
    localUser.company.Address = value("address");
    localUser.company.FirstName = value("firstname");
    localUser.company.LastName = value("lastname");
    localUser.name = value("user");
    localUser.pass = value("pass");
    return true;
}

int Config::milyemOf(int carat)
{
    QSqlQuery q(configDb);
    q.prepare(QStringLiteral("SELECT cfine FROM milyem WHERE carat = ?"));
    q.addBindValue(carat);
    if (q.exec() && q.next())
        return q.value(0).toInt();
    return 0;
}

CaratConfigList Config::getCaratConfigList(int uid)
{
    if (uid < 0)
        uid = localUser.uid;
    CaratConfigList list;
    QSqlQuery q(userDb);
    q.prepare(QStringLiteral("SELECT id, carat, cname, pname, lname, cfnum, cfden, required FROM carats "
                             "WHERE uid = ? ORDER BY id"));
    q.addBindValue(uid);
    if (!q.exec()) {
        qDebug() << "Failed to load carat config list:" << errorText(q);
        return list;
    }
    while (q.next()) {
        const int id = q.value(0).toInt();
        // A line id outside one signed byte cannot be indexed; such rows are not ours.
        if (id < 0 || id > 127)
            continue;
        const int carat = q.value(1).toInt();
        while (list.size() < id + 1)
            list.append(CaratConfig());
        list[id] = CaratConfig::fromStored(id, carat, q.value(2).toString(), q.value(3).toString(),
                                           q.value(4).toString(), q.value(5).toLongLong(),
                                           q.value(6).toLongLong(), q.value(7).toInt() != 0, milyemOf(carat));
    }
    list.pad();
    return list;
}

QList<int> Config::getMilyemCarats()
{
    QList<int> carats;
    QSqlQuery q(configDb);
    if (q.exec(QStringLiteral("SELECT carat FROM milyem ORDER BY carat"))) {
        while (q.next())
            carats.append(q.value(0).toInt());
    }
    return carats;
}

int Config::insertCaratRow(int carat, const QString &cname, const QString &pname, const QString &lname,
                           int cfnum, int cfden, int required, int uid)
{
    if (uid < 0)
        uid = localUser.uid;
    QSqlQuery next(userDb);
    next.prepare(QStringLiteral("SELECT COALESCE(MAX(id),0)+1 FROM carats WHERE uid = ?"));
    next.addBindValue(uid);
    if (!next.exec() || !next.next())
        return -1;
    const int id = next.value(0).toInt();
    QSqlQuery q(userDb);
    q.prepare(QStringLiteral("INSERT INTO carats (uid, id, carat, cname, pname, lname, cfnum, cfden, required) "
                             "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    for (const QVariant &v : {QVariant(uid), QVariant(id), QVariant(carat), QVariant(cname), QVariant(pname),
                              QVariant(lname), QVariant(cfnum), QVariant(cfden), QVariant(required)})
        q.addBindValue(v);
    return q.exec() ? id : -1;
}

bool Config::updateCaratRow(const CaratConfig &line, int uid)
{
    if (uid < 0)
        uid = localUser.uid;
    const qint64 cfnum = line.ctype == 1 ? 0 : line.cf.num;
    const qint64 cfden = line.cf.den < 2 ? 1 : line.cf.den;
    QSqlQuery q(userDb);
    q.prepare(QStringLiteral("INSERT OR REPLACE INTO carats (uid, id, carat, cname, pname, lname, cfnum, cfden, "
                             "required) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    for (const QVariant &v : {QVariant(uid), QVariant(int(line.index)), QVariant(line.carat), QVariant(line.cname),
                              QVariant(line.pname), QVariant(line.lname), QVariant(cfnum), QVariant(cfden),
                              QVariant(line.required ? 1 : 0)})
        q.addBindValue(v);
    return q.exec();
}

bool Config::deleteCaratRow(int id, int uid)
{
    if (uid < 0)
        uid = localUser.uid;
    QSqlQuery list(userDb);
    list.prepare(QStringLiteral("DELETE FROM clist WHERE uid = ? AND cid = ?"));
    list.addBindValue(uid);
    list.addBindValue(id);
    list.exec();
    QSqlQuery q(userDb);
    q.prepare(QStringLiteral("DELETE FROM carats WHERE uid = ? AND id = ?"));
    q.addBindValue(uid);
    q.addBindValue(id);
    return q.exec();
}

bool Config::refreshUserCaratSettings()
{
    localUser.carats = getCaratConfigList(localUser.uid);
    return localUser.applyCaratList();
}

bool Config::restoreUserCaratDefaults(int uid)
{
    if (uid < 0)
        uid = localUser.uid;
    if (!userDb.isValid())
        return false;
    if (!userDb.transaction()) {
        qDebug() << "Failed to start restoreUserCaratDefaults transaction for user" << uid;
        return false;
    }
    auto fail = [this](const QString &message) {
        qDebug().noquote() << message;
        userDb.rollback();
        return false;
    };
    const QString who = QString::number(uid);

    QSqlQuery q(userDb);
    q.prepare(QStringLiteral("DELETE FROM clist WHERE uid = ?"));
    q.addBindValue(uid);
    if (!q.exec())
        return fail(QStringLiteral("Failed to clear clist for user ") + who + QStringLiteral(": ") + errorText(q));
    q.prepare(QStringLiteral("DELETE FROM carats WHERE uid = ?"));
    q.addBindValue(uid);
    if (!q.exec())
        return fail(QStringLiteral("Failed to clear carats for user ") + who + QStringLiteral(": ") + errorText(q));

    QSqlQuery defaults(configDb);
    if (!defaults.exec(QStringLiteral("SELECT id, carat, cname, pname, lname, cfnum, cfden, required FROM carats "
                                      "ORDER BY id")))
        return fail(QStringLiteral("Failed to read default carats for restoreUserCaratDefaults: ")
                    + errorText(defaults));
    QSqlQuery insertLine(userDb);
    insertLine.prepare(QStringLiteral("INSERT INTO carats (uid, id, carat, cname, pname, lname, cfnum, cfden, "
                                      "required) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    QSqlQuery insertList(userDb);
    insertList.prepare(QStringLiteral("INSERT INTO clist (uid, cid, minperc) VALUES (?, ?, ?)"));
    while (defaults.next()) {
        insertLine.addBindValue(uid);
        for (int c = 0; c < 8; ++c)
            insertLine.addBindValue(defaults.value(c));
        if (!insertLine.exec())
            return fail(QStringLiteral("Failed to restore default carats for user ") + who + QStringLiteral(": ")
                        + errorText(insertLine));
        insertList.addBindValue(uid);
        insertList.addBindValue(defaults.value(0));
        insertList.addBindValue(0);
        if (!insertList.exec())
            return fail(QStringLiteral("Failed to restore default clist for user ") + who + QStringLiteral(": ")
                        + errorText(insertList));
    }
    if (!userDb.commit()) {
        qDebug() << "Failed to commit restoreUserCaratDefaults for user" << uid;
        userDb.rollback();
        return false;
    }
    if (localUser.uid == uid)
        localUser.load();
    if (User *user = users.value(uid))
        user->load();
    return true;
}

User *Config::getUser(int uid)
{
    if (User *user = users.value(uid))
        return user;
    return addUser(uid);
}

User *Config::addUser(int uid)
{
    auto user = std::make_unique<User>(this, uid);
    if (!user->load())
        return nullptr;
    delete users.take(uid);
    User *loaded = user.release();
    users.insert(uid, loaded);
    return loaded;
}

int Config::findUserId(const QString &name)
{
    if (name.isEmpty())
        return 0;
    QSqlQuery q(userDb);
    q.prepare(QStringLiteral("SELECT uid FROM users WHERE name = ? AND uid != 0"));
    q.addBindValue(name);
    return q.exec() && q.next() ? q.value(0).toInt() : 0;
}

bool Config::loadAllUsers()
{
    if (!userDb.isValid()) {
        qDebug() << "User database not available";
        return false;
    }
    QSqlQuery q(userDb);
    if (!q.exec(QStringLiteral("SELECT uid FROM users"))) {
        qDebug() << "Failed to load users:" << errorText(q);
        return false;
    }
    clearUsers();
    while (q.next()) {
        const int uid = q.value(0).toInt();
        auto user = std::make_unique<User>(this, uid);
        if (user->load()) {
            users.insert(uid, user.release());
            qDebug() << "Loaded user" << uid;
        } else {
            qDebug() << "Failed to load user" << uid;
        }
    }
    qDebug() << "Loaded" << users.size() << "users";
    return true;
}

bool Config::loadUserSettings()
{
    if (serverMode)
        return loadAllUsers();
    QSqlQuery q(userDb);
    if (q.exec(QStringLiteral("SELECT sid FROM sessions WHERE uid = 0")) && q.next() && !q.value(0).isNull())
        serverToken = q.value(0).toString();
    return localUser.load();
}

bool Config::reloadUserSettings()
{
    if (!ok)
        return false;
    if (serverMode)
        return true;
    return localUser.load();
}

bool Config::saveUserSettings(int uid)
{
    if (desktopMode)
        return localUser.save();
    if (User *user = users.value(uid))
        return user->save();
    qDebug() << "saveUserSettings: User" << uid << "not found";
    return false;
}
