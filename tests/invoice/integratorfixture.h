#pragma once

// A private data directory and Config whose integrator addresses point at a local fake.

#include "common/testdata.h"

#include "config/config.h"

#include <memory>

struct IntegratorFixture
{
    IntegratorFixture() : config(std::make_unique<Config>(false)) {}

    void pointAt(const QString &service, const QString &hostAndPort)
    {
        config->params.insert(service + QStringLiteral(".schm"), QStringLiteral("http"));
        config->params.insert(service + QStringLiteral(".host"), hostAndPort);
        config->params.insert(service + QStringLiteral(".testhost"), hostAndPort);
    }

    TestDataDir data;
    std::unique_ptr<Config> config;
};
