#include "app/UpdateChecker.h"

#include "app/AppDirs.h"
#include "app/WebLinks.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QSaveFile>

#include <memory>

namespace {

bool writeWhole(const QString& path, const QByteArray& bytes)
{
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
}

} // namespace

UpdateChecker::UpdateChecker(QObject* parent)
    : UpdateChecker(WebConfig::current(), AppDirs::dataFolder(), parent)
{}

UpdateChecker::UpdateChecker(const WebConfig& config, const QString& dataFolder, QObject* parent)
    : QObject(parent), m_config(config), m_dataFolder(dataFolder),
      m_clock([] { return QDateTime::currentSecsSinceEpoch(); })
{}

QString UpdateChecker::filePath(const char* name) const
{
    return QDir(m_dataFolder).filePath(QLatin1String(name));
}

qint64 UpdateChecker::lastCheck() const
{
    QFile file(filePath(StampFile));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    QByteArray text = file.read(32);
    const qsizetype nul = text.indexOf('\0');
    if (nul >= 0)
        text.truncate(nul);
    bool ok = false;
    const qint64 stamp = text.toLongLong(&ok);
    return ok ? stamp : 0;
}

bool UpdateChecker::startupChecks()
{
    if (!m_config.hasHost())
        return false;
    const qint64 now = m_clock();
    const qint64 stamp = lastCheck();
    // A stamp from the future (a clock that was set wrong once) would otherwise stop
    // the check until that day comes.
    if (stamp != 0 && stamp <= now && now - stamp < CheckInterval + 1)
        return false;
    get(WebLinks::versionCheck(m_config),
        [this](int status, const QByteArray& body, bool whole) { onVersionAnswer(status, body, whole); });
    get(WebLinks::linkQuery(m_config),
        [this](int status, const QByteArray& body, bool whole) { onLinkAnswer(status, body, whole); });
    return true;
}

void UpdateChecker::get(const QUrl& url, AnswerHandler handler)
{
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setTransferTimeout(TransferTimeoutMs);
    QNetworkReply* reply = m_network.get(request);
    reply->setReadBufferSize(MaxAnswerBytes + 1);
    ++m_pending;
    auto body = std::make_shared<QByteArray>();
    auto oversized = std::make_shared<bool>(false);
    const auto take = [reply, body, oversized] {
        if (*oversized)
            return;
        body->append(reply->read(MaxAnswerBytes + 1 - body->size()));
        if (body->size() > MaxAnswerBytes) {
            *oversized = true;
            body->clear();
            reply->abort();
        }
    };
    connect(reply, &QNetworkReply::readyRead, this, take);
    connect(reply, &QNetworkReply::finished, this, [this, reply, body, oversized, take, handler] {
        take();
        // Only an answer of the server counts; a refused or dropped connection has no status.
        const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        reply->deleteLater();
        if (status.isValid())
            handler(status.toInt(), *body, !*oversized);
        if (--m_pending == 0)
            emit finished();
    });
}

void UpdateChecker::onVersionAnswer(int status, const QByteArray& body, bool whole)
{
    // Any answer stamps the check, so that a failing server is asked once a day only.
    writeWhole(filePath(StampFile), QByteArray::number(m_clock()));
    if (status != 200 || !whole)
        return;
    const QUrl download = downloadLink(body);
    if (!download.isEmpty())
        emit updateAvailable(download);
}

void UpdateChecker::onLinkAnswer(int status, const QByteArray& body, bool whole)
{
    if (status != 200 || !whole)
        return;
    writeWhole(filePath(LinkFile), styledLink(QString::fromUtf8(body)).toUtf8());
}

QString UpdateChecker::newVersionQuestion()
{
    return tr("IDS_NEW_VERSION_AVAILABLE_%1").arg(tr("Velliport"));
}

QUrl UpdateChecker::downloadLink(const QByteArray& answer)
{
    QByteArray line = answer;
    const qsizetype nul = line.indexOf('\0');
    if (nul >= 0)
        line.truncate(nul);
    const QString text = QString::fromLatin1(line).trimmed();
    if (!text.startsWith(QLatin1String("http://"), Qt::CaseInsensitive) &&
        !text.startsWith(QLatin1String("https://"), Qt::CaseInsensitive))
        return {};
    const QUrl url(text, QUrl::StrictMode);
    return WebConfig::isWebAddress(url) ? url : QUrl();
}

QString UpdateChecker::styledLink(const QString& answer)
{
    static const QRegularExpression leadingAnchor(QStringLiteral("^<a"),
                                                  QRegularExpression::CaseInsensitiveOption);
    QString text = answer;
    return text.replace(
        leadingAnchor,
        QStringLiteral("<a style=\"color:%1;text-decoration:none;\"").arg(QLatin1String("#2772BC")));
}
