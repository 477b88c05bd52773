#pragma once

#include <QString>

#include <memory>

class QTcpSocket;

namespace simpleprotocol {

// How the agent on a phone is reached: through ADB port forwarding by serial, or over
// the network at the host and the agent's control port.
struct SessionEndpoint
{
    bool viaWifi = false;
    QString serial;
    QString host;
    int port = 0;
};

// Opens a session for the URL and returns the socket after the agent's "$ready:" line.
// Over USB, transport failures are retried until budgetMs has passed; over WiFi one
// attempt is made.
std::unique_ptr<QTcpSocket> openSession(const SessionEndpoint& endpoint, const QString& url, int budgetMs);
std::unique_ptr<QTcpSocket> openUsbSession(const QString& serial, const QString& url, int budgetMs);
std::unique_ptr<QTcpSocket> openWifiSession(const QString& host, int controlPort, const QString& url,
                                            int budgetMs);

// The one exchange of a device-info session: the agent's description line without its
// "$hello:" prefix; the session is ended with "$bye:" and disconnected.
QString readDeviceDescription(QTcpSocket& socket);

// The port a session URL names; 0 when it names none.
int sessionPort(const QString& url);

} // namespace simpleprotocol
