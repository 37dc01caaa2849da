#pragma once

// A private data directory and Config whose integrator addresses point at a local fake.

#include "common/testdata.h"

#include "config/config.h"
#include "records/row.h"

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

// A desktop row whose invoice waits at the integrator as a draft; an empty id is a row
// that was never sent.
inline Row draftRow(User *user, const QString &draftId, qint64 ident, const QByteArray &name = "ALI VELI")
{
    Row row(user);
    row.date = "2024-03-15";
    row.names = {name};
    row.scores = {0};
    row.setIdent(ident);
    row.draftId = draftId.toLatin1();
    row.invoiceNo = draftId.isEmpty() ? QByteArray() : QByteArray("TSL2024000000001");
    return row;
}

// What the row operations read and must leave as they found it.
inline QStringList rowStates(const QList<Row> &rows)
{
    QStringList out;
    for (const Row &r : rows)
        out.append(QStringLiteral("%1 %2 %3 %4 %5")
                       .arg(QString::fromLatin1(r.draftId), QString::fromLatin1(r.invoiceNo))
                       .arg(r.invoiced)
                       .arg(r.taxNo)
                       .arg(r.nationalNo));
    return out;
}
