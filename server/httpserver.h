#pragma once

#include <QHostAddress>
#include <QHttpServer>
#include <QObject>

#include <memory>

class Config;

// The server mode: REST API on the listen port, WebSocket hub on the port plus 100.
class HttpServer : public QObject
{
    Q_OBJECT

public:
    HttpServer(const QHostAddress &address, quint16 port, QObject *parent = nullptr);
    ~HttpServer() override;

    bool listen();
    quint16 serverPort() const { return boundPort; }

    std::unique_ptr<Config> config;

private:
    QHostAddress address;
    quint16 port = 0;
    quint16 boundPort = 0;
    QHttpServer http;
};
