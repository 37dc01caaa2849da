// corvina-statement: shows how statement files are read, for finding out why a
// statement is misread. For each file it prints one JSON object: the normalised text
// the reader made (one entry per line) and the payment rows the parser found in it.

#include "config/config.h"
#include "config/configworker.h"
#include "parser/accountparser.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QTextStream>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("corvina-statement"));

    QCommandLineParser options;
    options.setApplicationDescription(QStringLiteral(
        "Reads bank statement files and prints, per file, the normalised text and the payment rows "
        "found in it as JSON."));
    options.addHelpOption();
    const QCommandLineOption dataOption(QStringLiteral("data"),
                                        QStringLiteral("Data directory holding conf.db and data.db "
                                                       "(default: data beside the program's directory)."),
                                        QStringLiteral("DIR"));
    const QCommandLineOption mergeOption(QStringLiteral("merge"),
                                         QStringLiteral("Also merge and filter the rows with the user's settings."));
    options.addOption(dataOption);
    options.addOption(mergeOption);
    options.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("Statement files."), QStringLiteral("FILE..."));
    options.process(app);

    const QStringList files = options.positionalArguments();
    if (files.isEmpty())
        options.showHelp(2);
    if (options.isSet(dataOption))
        Config::setDataDir(options.value(dataOption));

    // Reading statements needs no gold rates: keep the rate workers off the network.
    RateTuning tuning = ConfigWorker::tuning();
    tuning.startThread = false;
    ConfigWorker::setTuning(tuning);
    Config config(false);
    if (!config.ok) {
        std::fprintf(stderr, "corvina-statement: cannot open the data directory %s\n",
                     qPrintable(Config::dataDir()));
        return 1;
    }

    AccountParser parser(&config.localUser);
    int status = 0;
    QTextStream out(stdout);
    for (const QString &path : files) {
        QJsonObject report;
        report.insert(QStringLiteral("file"), path);
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            report.insert(QStringLiteral("error"), file.errorString());
            out << QJsonDocument(report).toJson(QJsonDocument::Indented);
            status = 1;
            continue;
        }
        const QByteArray text = AccountParser::readTable(file);
        QJsonArray lines;
        for (const QByteArray &line : text.split('\n')) {
            if (!line.isEmpty())
                lines.append(QString::fromLatin1(line));
        }
        QList<Row> rows = parser.parseText(text);
        if (options.isSet(mergeOption)) {
            parser.combineRecords(rows);
            if (config.localUser.autofilter)
                autoFilterRows(rows, config.localUser.filters);
        }
        QJsonArray found;
        for (const Row &row : std::as_const(rows))
            found.append(row.toJO());
        report.insert(QStringLiteral("text"), lines);
        report.insert(QStringLiteral("rows"), found);
        out << QJsonDocument(report).toJson(QJsonDocument::Indented);
    }
    return status;
}
