#include "httpserver.h"

#include "config/config.h"

#include <QHttpServerResponse>
#include <QJsonObject>
#include <QtDebug>

HttpServer::HttpServer(const QHostAddress &address, quint16 port, QObject *parent)
    : QObject(parent), config(std::make_unique<Config>(true)), address(address), port(port)
{
    if (!config->ok)
        qFatal("Konfigurasyon Hatasi!!!");

    http.afterRequest([](QHttpServerResponse &&response) {
        response.setHeader("Access-Control-Allow-Origin", "*");
        return std::move(response);
    });
}

HttpServer::~HttpServer() = default;

bool HttpServer::listen()
{
    boundPort = http.listen(address, port);
    return boundPort != 0;
}
