#include "integration.h"
#include "invoiceinfo.h"

#include "config/user.h"
#include "records/row.h"

InvoiceInfo::InvoiceInfo(User *user, const Row &row, QLocale locale) : locale(std::move(locale))
{
    // A locked row after reset has no candidates: the values stay empty and problem() says so.
    if (const Carat *selected = row.selected())
        carat = *selected;
    date = QString::fromLatin1(row.date);
    description = row.note;

    // Rows keep names as upper-case Latin-1 bytes.
    const QString payer = QString::fromLatin1(row.firstName());
    const qint64 ident = row.ident();
    if (!user) {
        customer.ident = ident;
        customer.name = payer;
        customer.country = QStringLiteral("Türkiye");
        return;
    }

    userName = user->name;
    password = user->pass;
    if (carat.ci >= 0 && carat.ci < user->carats.size())
        line = user->carats.at(carat.ci);
    if (line.pname.isEmpty())
        line.pname = QStringLiteral("Altın");
    if (line.lname.isEmpty())
        line.lname = QStringLiteral("İşçilik");
    company = user->company;

    const CustomerInfo stored = user->getCustomer(ident, QString());
    if (stored.ident != 0) {
        // The directory supplies the address; the invoice names whoever paid.
        customer = stored;
        customer.name = payer;
        if (customer.country.isEmpty())
            customer.country = QStringLiteral("Türkiye");
    } else {
        customer.ident = ident;
        customer.name = payer;
        customer.city = company.CityName;
        customer.district = company.District;
        customer.country = QStringLiteral("Türkiye");
        customer.address = company.Address;
    }
}

QList<Integration::DraftRef> Integration::drafts(const QList<int> &rowIndices) const
{
    QList<DraftRef> out;
    if (!rows)
        return out;
    for (const int i : rowIndices) {
        if (i < 0 || i >= rows->size())
            continue;
        const Row &row = rows->at(i);
        if (row.draftId.isEmpty())
            continue;
        out.append({QString::fromLatin1(row.draftId), row.ident()});
    }
    return out;
}
