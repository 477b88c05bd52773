#pragma once

#include "app/WebConfig.h"

#include <QNetworkAccessManager>
#include <QObject>
#include <QUrl>

#include <functional>

class QNetworkReply;

// The once-a-day version check and link query at start-up. Best effort: nothing waits
// for them and no failure is shown; with no web host configured nothing is sent.
class UpdateChecker : public QObject
{
    Q_OBJECT
public:
    // A check answered this many seconds ago or less is not repeated.
    static constexpr qint64 CheckInterval = 86400;
    // Both answers are a line of text; a longer one is cut off and ignored.
    static constexpr qint64 MaxAnswerBytes = 4 * 1024;
    static constexpr int TransferTimeoutMs = 30000;
    static constexpr auto StampFile = "last-check-version-time";
    static constexpr auto LinkFile = "last-adv";

    // Seconds since 1970 (UTC).
    using Clock = std::function<qint64()>;

    // The configuration of this process and its data folder.
    explicit UpdateChecker(QObject* parent = nullptr);
    UpdateChecker(const WebConfig& config, const QString& dataFolder, QObject* parent = nullptr);

    void setClock(Clock clock) { m_clock = std::move(clock); }

    // Sends both requests unless no host is configured or the last version answer came
    // within a day; true when they were sent.
    bool startupChecks();
    // Requests sent and not ended yet.
    int pending() const { return m_pending; }

    // The question the window asks before opening a download.
    static QString newVersionQuestion();
    // The version answer as a download address: an http(s) address up to the first NUL,
    // else empty.
    static QUrl downloadLink(const QByteArray& answer);
    // The link query's answer as stored: a leading "<a" gets the link colour.
    static QString styledLink(const QString& answer);

signals:
    // The version check answered with a download; the window asks the user.
    void updateAvailable(const QUrl& download);
    // Both requests have ended, answered or not.
    void finished();

private:
    using AnswerHandler = std::function<void(int status, const QByteArray& body, bool whole)>;
    void get(const QUrl& url, AnswerHandler handler);
    void onVersionAnswer(int status, const QByteArray& body, bool whole);
    void onLinkAnswer(int status, const QByteArray& body, bool whole);
    qint64 lastCheck() const;
    QString filePath(const char* name) const;

    WebConfig m_config;
    QString m_dataFolder;
    Clock m_clock;
    QNetworkAccessManager m_network;
    int m_pending = 0;
};
