#include "app/ErrorReport.h"

#include "app/WebLinks.h"

#include <QNetworkReply>
#include <QRegularExpression>

ErrorReport::ErrorReport(QObject* parent) : ErrorReport(WebConfig::current(), parent) {}

ErrorReport::ErrorReport(const WebConfig& config, QObject* parent) : QObject(parent), m_config(config) {}

QByteArray ErrorReport::encode(const QString& text)
{
    QByteArray encoded = text.toUtf8().toBase64();
    encoded.replace('/', '!');
    encoded.replace('=', '-');
    return encoded;
}

QString ErrorReport::htmlToPlain(const QString& html)
{
    static const QRegularExpression lineBreak(QStringLiteral("< *br */?>"),
                                              QRegularExpression::CaseInsensitiveOption);
    QString text = html;
    text.replace(lineBreak, QStringLiteral("\r\n"));
    text.replace(QLatin1String("&lt;"), QLatin1String("<"));
    text.replace(QLatin1String("&gt;"), QLatin1String(">"));
    return text;
}

QByteArray ErrorReport::formBody(const QString& text)
{
    const QString version =
        QStringLiteral("%1(%2)").arg(QLatin1String(VELLIPORT_VERSION)).arg(WebLinks::BuildNumber);
    return "prod=" + encode(tr("Velliport")) + "&ver=" + encode(version) +
           "&err=" + encode(htmlToPlain(text.left(MaxTextLength)));
}

bool ErrorReport::send(const QString& text)
{
    if (!m_config.hasHost())
        return false;
    QNetworkRequest request(WebLinks::errorReport(m_config));
    request.setHeader(QNetworkRequest::ContentTypeHeader,
                      QStringLiteral("application/x-www-form-urlencoded"));
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setTransferTimeout(30000);
    QNetworkReply* reply = m_network.post(request, formBody(text));
    ++m_pending;
    // The answer is of no interest: stop at its first bytes rather than buffer it.
    connect(reply, &QNetworkReply::readyRead, reply, &QNetworkReply::abort);
    connect(reply, &QNetworkReply::finished, this, [this, reply] {
        reply->deleteLater();
        if (--m_pending == 0)
            emit finished();
    });
    return true;
}
