// Builds the shipped data files from their readable sources:
//   mkdata conf  conf.sql words.tsv conf.db
//   mkdata names names.tsv data.db
#include "config/config.h"

#include <QCoreApplication>
#include <QFile>
#include <QMap>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTextStream>

#include <cstdio>

namespace {

int fail(const QString &message)
{
    std::fprintf(stderr, "mkdata: %s\n", qPrintable(message));
    return 1;
}

QStringList readLines(const QString &path, bool *ok)
{
    QFile file(path);
    *ok = file.open(QIODevice::ReadOnly | QIODevice::Text);
    QStringList lines;
    if (*ok) {
        QTextStream in(&file);
        in.setEncoding(QStringConverter::Utf8);
        while (!in.atEnd()) {
            const QString line = in.readLine();
            if (!line.trimmed().isEmpty() && !line.startsWith(QLatin1Char('#')))
                lines.append(line);
        }
    }
    return lines;
}

// Splits SQL text into statements at semicolons outside quotes and comments.
QStringList sqlStatements(const QString &sql)
{
    QStringList statements;
    QString current;
    bool quoted = false;
    for (qsizetype i = 0; i < sql.size(); ++i) {
        const QChar c = sql[i];
        if (!quoted && c == QLatin1Char('-') && i + 1 < sql.size() && sql[i + 1] == QLatin1Char('-')) {
            while (i < sql.size() && sql[i] != QLatin1Char('\n'))
                ++i;
            continue;
        }
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        if (c == QLatin1Char(';') && !quoted) {
            if (!current.trimmed().isEmpty())
                statements.append(current.trimmed());
            current.clear();
            continue;
        }
        current.append(c);
    }
    if (!current.trimmed().isEmpty())
        statements.append(current.trimmed());
    return statements;
}

int buildConf(const QString &sqlPath, const QString &wordsPath, const QString &outPath)
{
    QFile sqlFile(sqlPath);
    if (!sqlFile.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("cannot read ") + sqlPath);
    const QString sql = QString::fromUtf8(sqlFile.readAll());

    bool ok = false;
    const QStringList wordLines = readLines(wordsPath, &ok);
    if (!ok)
        return fail(QStringLiteral("cannot read ") + wordsPath);
    QMap<QString, QStringList> lists;
    for (int i = 0; i < FilterCategoryCount; ++i)
        lists.insert(Config::fieldKey(i), {});
    for (const QString &line : wordLines) {
        const QStringList cols = line.split(QLatin1Char('\t'));
        if (cols.size() != 2 || !lists.contains(cols[0]))
            return fail(QStringLiteral("bad word line: ") + line);
        const QString word = cols[1].trimmed();
        if (word.contains(QLatin1Char(':')) || word.toLatin1() != word.toUtf8() || word != word.toUpper())
            return fail(QStringLiteral("word must be upper-case Latin without ':': ") + word);
        lists[cols[0]].append(word);
    }

    QFile::remove(outPath);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("mkdata"));
        db.setDatabaseName(outPath);
        if (!db.open())
            return fail(db.lastError().text());
        db.transaction();
        QSqlQuery q(db);
        for (const QString &statement : sqlStatements(sql)) {
            if (!q.exec(statement))
                return fail(q.lastError().text() + QStringLiteral(" in: ") + statement);
        }
        q.prepare(QStringLiteral("INSERT INTO params (sec, key, val, def) VALUES ('field', ?, ?, ?)"));
        for (auto it = lists.cbegin(); it != lists.cend(); ++it) {
            const QString joined = it.value().join(QLatin1Char(':'));
            q.addBindValue(it.key());
            q.addBindValue(joined);
            q.addBindValue(joined);
            if (!q.exec())
                return fail(q.lastError().text());
        }
        if (!db.commit())
            return fail(db.lastError().text());
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("mkdata"));
    return 0;
}

int buildNames(const QString &tsvPath, const QString &outPath)
{
    bool ok = false;
    const QStringList lines = readLines(tsvPath, &ok);
    if (!ok)
        return fail(QStringLiteral("cannot read ") + tsvPath);
    QList<QPair<QByteArray, NamePoints>> entries;
    for (const QString &line : lines) {
        const QStringList cols = line.split(QLatin1Char('\t'));
        bool firstOk = false, lastOk = false;
        const int first = cols.value(1).toInt(&firstOk);
        const int last = cols.value(2).toInt(&lastOk);
        const QByteArray word = cols.value(0).toLatin1();
        const bool letters = std::all_of(word.cbegin(), word.cend(), [](char c) { return c >= 'A' && c <= 'Z'; });
        if (cols.size() != 3 || !firstOk || !lastOk || first < 0 || first > 31 || last < 0 || last > 31
            || word.size() < 2 || word.size() > 31 || !letters)
            return fail(QStringLiteral("bad name line: ") + line);
        entries.append({word, NamePoints(quint8(first), quint8(last))});
    }
    QFile out(outPath);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return fail(QStringLiteral("cannot write ") + outPath);
    out.write(Config::packNameTable(entries));
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 5 && args[1] == QLatin1String("conf"))
        return buildConf(args[2], args[3], args[4]);
    if (args.size() == 4 && args[1] == QLatin1String("names"))
        return buildNames(args[2], args[3]);
    return fail(QStringLiteral("usage: mkdata conf CONF.sql WORDS.tsv OUT.db | mkdata names NAMES.tsv OUT.db"));
}
