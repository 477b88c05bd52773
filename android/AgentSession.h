#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

class ProgressChannel;
class QIODevice;
class QTcpSocket;

namespace simpleprotocol {

// How the agent on a phone is reached: through ADB port forwarding by serial, or over
// the network at the host and the agent's control port. Over USB the native agent is
// started by "adb shell" with a fresh secret for each session; packageAgent instead
// asks the agent app of a configured package by broadcast, as older setups did. Over
// WiFi the pairing secret is presented to the control port and the session.
struct SessionEndpoint
{
    bool viaWifi = false;
    QString serial;
    QString host;
    int port = 0;
    bool packageAgent = false;
    QByteArray secret;
};

// Opens a session for the URL and returns the socket after the agent's "$ready:" line.
// Over USB, transport failures are retried until budgetMs has passed; over WiFi one
// attempt is made, and the agent's answer on the control port is awaited for budgetMs
// at most; a control port nobody listens on raises WifiAgentGone. With a progress
// channel every wait ends with OperationCancelled when the user cancels.
std::unique_ptr<QTcpSocket> openSession(const SessionEndpoint& endpoint, const QString& url, int budgetMs,
                                        const ProgressChannel* progress = nullptr);
std::unique_ptr<QTcpSocket> openUsbSession(const QString& serial, const QString& url, int budgetMs,
                                           const ProgressChannel* progress = nullptr,
                                           bool packageAgent = false);
std::unique_ptr<QTcpSocket> openWifiSession(const QString& host, int controlPort, const QString& url,
                                            int budgetMs, const ProgressChannel* progress = nullptr,
                                            const QByteArray& secret = QByteArray());

// The heartbeat of a phone listed over WiFi: "$ping:" in place of a session URL, then
// the secret, on the control port; every paired request restarts the agent's idle time.
QByteArray wifiPingRequest(const QByteArray& secret);
// Whether the agent still listens on the control port: "$pong:", or any other line (an
// agent older than the heartbeat refuses it as an unknown URL, and stays up all the same).
bool wifiAgentAnswers(const SessionEndpoint& endpoint, int timeoutMs);

// After the agent's "$ready:" line: an agent that asks for the secret ("$ready:auth")
// is given it ("$auth:" + secret) and must confirm ("$auth:"); an agent that does not
// ask (older ones) is served as before. Raises when the agent asks and no secret is
// known, or refuses the one given.
void presentSecret(QIODevice& socket, const QString& readyLine, const QByteArray& secret, int timeoutMs,
                   const ProgressChannel* progress = nullptr);

// The one exchange of a device-info session: the agent's description line without its
// "$hello:" prefix, awaited up to timeoutMs (-1: no limit); the session is ended with
// "$bye:" and disconnected.
QString readDeviceDescription(QIODevice& socket, int timeoutMs = -1,
                              const ProgressChannel* progress = nullptr);

// A device-info session of its own on a fresh port: opens it, reads the description
// (waiting replyWaitMs at most) and ends it.
QString fetchDeviceDescription(const SessionEndpoint& endpoint, int budgetMs, int replyWaitMs,
                               const ProgressChannel* progress = nullptr);

// The port a session URL names; 0 when it names none.
int sessionPort(const QString& url);

} // namespace simpleprotocol
