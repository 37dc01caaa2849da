#pragma once

// A private copy of the shipped data directory for one test, removed afterwards.

#include "config/config.h"

#include <QDir>
#include <QFile>
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
        if (withConf)
            QFile::copy(shipped("conf.db"), file("conf.db"));
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

    QTemporaryDir dir;
    QString path;
};
