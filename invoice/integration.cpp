#include "integration.h"

#include "edmintegration.h"
#include "replydata.h"
#include "uyumsoftintegration.h"

#include "config/config.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

namespace {

// A call without a parent window shows nothing: the busy hook is set aside for its wait.
// Only the main thread uses the hook and the clients, so the swap is not seen elsewhere.
class QuietWait
{
public:
    QuietWait(Config *config, bool quiet) : config(quiet ? config : nullptr)
    {
        if (this->config)
            std::swap(saved, this->config->busyIndicator);
    }
    ~QuietWait()
    {
        if (config)
            std::swap(saved, config->busyIndicator);
    }
    QuietWait(const QuietWait &) = delete;
    QuietWait &operator=(const QuietWait &) = delete;

private:
    Config *config;
    BusyIndicatorFactory saved;
};

const char *const actionWords[] = {"send", "send_draft", "cancel", "query", "pdf"};

} // namespace

Integration::Integration(User *user) : user(user) {}

Integration::~Integration() = default;

std::unique_ptr<Integration> Integration::create(IntegratorType type, User *user)
{
    if (type == IntegratorType::EDM) {
        auto edm = std::make_unique<EDMIntegration>(user);
        if (user)
            edm->login(*user);
        return edm;
    }
    return std::make_unique<UyumsoftIntegration>(user);
}

QString Integration::actionWord(InvoiceAction action)
{
    const int i = int(action);
    return i >= 0 && i < 5 ? QString::fromLatin1(actionWords[i]) : QString();
}

bool Integration::actionFromWord(const QString &word, InvoiceAction *action)
{
    for (int i = 0; i < 5; ++i) {
        if (word == QLatin1String(actionWords[i])) {
            if (action)
                *action = InvoiceAction(i);
            return true;
        }
    }
    return false;
}

QString Integration::ntot(const QString &amount)
{
    static const char16_t *const units[] = {u"", u"Bir ", u"İki ", u"Üç ", u"Dört ",
                                            u"Beş ", u"Altı ", u"Yedi ", u"Sekiz ", u"Dokuz "};
    static const char16_t *const tens[] = {u"", u"On ", u"Yirmi ", u"Otuz ", u"Kırk ",
                                           u"Elli ", u"Altmış ", u"Yetmiş ", u"Seksen ", u"Doksan "};
    static const char16_t *const groups[] = {u"Katrilyon ", u"Trilyon ", u"Milyar ", u"Milyon ", u"Bin ", u""};
    const auto digit = [](QChar c) { return c.isDigit() ? c.digitValue() : 0; };

    QString s = amount;
    if (!s.contains(QLatin1Char('.')))
        s += QLatin1String(".00");
    const qsizetype dot = s.indexOf(QLatin1Char('.'));
    QString whole = s.left(dot);
    const QString fraction = s.mid(dot + 1, 2);
    whole = whole.size() > 18 ? whole.right(18) : whole.rightJustified(18, QLatin1Char('0'));

    QString text;
    for (int g = 0; g < 6; ++g) {
        const int h = digit(whole.at(g * 3)), t = digit(whole.at(g * 3 + 1)), u = digit(whole.at(g * 3 + 2));
        QString words;
        if (h == 1)
            words = QStringLiteral("Yüz ");
        else if (h > 1)
            words = QString::fromUtf16(units[h]) + QStringLiteral("Yüz ");
        words += QString::fromUtf16(tens[t]) + QString::fromUtf16(units[u]);
        if (words.isEmpty())
            continue;
        // One thousand is "Bin", not "Bir Bin".
        if (g == 4 && words.trimmed() == QLatin1String("Bir"))
            words.clear();
        text += words + QString::fromUtf16(groups[g]);
    }
    if (fraction != QLatin1String("00")) {
        text += QStringLiteral("Nokta ");
        if (!fraction.isEmpty())
            text += QString::fromUtf16(tens[digit(fraction.at(0))]);
        if (fraction.size() > 1)
            text += QString::fromUtf16(units[digit(fraction.at(1))]);
    }
    text = text.trimmed();
    if (text.isEmpty())
        text = QStringLiteral("Sıfır");
    return QStringLiteral("Yalnız #") + text + QStringLiteral(" Türk Lirası#");
}

QString Integration::getContentType() const
{
    return QStringLiteral("text/xml; charset=utf-8");
}

QNetworkAccessManager *Integration::manager() const
{
    if (!nam)
        nam = std::make_unique<QNetworkAccessManager>();
    return nam.get();
}

QNetworkReply *Integration::postRequest(const char *requestName, const QString &body, QWidget *parent) const
{
    Config *config = user ? user->config : nullptr;
    const QUrl url(getUrl());
    if (!config || !url.isValid() || url.host().isEmpty()) {
        qDebug() << "Failed to post" << requestName << ": no service address";
        return nullptr;
    }
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, getContentType());
    request.setRawHeader("SOAPAction", getSoapActionFromCmd(QString::fromLatin1(requestName)).toUtf8());
    QNetworkReply *reply = manager()->post(request, body.toUtf8());
    QuietWait quiet(config, parent == nullptr);
    return config->progress(reply, QStringLiteral("İşlem gerçekleştiriliyor ..."), busyDelayMs(), timeoutMs);
}

ActionResult Integration::executeAction(InvoiceAction action, const QString &request, InvoiceDest dest)
{
    ActionResult result;
    if (request.isEmpty()) {
        result.message = QStringLiteral("XML data is empty");
        return result;
    }
    if (action != InvoiceAction::Send) {
        result.message = QStringLiteral("Invalid action for XML data (use executeAction with ettnList)");
        return result;
    }
    const SendResult r = sendInvoice(dest, request, nullptr);
    result.success = r.success;
    result.ettnList = r.ettnList;
    result.invoiceNumbers = r.invoiceNumbers;
    result.responseXml = r.responseXml;
    result.message = r.success ? QStringLiteral("Invoice sent successfully") : QStringLiteral("Failed to send invoice");
    return result;
}

bool Integration::buildable(const QList<InvoiceInfo> &infos)
{
    for (const InvoiceInfo &info : infos) {
        const QString problem = info.problem();
        if (!problem.isEmpty()) {
            qDebug() << "Failed to build the invoice request:" << problem;
            return false;
        }
    }
    return true;
}

QByteArray Integration::postAction(InvoiceAction action, const QList<QString> &ettnList, const QString &requestName,
                                   ActionResult &result)
{
    if (ettnList.isEmpty()) {
        result.message = QStringLiteral("ETTN list is empty");
        return QByteArray();
    }
    const QString request = xml(action, ettnList);
    if (request.isEmpty()) {
        result.message = QStringLiteral("Failed to generate XML");
        return QByteArray();
    }
    result.ettnList = ettnList;
    const QByteArray name = requestName.toLatin1();
    const ReplyData reply = ReplyData::from(postRequest(name.constData(), request, nullptr));
    if (reply.failed) {
        result.message = QStringLiteral("HTTP error: %1").arg(reply.errorText);
        return QByteArray();
    }
    if (reply.body.isEmpty()) {
        result.message = QStringLiteral("Empty response from server");
        return QByteArray();
    }
    result.responseXml = QString::fromUtf8(reply.body);
    return reply.body;
}

QString Integration::serviceUrl(const QString &service, bool test, const QString &path) const
{
    if (!user || !user->config)
        return QString();
    const Config &config = *user->config;
    QString scheme = config[service + QStringLiteral(".schm")];
    if (scheme.isEmpty())
        scheme = QStringLiteral("https");
    const QString host = config[service + (test ? QStringLiteral(".testhost") : QStringLiteral(".host"))];
    if (host.isEmpty())
        return QString();
    return scheme + QStringLiteral("://") + host + path;
}

InvoiceConfig Integration::destination(InvoiceDest dest, const QString &draftRequest, const QString &finalRequest)
{
    if (dest == InvoiceDest::Final)
        return {1, finalRequest, QStringLiteral("Gelir İdaresi'ne"),
                QStringLiteral("<span style='color:#E67E22;'>Gelir İdaresi</span>'ne")};
    return {0, draftRequest, QStringLiteral("taslağa"), QStringLiteral("taslağa")};
}
