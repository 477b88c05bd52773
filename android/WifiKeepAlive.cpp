#include "android/WifiKeepAlive.h"

#include <QTcpSocket>

#include <memory>

WifiKeepAlive::WifiKeepAlive(QObject* parent, std::chrono::milliseconds interval) : QObject(parent)
{
    m_timer.setInterval(interval);
    connect(&m_timer, &QTimer::timeout, this, &WifiKeepAlive::beat);
}

void WifiKeepAlive::follow(const QHash<QString, simpleprotocol::SessionEndpoint>& phones)
{
    m_phones.clear();
    for (auto it = phones.cbegin(); it != phones.cend(); ++it) {
        if (it->viaWifi)
            m_phones.insert(it.key(), it.value());
    }
    if (m_phones.isEmpty())
        m_timer.stop();
    else if (!m_timer.isActive())
        m_timer.start();
}

void WifiKeepAlive::beat()
{
    for (auto it = m_phones.cbegin(); it != m_phones.cend(); ++it)
        ping(it.key(), it.value());
}

void WifiKeepAlive::ping(const QString& deviceId, const simpleprotocol::SessionEndpoint& endpoint)
{
    auto* socket = new QTcpSocket(this); // deletes itself once the heartbeat has an outcome
    auto reported = std::make_shared<bool>(false);
    const auto finish = [this, socket, reported, deviceId](bool answered) {
        if (*reported)
            return;
        *reported = true;
        socket->abort();
        socket->deleteLater();
        // a phone removed meanwhile is nobody's concern any more
        if (m_phones.contains(deviceId))
            emit heartbeat(deviceId, answered);
    };
    const QByteArray request = simpleprotocol::wifiPingRequest(endpoint.secret);
    connect(socket, &QTcpSocket::connected, socket, [socket, request] { socket->write(request); });
    connect(socket, &QTcpSocket::readyRead, socket, [socket, finish] {
        if (socket->canReadLine())
            finish(true);
    });
    connect(socket, &QTcpSocket::errorOccurred, socket, [finish] { finish(false); });
    QTimer::singleShot(ReplyWait, socket, [finish] { finish(false); });
    socket->connectToHost(endpoint.host, quint16(endpoint.port));
}
