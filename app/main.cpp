#include "desktop/mainwindow.h"
#include "server/httpserver.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTranslator>
#include <QtDebug>

int desktop(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QTranslator translator;
    (void)translator.load(QStringLiteral(":/translations/qtbase_tr.qm"));
    app.installTranslator(&translator);
    MainWindow window;
    window.show();
    return app.exec();
}

int server(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);

    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption serverOption(QStringLiteral("server"), QStringLiteral("Run in server mode"));
    const QCommandLineOption hostOption(QStringLiteral("host"), QStringLiteral("Listen address"),
                                        QStringLiteral("host"), QStringLiteral("0.0.0.0"));
    const QCommandLineOption portOption(QStringLiteral("port"), QStringLiteral("Listen port"),
                                        QStringLiteral("port"), QStringLiteral("14441"));
    parser.addOption(serverOption);
    parser.addOption(hostOption);
    parser.addOption(portOption);
    parser.process(app);

    if (!parser.isSet(serverOption))
        return 0;

    // A port that is not a number, or not a TCP port at all, gives 0 rather than
    // silently wrapping around to some other port.
    bool ok = false;
    const int port = parser.value(portOption).toInt(&ok, 10);
    const quint16 listenPort = ok && port >= 0 && port <= 65535 ? quint16(port) : 0;

    qDebug() << "Starting Corvina Server...";
    HttpServer httpServer(parser.value(hostOption), listenPort);
    if (!httpServer.listen()) {
        qCritical() << "Failed to start server";
        return 1;
    }
    return app.exec();
}

int main(int argc, char *argv[])
{
    // Diagnostics go to stderr even when it is a pipe or a service manager's log,
    // rather than to a system journal the operator may not read.
    if (!qEnvironmentVariableIsSet("QT_FORCE_STDERR_LOGGING"))
        qputenv("QT_FORCE_STDERR_LOGGING", "1");
    try {
        return argc > 2 ? server(argc, argv) : desktop(argc, argv);
    } catch (...) {
        qFatal("Fatal Error: Exiting !!!");
    }
}
