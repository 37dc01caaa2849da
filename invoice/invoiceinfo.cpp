#include "invoiceinfo.h"

#include <QDate>

namespace {

bool isDecimalDate(const QString &text)
{
    static const QString format = QStringLiteral("yyyy-MM-dd");
    const QDate d = QDate::fromString(text, format);
    return d.isValid() && d.toString(format) == text;
}

} // namespace

QString InvoiceInfo::money(qint64 kurus) const
{
    const bool negative = kurus < 0;
    const quint64 magnitude = negative ? 0 - quint64(kurus) : quint64(kurus);
    QString text = locale.toString(qulonglong(magnitude / 100)) + locale.decimalPoint()
        + QString::number(magnitude % 100).rightJustified(2, QLatin1Char('0'));
    return negative ? locale.negativeSign() + text : text;
}

QString InvoiceInfo::unitCode() const
{
    return carat.ct != 0 ? QStringLiteral("GRM") : QStringLiteral("NIU");
}

QString InvoiceInfo::amount() const
{
    return carat.ct != 0 ? money(carat.at) : QString::number(carat.at / 100);
}

QString InvoiceInfo::rate() const { return money(carat.rt); }
QString InvoiceInfo::price() const { return money(carat.pc); }
QString InvoiceInfo::netPrice() const { return money(carat.np); }
QString InvoiceInfo::pureRate() const { return money(carat.pr); }
QString InvoiceInfo::laborTax() const { return money(carat.lt); }
QString InvoiceInfo::laborUnit() const { return money(carat.lu); }
QString InvoiceInfo::laborPrice() const { return money(carat.lp); }
QString InvoiceInfo::productPrice() const { return money(carat.pp); }

QString InvoiceInfo::problem() const
{
    if (!isDecimalDate(date))
        return QStringLiteral("Invalid invoice date: %1").arg(date);
    // 10 digits: tax number (VKN); 11: personal number (TCKN) or its placeholder.
    if (customer.ident < 1000000000LL || customer.ident > 99999999999LL)
        return QStringLiteral("Invalid identity number: %1").arg(customer.ident);
    if (customer.name.trimmed().isEmpty())
        return QStringLiteral("Buyer name is empty");
    const Carat &c = carat;
    if (c.pc <= 0)
        return QStringLiteral("Invoice amount is zero");
    if (c.at <= 0)
        return QStringLiteral("Invoice quantity is zero");
    if (c.pp < 0 || c.lp < 0 || c.lt < 0 || c.rt < 0 || c.lu < 0 || c.pp + c.lp + c.lt != c.pc
        || c.np != c.pc - c.lt)
        return QStringLiteral("Invoice amounts do not add up");
    return QString();
}

namespace Invoice {

QString html(const InvoiceInfo &info)
{
    const Carat &c = info.carat;
    const CustomerInfo &cu = info.customer;
    const bool vkn = cu.ident < 10000000000LL;
    const QString unit = c.ct != 0 ? QStringLiteral("Gr") : QStringLiteral("Adet");
    const QString quantity = info.amount() + QLatin1Char(' ') + unit;
    const QString tl = QStringLiteral(" TL");

    QString name = cu.name.trimmed().toHtmlEscaped();
    name.replace(QLatin1Char(' '), QLatin1String("&nbsp;"));
    const QStringList parts = info.date.split(QLatin1Char('-'));
    const QString date = parts.size() == 3 ? QStringLiteral("%1-%2-%3").arg(parts[2], parts[1], parts[0])
                                           : info.date;

    QString h;
    h += QStringLiteral(
        "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\" "
        "\"http://www.w3.org/TR/html4/loose.dtd\">\n"
        "<html>\n<head>\n<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">\n"
        "<title>Fatura</title>\n<style type=\"text/css\">\n"
        "body { margin: 40px; font-family: Tahoma, 'Times New Roman'; font-size: 11px; "
        "color: #666666; background-color: #FFFFFF; }\n"
        "table { border-collapse: collapse; }\n"
        "td, th { padding: 2px 4px 2px 4px; }\n"
        "table.bordered td, table.bordered th { border: 1px solid #666666; }\n"
        "</style>\n</head>\n<body>\n");

    // Heading: buyer on the left, scenario, type and date on the right.
    h += QStringLiteral("<table width=\"800\">\n<tr>\n<td valign=\"top\" align=\"left\">"
                        "<b>SAYIN</b><br>%1<br>%2%3</td>\n")
             .arg(name, vkn ? QStringLiteral("VKN: ") : QStringLiteral("TCKN: "), QString::number(cu.ident));
    h += QStringLiteral("<td valign=\"top\" align=\"right\">\n<table class=\"bordered\" width=\"320\">\n"
                        "<tr><td><b>Senaryo:</b></td><td>%1</td></tr>\n"
                        "<tr><td><b>Fatura Tipi:</b></td><td>OZELMATRAH</td></tr>\n"
                        "<tr><td><b>Fatura Tarihi:</b></td><td>%2</td></tr>\n"
                        "</table>\n</td>\n</tr>\n</table>\n<br>\n")
             .arg(vkn ? QStringLiteral("TEMELFATURA") : QStringLiteral("EARSIVFATURA"), date.toHtmlEscaped());

    // Lines.
    h += QStringLiteral("<table class=\"bordered\" width=\"800\">\n<tr>"
                        "<th>Sıra No</th><th>Mal Hizmet</th><th>Miktar</th><th>Birim Fiyat</th>"
                        "<th>KDV Oranı</th><th>KDV Tutarı</th><th>Mal Hizmet Tutarı</th></tr>\n");
    const auto row = [&](int no, const QString &item, const QString &unitPrice, const QString &ratio,
                         const QString &tax, const QString &total) {
        return QStringLiteral("<tr><td align=\"center\">%1</td><td>%2</td><td align=\"right\">%3</td>"
                              "<td align=\"right\">%4</td><td align=\"right\">%5</td>"
                              "<td align=\"right\">%6</td><td align=\"right\">%7</td></tr>\n")
            .arg(QString::number(no), item.toHtmlEscaped(), quantity, unitPrice + tl, ratio, tax + tl, total + tl);
    };
    int no = 0;
    if (c.pp > 0)
        h += row(++no, info.line.pname, info.rate(), QStringLiteral("%0,00"), QStringLiteral("0,00"),
                 info.productPrice());
    h += row(++no, info.line.lname, info.laborUnit(), QStringLiteral("%20,00"), info.laborTax(), info.laborPrice());
    h += QStringLiteral("</table>\n<br>\n");

    // Totals.
    // Right-aligned under the lines, not against the page edge.
    h += QStringLiteral("<table width=\"800\">\n<tr>\n<td align=\"right\">\n"
                        "<table class=\"bordered\" width=\"320\" align=\"right\">\n");
    const auto total = [&](const QString &label, const QString &value) {
        return QStringLiteral("<tr><td><b>%1</b></td><td align=\"right\">%2</td></tr>\n").arg(label, value + tl);
    };
    h += total(QStringLiteral("Mal Hizmet Toplam Tutarı"), info.netPrice());
    h += total(QStringLiteral("Hesaplanan KDV(%0)"), QStringLiteral("0,00"));
    h += total(QStringLiteral("Hesaplanan KDV(%20)"), info.laborTax());
    h += total(QStringLiteral("Vergiler Dahil Toplam Tutar"), info.price());
    h += total(QStringLiteral("Ödenecek Tutar"), info.price());
    h += QStringLiteral("</table>\n</td>\n</tr>\n</table>\n</body>\n</html>\n");
    return h;
}

} // namespace Invoice
