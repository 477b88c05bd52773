#pragma once

#include "android/AgentSession.h"

#include <QHash>
#include <QObject>
#include <QTimer>

#include <chrono>

// The heartbeat of the phones listed over WiFi. Their agents end after an idle time
// without a request, so a phone left in the tree could no longer be reloaded or written;
// while a phone is followed, its control port is sent "$ping:" every interval. Runs on
// the thread it lives on, without blocking it. Once the desktop is gone the heartbeat
// stops with it, and the agent ends by itself.
class WifiKeepAlive : public QObject
{
    Q_OBJECT
public:
    // Well inside the agent's idle time of two minutes, with room for a slow answer.
    static constexpr std::chrono::milliseconds DefaultInterval{35000};
    static constexpr std::chrono::milliseconds ReplyWait{10000};

    explicit WifiKeepAlive(QObject* parent = nullptr, std::chrono::milliseconds interval = DefaultInterval);

    // The phones to keep alive, by their device id; those not over WiFi are ignored.
    // Replaces the earlier set: a phone no longer in it gets no further heartbeat.
    void follow(const QHash<QString, simpleprotocol::SessionEndpoint>& phones);
    bool isFollowing(const QString& deviceId) const { return m_phones.contains(deviceId); }

signals:
    // A heartbeat's outcome: answered false when nothing listens on the control port
    // any more (or nothing answered within ReplyWait).
    void heartbeat(const QString& deviceId, bool answered);

private:
    void beat();
    void ping(const QString& deviceId, const simpleprotocol::SessionEndpoint& endpoint);

    QHash<QString, simpleprotocol::SessionEndpoint> m_phones;
    QTimer m_timer;
};
