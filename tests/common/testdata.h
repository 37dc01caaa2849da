#pragma once

// A private copy of the shipped data directory for one test, removed afterwards.

#include "config/config.h"

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

class TestDataDir
{
public:
    // Copies the shipped conf.db and data.db (unless told otherwise) and points Config at it.
    explicit TestDataDir(bool withConf = true, bool withNames = true, const QString &subdir = QString())
    {
        dir.setAutoRemove(true);
        path = dir.path() + QLatin1Char('/') + (subdir.isEmpty() ? QStringLiteral("data") : subdir);
        QDir().mkpath(path);
        if (withConf) {
            QFile::copy(shipped("conf.db"), file("conf.db"));
            keepOffTheNetwork();
        }
        if (withNames)
            QFile::copy(shipped("data.db"), file("data.db"));
        Config::setDataDirForTesting(path);
    }
    ~TestDataDir() { Config::setDataDirForTesting(QString()); }

    static QString shipped(const char *name)
    {
        return QStringLiteral(CORVINA_TEST_SHIPPED_DATA "/") + QLatin1String(name);
    }
    QString file(const QString &name) const { return path + QLatin1Char('/') + name; }

    // Tests never reach the real services: the rate workers and integrators meet a closed local port.
    // Tests of the rates point these at a fake of their own.
    void keepOffTheNetwork() const
    {
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("testdata"));
            db.setDatabaseName(file(QStringLiteral("conf.db")));
            if (db.open())
                {
                QSqlQuery q(db);
                q.exec(QStringLiteral("UPDATE params SET val = 'http' WHERE sec = 'exchange' AND key = 'schm'"));
                q.exec(QStringLiteral("UPDATE params SET val = '127.0.0.1:1' WHERE sec = 'exchange' "
                                      "AND key IN ('host', 'livehost')"));
                // Nor the integrators: an EDM account logs in as soon as it is loaded.
                q.exec(QStringLiteral("UPDATE params SET val = 'http' WHERE sec IN ('edm', 'uyumsoft') "
                                      "AND key = 'schm'"));
                q.exec(QStringLiteral("UPDATE params SET val = '127.0.0.1:1' WHERE sec IN ('edm', 'uyumsoft') "
                                      "AND key IN ('host', 'testhost')"));
            }
        }
        QSqlDatabase::removeDatabase(QStringLiteral("testdata"));
    }

    QTemporaryDir dir;
    QString path;
};
