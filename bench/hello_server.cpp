// The floor the server's figures are read against: Qt HttpServer answering a constant
// body on one route, nothing else.
//   hello_server <port>
#include <QCoreApplication>
#include <QHostAddress>
#include <QHttpServer>
#include <QHttpServerResponse>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const quint16 port = quint16(app.arguments().value(1, QStringLiteral("14900")).toUInt());
    QHttpServer server;
    server.route(QStringLiteral("/hello"), [] {
        return QHttpServerResponse("application/json", QByteArray(R"([{"hello":"world"}])"));
    });
    if (server.listen(QHostAddress::LocalHost, port) == 0)
        return 1;
    return app.exec();
}
