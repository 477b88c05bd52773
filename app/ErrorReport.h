#pragma once

#include "app/WebConfig.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QObject>

// Sends the text of an error box to the maker's web host. An error text carries names,
// numbers and paths, so it goes only to a configured host, and the box says so first
// (destination()). The answer is not waited for and not read.
class ErrorReport : public QObject
{
    Q_OBJECT
public:
    // Longer texts are cut: a report is a message, not a dump.
    static constexpr int MaxTextLength = 16 * 1024;

    // The configuration of this process.
    explicit ErrorReport(QObject* parent = nullptr);
    explicit ErrorReport(const WebConfig& config, QObject* parent = nullptr);

    // The host reports go to; empty when none is configured.
    QString destination() const { return m_config.host; }
    // Posts the report; false (and nothing sent) without a configured host.
    bool send(const QString& text);
    // Reports sent and not ended yet.
    int pending() const { return m_pending; }

    // Base64 of the UTF-8 bytes with "/" as "!" and "=" as "-".
    static QByteArray encode(const QString& text);
    // The HTML of an error box as plain text: line breaks for <br>, "<" and ">" for their entities.
    static QString htmlToPlain(const QString& html);
    // "prod=…&ver=…&err=…", every value encoded.
    static QByteArray formBody(const QString& text);

signals:
    void finished();

private:
    WebConfig m_config;
    QNetworkAccessManager m_network;
    int m_pending = 0;
};
